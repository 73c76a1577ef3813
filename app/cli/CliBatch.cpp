#include "CliBatch.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "ConversionRun.h"
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

// Shows a run of the batch: a line per ended job and, on a terminal, the live block.
class TBatchRun final : public TRunObserver {
public:
    TBatchRun(TConversionRun& run, TCliDisplay& display, TCliMainLoop& loop,
              const volatile std::sig_atomic_t* stopRequest, int failedBefore)
        : run_(run), display_(display), loop_(loop), stopRequest_(stopRequest),
          failedBefore_(failedBefore) {}

    // Runs the queued jobs, `parallel` at a time, until all have ended.
    void Run(int parallel) {
        if (!run_.Start(parallel, this))
            return;
        bool stopping = false;
        auto lastDraw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        while (!run_.Ended()) {
            ProcessPendingMessages();
            if (run_.Ended())
                break;
            if (*stopRequest_ && !stopping) {
                stopping = true;
                display_.Error("Stopping...");
                run_.Stop(false);
            }
            const auto now = std::chrono::steady_clock::now();
            if (display_.Live() && now - lastDraw >= std::chrono::milliseconds(250)) {
                Draw();
                lastDraw = now;
            }
            loop_.Wait(std::chrono::milliseconds(100));
        }
        display_.ClearBlock();
        elapsedDays_ = RunClockNow() - run_.StartTime();
    }

    // A file counts as failed unless it was converted: cancelled ones too.
    int FailedCount() const { return failedBefore_ + run_.FailedCount() + run_.CancelledCount(); }
    double ElapsedDays() const { return elapsedDays_; }

private:
    void JobEnded(int job, const TTerminateInfo& info) override {
        const TQueuedJob& queued = run_.Jobs()[job];
        switch (run_.States()[job].Status) {
        case jsFailed:
            display_.Error("Failed: " + queued.SourcePath + ": " +
                           (info.ExceptionMsg.empty() ? "conversion failed" : info.ExceptionMsg));
            break;
        case jsFinish:
            display_.Line("Converted: " + queued.SourcePath + " -> " + queued.OutputPath);
            if (!info.Warning.empty())
                display_.Error("Warning: " + info.Warning);
            break;
        default:
            display_.Error("Cancelled: " + queued.SourcePath);
            break;
        }
    }

    void Draw() {
        std::vector<std::string> lines;
        const auto& states = run_.States();
        for (size_t i = 0; i < states.size(); ++i) {
            const TJobState& job = states[i];
            if (!job.Running)
                continue;
            lines.push_back(RunningFileLine(BaseName(run_.Jobs()[i].SourcePath),
                                            JobPercent(job.CurrentUs, job.ReportedTotalUs),
                                            job.CurrentUs, job.ReportedTotalUs));
        }
        const TRunState state = run_.State();
        TBatchView view;
        view.Ended = run_.EndedCount();
        view.Jobs = static_cast<int>(states.size());
        view.Failed = FailedCount();
        view.ElapsedDays = state.ElapsedDays;
        view.Percent = OverallPercent(state);
        view.Times = RunTimes(state);
        lines.push_back(BatchLine(view));
        display_.ShowBlock(lines);
    }

    TConversionRun& run_;
    TCliDisplay& display_;
    TCliMainLoop& loop_;
    const volatile std::sig_atomic_t* stopRequest_;
    int failedBefore_ = 0;
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

    TConversionRun run(
        encoder, settings, [&loop](std::function<void()> call) { loop.Post(std::move(call)); },
        [&](const std::string& line) {
            if (options.Log)
                display.LogLine(line);
        });
    TJobQueue& queue = run.Queue();
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

    TBatchRun batch(run, display, loop, stopRequest, failed);
    if (!queue.Jobs().empty()) {
        const int parallel =
            options.Jobs > 0 ? options.Jobs
                             : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        batch.Run(parallel);
    }

    const int total = static_cast<int>(sources.size() + problems.size());
    if (total == 0)
        display.Line("No files to convert.");
    display.Line("Total files: " + std::to_string(total) +
                 "  Succeeded: " + std::to_string(run.FinishedCount()) +
                 "  Failed: " + std::to_string(batch.FailedCount()) +
                 "  Time: " + FormatClock(batch.ElapsedDays() * 86400.0));
    return batch.FailedCount() > 0 ? ExitSomeFailed : ExitAllSucceeded;
}
