#include "CliBatch.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "FFDecode.h"
#include "FFEncode.h"
#include "FileFacts.h"
#include "JobBuilder.h"
#include "JobQueue.h"
#include "OutputFormats.h"
#include "RunProgress.h"
#include "SourceExtensions.h"
#include "SourceProbe.h"

namespace fs = std::filesystem;

volatile std::sig_atomic_t CliInterrupted = 0;

namespace {

void OnStopSignal(int signal) {
    if (CliInterrupted == 0)
        CliInterrupted = signal;
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int StopExitStatus(int signal) {
    return signal == SIGINT ? ExitInterrupted : ExitTerminated;
}

// ---- main loop

TCliMainLoop::TCliMainLoop() {
    InstallMainThreadDispatcher(this);
}

TCliMainLoop::~TCliMainLoop() {
    InstallMainThreadDispatcher(nullptr);
    Pump();
}

void TCliMainLoop::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    wake_.notify_all();
}

void TCliMainLoop::Pump() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty())
                return;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

void TCliMainLoop::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
}

// ---- sources

std::vector<std::string> CollectSources(const std::vector<std::string>& paths,
                                        std::vector<TSourceProblem>& problems) {
    std::vector<std::string> sources;
    std::set<std::string> seen; // the files taken, by their real paths
    auto take = [&](const std::string& file) {
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(file, ec);
        if (seen.insert(ec ? file : real.string()).second)
            sources.push_back(file);
    };
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) {
            std::string error;
            for (const std::string& file : FindSourceFiles(path, &error))
                take(file);
            if (!error.empty())
                problems.push_back({path, "cannot read the folder: " + error});
        } else if (fs::exists(status)) {
            take(path);
        } else {
            problems.push_back({path, status.type() == fs::file_type::not_found || !ec
                                          ? "No such file or directory"
                                          : ec.message()});
        }
    }
    return sources;
}

// ---- --list

int RunList(std::FILE* out) {
    const auto& formats = OutputFormats();
    for (const TOutputFormatInfo& format : formats) {
        std::string option = format.Name;
        for (char& c : option)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::fprintf(out, "%s (-f %s)\n", format.Name, option.c_str());
        for (size_t i = 0; i < format.Presets.size(); ++i)
            std::fprintf(out, "  %2zu  %s\n", i, format.Presets[i].Caption);
    }
    std::fprintf(out, "Default: -f mp3 -p 0\n");
    return ExitAllSucceeded;
}

// ---- --info

int RunInfo(TFFEncoder& encoder, const std::vector<std::string>& paths, TCliDisplay& display) {
    TFFDecoder& prober = encoder.Decoder();
    int status = ExitAllSucceeded;
    bool first = true;
    for (const std::string& path : paths) {
        if (!prober.LoadFile(path, "")) {
            display.Error(std::string(FileLoadErrorPrefix) + prober.LastErrMsg());
            status = ExitSomeFailed;
            continue;
        }
        const TSourceFacts facts = ReadSourceFacts(prober);
        TSourceRowTexts row = SourceRowTexts(facts);
        // The list's own column counts bytes as "M"; a reader wants the size itself.
        row.FileSize = "File size: " + ReadableFileSize(facts.FileSize);
        prober.CloseFile();
        std::printf("%s%s\n", first ? "" : "\n", path.c_str());
        for (const std::string* text :
             {&row.Duration, &row.Bitrate, &row.Dimension, &row.VideoEncoder, &row.AudioChannels,
              &row.AudioSampleRate, &row.FrameRate, &row.FileSize})
            std::printf("  %s\n", text->c_str());
        std::fflush(stdout);
        first = false;
    }
    return status;
}

// ---- conversion

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A job of the batch while it runs.
struct TJobRun {
    bool Started = false;
    bool Ended = false;
    bool Succeeded = false;
    int64_t CurrentUs = 0;
    int64_t TotalUs = -1;
};

class TBatchRun {
public:
    TBatchRun(TFFEncoder& encoder, const TJobQueue& queue, TCliDisplay& display, TCliMainLoop& loop,
              const volatile std::sig_atomic_t* stopRequest, int failedBefore)
        : encoder_(encoder), queue_(queue), display_(display), loop_(loop),
          stopRequest_(stopRequest), runs_(queue.Jobs().size()), failed_(failedBefore) {}

    // Runs the queued jobs, `parallel` at a time, until all have ended.
    void Run(int parallel) {
        encoder_.OnProgress.Assign([this](void*, PProgressInfo info) { Progress(*info); });
        // Terminations come from the encoder's delivery thread: they are handled on this one.
        encoder_.OnTerminate.Assign([this](void*, const TTerminateInfo& info) {
            loop_.Post([this, info] { Terminated(info); });
        });
        start_ = RunClockNow();
        encoder_.StartTask(parallel);
        bool stopping = false;
        auto lastDraw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        while (!allEnded_) {
            ProcessPendingMessages();
            if (allEnded_)
                break;
            if (*stopRequest_ && !stopping) {
                stopping = true;
                display_.Error("Stopping...");
                encoder_.Stop(false);
            }
            const auto now = std::chrono::steady_clock::now();
            if (display_.Live() && now - lastDraw >= std::chrono::milliseconds(250)) {
                Draw();
                lastDraw = now;
            }
            loop_.Wait(std::chrono::milliseconds(100));
        }
        display_.ClearBlock();
        encoder_.OnProgress.Clear();
        encoder_.OnTerminate.Clear();
        ProcessPendingMessages();
        encoder_.ClearTasks();
        elapsedDays_ = RunClockNow() - start_;
    }

