#include "CliBatch.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "CliInfo.h"
#include "FFDecode.h"
#include "FFEncode.h"
#include "jobs/ConversionRun.h"
#include "jobs/DirectSettings.h"
#include "jobs/JobBuilder.h"
#include "jobs/JobQueue.h"
#include "jobs/OutputFormats.h"
#include "jobs/OutputNaming.h"
#include "jobs/RunProgress.h"
#include "jobs/TagWriter.h"
#include "sources/SourceProbe.h"

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

// ---- messages

std::string WithoutPath(const std::string& message, const std::string& path) {
    if (path.empty())
        return message;
    std::string text = message;
    const std::string named = path + ": ";
    for (size_t at = text.find(named); at != std::string::npos; at = text.find(named, at)) {
        if (at == 0 || text[at - 1] == ' ')
            text.erase(at, named.size());
        else
            at += named.size();
    }
    const std::string last = " " + path;
    if (text.size() > last.size() &&
        text.compare(text.size() - last.size(), last.size(), last) == 0)
        text.replace(text.size() - path.size(), path.size(), "the file");
    return text;
}

// ---- --list

int RunList(std::FILE* out) {
    for (const TOutputFormatInfo& format : AllOutputFormats()) {
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

int RunInfo(TFFEncoder& encoder, const std::vector<std::string>& paths, TCliDisplay& display,
            bool json, int dropFormat) {
    TFFDecoder& prober = encoder.Decoder();
    int status = ExitAllSucceeded;
    bool first = true;
    std::vector<TSourceProblem> problems;
    std::vector<std::string> files;
    for (const TCliSource& source : CollectSources(paths, problems))
        files.push_back(source.Path);
    for (const TSourceProblem& problem : problems) {
        display.Error(problem.Path + ": " + problem.Message);
        PrintFileInfoError(stdout, problem.Path, problem.Message, json);
        status = ExitSomeFailed;
    }
    for (const std::string& path : files) {
        if (!prober.LoadFile(path, "")) {
            const std::string reason = WithoutPath(prober.LastErrMsg(), path);
            display.Error(path + ": " + FileLoadErrorPrefix + reason);
            PrintFileInfoError(stdout, path, FileLoadErrorPrefix + reason, json);
            status = ExitSomeFailed;
            continue;
        }
        TFileReport report = ReadFileReport(prober);
        prober.CloseFile();
        if (dropFormat >= 0) {
            report.HasDropped = true;
            report.Dropped =
                DroppedTags(report.Vocabulary, TagFormatOf(OutputExtension(dropFormat)));
        }
        PrintFileInfo(stdout, path, report, json, first);
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

// A note of the termination as a line of its own: "Verified: ...".
std::string CapitalizedNote(std::string note) {
    if (!note.empty())
        note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
    return note;
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

    // The files that failed, the ones that could not be queued included.
    int FailedCount() const { return failedBefore_ + run_.FailedCount(); }
    double ElapsedDays() const { return elapsedDays_; }

private:
    void JobEnded(int job, const TTerminateInfo& info) override {
        const TQueuedJob& queued = run_.Jobs()[job];
        switch (run_.States()[job].Status) {
        case jsFailed:
            display_.Error("Failed: " + queued.SourcePath + ": " +
                           (info.ExceptionMsg.empty()
                                ? "conversion failed"
                                : WithoutPath(info.ExceptionMsg, queued.SourcePath)));
            break;
        case jsFinish:
            display_.Line("Converted: " + queued.SourcePath + " -> " + queued.OutputPath);
            if (!info.Note.empty())
                display_.Line(CapitalizedNote(info.Note));
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

namespace {

TJobSettings JobSettingsOf(const TCliOptions& options) {
    TJobSettings settings;
    settings.OutputFormat = options.Format;
    settings.PresetIndex = options.Preset;
    // A conversion that did not succeed leaves no partial file behind.
    settings.KeepStoppedOutputs = false;
    settings.VerifyOutputs = options.Verify;
    settings.NoCover = options.NoCover;
    settings.CoverMaxPixels = options.CoverMax;
    std::error_code ec;
    settings.OutputFileDir =
        options.OutputDir.empty() ? fs::current_path(ec).string() : options.OutputDir;
    settings.Naming = options.Naming;
    settings.Direct = options.Direct;
    ApplyEngineSettings(options.Engine, settings);
    return settings;
}

bool HasDirectSettings(const TDirectSettings& direct) {
    return direct.BitRate > 0 || direct.HasQuality || direct.SampleRate != -1 ||
           direct.Channels != -1;
}

// Queues the sources in order; counts the ones skipped, failed and cancelled (a stop asked
// for before they were queued) into `counts`.
void QueueSources(TJobQueue& queue, TFFDecoder& prober, const std::vector<TCliSource>& sources,
                  const TCliOptions& options, TCliDisplay& display,
                  const volatile std::sig_atomic_t* stopRequest, TBatchCounts& counts) {
    if (options.Naming.Existing != TExistingOutputs::Increment) {
        // No output replaces a source of the batch.
        std::set<TFileId> ids;
        for (const TCliSource& source : sources)
            AddFileIds(source.Path, ids);
        queue.ProtectFiles(std::move(ids));
    }
    for (const TCliSource& source : sources) {
        if (*stopRequest) {
            display.Error("Cancelled: " + source.Path);
            ++counts.Cancelled;
            continue;
        }
        std::string error;
        TQueueOutcome outcome = TQueueOutcome::Failed;
        if (options.Engine.To.empty()) {
            outcome = queue.QueueSourceIn(source.Path, options.Flat ? "" : source.SubFolder);
            error = queue.LastError();
        } else {
            outcome = QueueExplicitOutput(queue, prober, source.Path, options, error);
        }
        switch (outcome) {
        case TQueueOutcome::Queued:
            break;
        case TQueueOutcome::Skipped:
            display.Line("Skipped: " + source.Path + " (" + queue.LastPlan().Path + " " +
                         queue.LastPlan().Reason + ")");
            ++counts.Skipped;
            break;
        case TQueueOutcome::Failed:
            display.Error("Failed: " + source.Path + ": " + WithoutPath(error, source.Path));
            ++counts.Failed;
            break;
        }
    }
}

} // namespace

int RunConvert(TFFEncoder& encoder, const TCliOptions& options, TCliDisplay& display,
               TCliMainLoop& loop, const volatile std::sig_atomic_t* stopRequest) {
    if (const std::string bad = CheckEngineVocabulary(options.Engine); !bad.empty()) {
        display.Error("audioconv-cli: " + bad);
        return ExitBadUsage;
    }
    if (HasDirectSettings(options.Direct)) {
        const std::string problem =
            DirectSettingsProblem(options.Format, options.Preset, options.Direct);
        if (!problem.empty()) {
            display.Error("audioconv-cli: " + problem + "\nRun with --help for more information.");
            return ExitBadUsage;
        }
    }
    const TJobSettings settings = JobSettingsOf(options);
    const std::string folderProblem = MakeOutputFolder(settings.OutputFileDir);
    if (!folderProblem.empty()) {
        display.Error("audioconv-cli: cannot create the output folder " + settings.OutputFileDir +
                      ": " + folderProblem);
        return ExitSomeFailed;
    }

    std::vector<TSourceProblem> problems;
    const std::vector<TCliSource> sources =
        CollectSources(options.Paths, problems, settings.OutputFileDir);
    for (const TSourceProblem& problem : problems)
        display.Error("Failed: " + problem.Path + ": " + problem.Message);
    if (!options.Engine.To.empty() && sources.size() > 1) {
        display.Error("audioconv-cli: --to takes one source FILE, not a folder\n"
                      "Run with --help for more information.");
        return ExitBadUsage;
    }

    TConversionRun run(
        encoder, settings, [&loop](std::function<void()> call) { loop.Post(std::move(call)); },
        [&](const std::string& line) {
            if (options.Log)
                display.LogLine(line);
        });
    TBatchCounts counts;
    counts.Total = static_cast<int>(sources.size() + problems.size());
    counts.Failed = static_cast<int>(problems.size());
    QueueSources(run.Queue(), encoder.Decoder(), sources, options, display, stopRequest, counts);

    TBatchRun batch(run, display, loop, stopRequest, counts.Failed);
    if (!run.Queue().Jobs().empty()) {
        const int parallel =
            options.Jobs > 0 ? options.Jobs
                             : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        batch.Run(parallel);
    }

    if (counts.Total == 0)
        display.Line("No files to convert.");
    counts.Succeeded = run.FinishedCount();
    counts.Failed = batch.FailedCount();
    counts.Cancelled += run.CancelledCount();
    display.Line(SummaryLine(counts, batch.ElapsedDays() * 86400.0));
    return counts.Failed > 0 || counts.Cancelled > 0 ? ExitSomeFailed : ExitAllSucceeded;
}