    bool Succeeded(size_t job) const { return runs_[job].Succeeded; }
    int SucceededCount() const { return succeeded_; }
    int FailedCount() const { return failed_; }
    double ElapsedDays() const { return elapsedDays_; }

private:
    void Progress(const TProgressInfo& info) {
        if (info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(runs_.size()))
            return;
        TJobRun& run = runs_[info.TaskIndex];
        if (run.Ended)
            return;
        run.Started = true;
        run.CurrentUs = info.CurrentDuration;
        run.TotalUs = info.TotalDuration;
    }

    void Terminated(const TTerminateInfo& info) {
        if (info.TaskIndex < 0) {
            allEnded_ = true;
            return;
        }
        if (info.TaskIndex >= static_cast<int>(runs_.size()))
            return;
        TJobRun& run = runs_[info.TaskIndex];
        if (run.Ended)
            return;
        const TQueuedJob& job = queue_.Jobs()[info.TaskIndex];
        run.Ended = true;
        run.CurrentUs = 0;
        ++ended_;
        // An ended job leaves nothing to do, whatever its outcome.
        doneMs_ = AddFinishedDuration(doneMs_, job.DurationUs);
        if (info.Exception) {
            ++failed_;
            display_.Error("Failed: " + job.SourcePath + ": " +
                           (info.ExceptionMsg.empty() ? "conversion failed" : info.ExceptionMsg));
        } else if (info.Finished) {
            ++succeeded_;
            run.Succeeded = true;
            display_.Line("Converted: " + job.SourcePath + " -> " + job.OutputPath);
            if (!info.Warning.empty())
                display_.Error("Warning: " + info.Warning);
        } else {
            ++failed_;
            display_.Error("Cancelled: " + job.SourcePath);
        }
    }

    void Draw() {
        std::vector<std::string> lines;
        int64_t currentUs = 0;
        for (size_t i = 0; i < runs_.size(); ++i) {
            const TJobRun& run = runs_[i];
            if (!run.Started || run.Ended)
                continue;
            currentUs += std::max<int64_t>(run.CurrentUs, 0);
            lines.push_back(RunningFileLine(BaseName(queue_.Jobs()[i].SourcePath),
                                            JobPercent(run.CurrentUs, run.TotalUs), run.CurrentUs,
                                            run.TotalUs));
        }
        TRunState state;
        state.TotalDurationUs = queue_.TotalDurationUs();
        state.DoneDurationMs = doneMs_;
        state.CurrentDurationUs = currentUs;
        state.ElapsedDays = RunClockNow() - start_;
        TBatchView view;
        view.Ended = ended_;
        view.Jobs = static_cast<int>(runs_.size());
        view.Failed = failed_;
        view.ElapsedDays = state.ElapsedDays;
        view.Percent = OverallPercent(state);
        view.Times = RunTimes(state);
        lines.push_back(BatchLine(view));
        display_.ShowBlock(lines);
    }

    TFFEncoder& encoder_;
    const TJobQueue& queue_;
    TCliDisplay& display_;
    TCliMainLoop& loop_;
    const volatile std::sig_atomic_t* stopRequest_;
    std::vector<TJobRun> runs_;
    bool allEnded_ = false;
    int ended_ = 0;
    int succeeded_ = 0;
    int failed_ = 0;
    int64_t doneMs_ = 0;
    double start_ = 0;
    double elapsedDays_ = 0;
};

} // namespace

int RunConvert(TFFEncoder& encoder, const TCliOptions& options, TCliDisplay& display,
               TCliMainLoop& loop, const volatile std::sig_atomic_t* stopRequest) {
    std::vector<TSourceProblem> problems;
    const std::vector<std::string> sources = CollectSources(options.Paths, problems);
    for (const TSourceProblem& problem : problems)
        display.Error("Failed: " + problem.Path + ": " + problem.Message);

    TJobSettings settings;
    settings.OutputFormat = options.Format;
    settings.PresetIndex = options.Preset;
    // A conversion that did not succeed leaves no partial file behind.
    settings.KeepStoppedOutputs = false;
    std::error_code ec;
    settings.OutputFileDir =
        options.OutputDir.empty() ? fs::current_path(ec).string() : options.OutputDir;
    if (!CheckOutputFolder(settings.OutputFileDir)) {
        display.Error(std::string(OutputFolderFailedMessage) + " (" + settings.OutputFileDir + ")");
        return ExitSomeFailed;
    }

    TJobQueue queue(encoder, settings, [&](const std::string& line) {
        if (options.Log)
            display.LogLine(line);
    });
    int failed = static_cast<int>(problems.size());
    for (const std::string& source : sources) {
        if (*stopRequest) {
            display.Error("Cancelled: " + source);
            ++failed;
            continue;
        }
        if (!queue.QueueSource(source)) {
            display.Error("Failed: " + source + ": " + queue.LastError());
            ++failed;
        }
    }

    TBatchRun run(encoder, queue, display, loop, stopRequest, failed);
    if (!queue.Jobs().empty()) {
        const int parallel =
            options.Jobs > 0 ? options.Jobs
                             : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        run.Run(parallel);
    }

    const int total = static_cast<int>(sources.size() + problems.size());
    if (total == 0)
        display.Line("No files to convert.");
    display.Line("Total files: " + std::to_string(total) +
                 "  Succeeded: " + std::to_string(run.SucceededCount()) +
                 "  Failed: " + std::to_string(run.FailedCount()) +
                 "  Time: " + FormatClock(run.ElapsedDays() * 86400.0));
    return run.FailedCount() > 0 ? ExitSomeFailed : ExitAllSucceeded;
}
