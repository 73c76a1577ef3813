#include "CliBatch.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "CliBatchSources.h"
#include "CliInfo.h"
#include "CliJobClock.h"
#include "CliReport.h"
#include "CliSync.h"
#include "FFDecode.h"
#include "FFEncode.h"
#include "FFLoad.h"
#include "jobs/ConversionRun.h"
#include "jobs/DirectSettings.h"
#include "jobs/JobBuilder.h"
#include "jobs/JobQueue.h"
#include "jobs/OutputClaim.h"
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

bool StopRequested(void* data, void*) {
    return *static_cast<const volatile std::sig_atomic_t*>(data) != 0;
}

// While it lives, a blocking open or read of the media libraries on the main thread (the
// prober's) ends once `*stopRequest` is set.
class TMainThreadInterrupt {
public:
    explicit TMainThreadInterrupt(const volatile std::sig_atomic_t* stopRequest)
        : thread_(CurrentThreadID()) {
        method_.Code = StopRequested;
        method_.Data = const_cast<std::sig_atomic_t*>(stopRequest);
        if (InterruptCB != nullptr)
            InterruptCB->AddCallback(thread_, nullptr, method_);
    }
    ~TMainThreadInterrupt() {
        if (InterruptCB != nullptr)
            InterruptCB->RemoveCallback(thread_, nullptr, method_);
    }
    TMainThreadInterrupt(const TMainThreadInterrupt&) = delete;
    TMainThreadInterrupt& operator=(const TMainThreadInterrupt&) = delete;

private:
    uint32_t thread_;
    TInterruptMethod method_;
};

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // Without SA_RESTART: a system call blocked in an open or a read returns EINTR, and the
    // libraries then ask the interrupt callback, which sees the flag.
    action.sa_flags = 0;
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
            bool json, int dropFormat, bool loudness) {
    TFFDecoder& prober = encoder.Decoder();
    const TMainThreadInterrupt interrupt(&CliInterrupted);
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
        if (CliInterrupted != 0)
            break;
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
        if (loudness) {
            std::unique_ptr<TLoudnessMeter> meter;
            std::string error;
            if (!MeasureFileLoudness(path, meter, error)) {
                display.Error(path + ": cannot measure the loudness: " + WithoutPath(error, path));
                status = ExitSomeFailed;
            } else {
                report.Loudness = meter->Result();
            }
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

// "1.5", "30": seconds as the user wrote them.
std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// The settings the report names: the format, the preset and the command line's own settings
// words in order.
TReportSettings ReportSettingsOf(const TCliOptions& options) {
    TReportSettings settings;
    settings.Format = AllOutputFormats()[options.Format].Name;
    settings.Preset = options.Preset;
    const TDirectSettings& d = options.Direct;
    std::string words;
    auto add = [&words](const std::string& word) { words += (words.empty() ? "" : " ") + word; };
    if (d.BitRate > 0)
        add("-b " + std::to_string(d.BitRate));
    if (d.HasQuality)
        add("-q " + SecondsText(d.Quality));
    if (d.SampleRate != -1)
        add("-r " + std::to_string(d.SampleRate));
    if (d.Channels != -1)
        add("-c " + std::to_string(d.Channels));
    for (const std::string& line : options.Engine.Input)
        add("-X " + line);
    for (const std::string& line : options.Engine.Output)
        add("-x " + line);
    if (!options.Naming.Pattern.empty())
        add("--name " + options.Naming.Pattern);
    settings.Overrides = words;
    settings.Shard = options.Lists.Shard;
    return settings;
}

// Shows a run of the batch: a line per ended job and, on a terminal, the live block.
class TBatchRun final : public TRunObserver {
public:
    TBatchRun(TConversionRun& run, TFFEncoder& encoder, TCliDisplay& display, TCliMainLoop& loop,
              const volatile std::sig_atomic_t* stopRequest, int failedBefore,
              TJsonLinesReport& report, double timeoutSeconds)
        : run_(run), encoder_(encoder), display_(display), loop_(loop), stopRequest_(stopRequest),
          failedBefore_(failedBefore), report_(report), timeout_(timeoutSeconds),
          clock_(static_cast<int>(run.Queue().Jobs().size()), timeoutSeconds) {}

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
            WatchTheClock();
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

    // The files that failed, the ones that could not be queued and the ones stopped for their
    // time included.
    int FailedCount() const { return failedBefore_ + run_.FailedCount() + timedOut_; }
    // The files stopped by the user's stop.
    int CancelledCount() const { return run_.CancelledCount() - timedOut_; }
    // The jobs that succeeded with a short-output warning.
    int ShortCount() const { return shortCount_; }
    double ElapsedDays() const { return elapsedDays_; }

private:
    // Notes the jobs that started and stops the ones that ran past the time-out.
    void WatchTheClock() {
        const double now = Seconds();
        clock_.Poll(now, [this](int job) {
            return encoder_.Tasks().TaskAt(run_.Jobs()[job].TaskIndex) != nullptr;
        });
        for (const int job : clock_.Overdue(now))
            if (auto task = encoder_.Tasks().TaskAt(run_.Jobs()[job].TaskIndex))
                task->Stop(false);
    }

    double Seconds() const { return RunClockNow() * 86400.0; }

    void JobEnded(int job, const TTerminateInfo& info) override {
        const double now = Seconds();
        clock_.Ended(job, now);
        const TQueuedJob& queued = run_.Jobs()[job];
        TReportItem item;
        item.Source = queued.SourcePath;
        item.Output = queued.OutputPath;
        item.Seconds = clock_.Seconds(job, now);
        item.SourceDurationUs = queued.DurationUs;
        item.SourceSize = FileSizeOf(queued.SourcePath);
        Show(job, info, item);
        report_.Item(item);
    }

    void Show(int job, const TTerminateInfo& info, TReportItem& item) {
        const TQueuedJob& queued = run_.Jobs()[job];
        const TJobStatus status = run_.States()[job].Status;
        if (clock_.TimedOut(job) && status != jsFinish) {
            ++timedOut_;
            item.Status = "failed";
            item.Error = "timed out after " + SecondsText(timeout_) + " s";
            display_.Error("Failed: " + queued.SourcePath + ": " + item.Error);
            return;
        }
        switch (status) {
        case jsFailed:
            item.Status = "failed";
            item.Error = info.ExceptionMsg.empty()
                             ? "conversion failed"
                             : WithoutPath(info.ExceptionMsg, queued.SourcePath);
            display_.Error("Failed: " + queued.SourcePath + ": " + item.Error);
            break;
        case jsFinish:
            if (queued.Claim && queued.Claim->KeptOther()) {
                item.Status = "skipped";
                item.Error = info.Note;
                display_.Line("Skipped: " + queued.SourcePath + " (" + info.Note + ")");
            } else {
                item.Status = "converted";
                item.Output = queued.Claim ? queued.Claim->FinalPath() : queued.OutputPath;
                item.OutputDurationUs = info.OutputDuration;
                item.OutputSize = FileSizeOf(item.Output);
                display_.Line("Converted: " + queued.SourcePath + " -> " + item.Output);
            }
            if (!info.Note.empty() && !(queued.Claim && queued.Claim->KeptOther()))
                display_.Line(CapitalizedNote(info.Note));
            if (!info.Warning.empty()) {
                display_.Error("Warning: " + info.Warning);
                ++shortCount_;
            }
            break;
        default:
            item.Status = "cancelled";
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
    TFFEncoder& encoder_;
    TCliDisplay& display_;
    TCliMainLoop& loop_;
    const volatile std::sig_atomic_t* stopRequest_;
    int failedBefore_ = 0;
    TJsonLinesReport& report_;
    double timeout_ = 0;
    TJobClock clock_;
    int timedOut_ = 0;
    int shortCount_ = 0;
    double elapsedDays_ = 0;
};

} // namespace

namespace {

// The summary line with "  Short: n" (the files converted with a short-output warning)
// before its time, when there are any.
std::string WithShortCount(const std::string& summary, int shortCount) {
    if (shortCount == 0)
        return summary;
    const std::string part = "  Short: " + std::to_string(shortCount);
    const size_t time = summary.rfind("  Time: ");
    return time == std::string::npos ? summary + part
                                     : summary.substr(0, time) + part + summary.substr(time);
}

TJobSettings JobSettingsOf(const TCliOptions& options, const TEngineAdjustment& adjustment) {
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
    ApplyEngineSettings(options.Engine, adjustment, settings);
    return settings;
}

bool HasDirectSettings(const TDirectSettings& direct) {
    return direct.BitRate > 0 || direct.HasQuality || direct.SampleRate != -1 ||
           direct.Channels != -1;
}

// Queues the sources in order; counts the ones skipped, failed and cancelled (a stop asked
// for before they were queued) into `counts`.
void QueueSources(TJobQueue& queue, TFFDecoder& prober, const std::vector<TCliSource>& sources,
                  const TCliOptions& options, const TEngineAdjustment& adjustment,
                  TCliDisplay& display, const volatile std::sig_atomic_t* stopRequest,
                  TJsonLinesReport& report, TBatchCounts& counts) {
    if (options.Naming.Existing != TExistingOutputs::Increment) {
        // No output replaces a source of the batch.
        std::set<TFileId> ids;
        for (const TCliSource& source : sources)
            AddFileIds(source.Path, ids);
        queue.ProtectFiles(std::move(ids));
    }
    for (const TCliSource& source : sources) {
        TReportItem item;
        item.Source = source.Path;
        if (*stopRequest) {
            display.Error("Cancelled: " + source.Path);
            ++counts.Cancelled;
            item.Status = "cancelled";
            report.Item(item);
            continue;
        }
        std::string error;
        TQueueOutcome outcome = TQueueOutcome::Failed;
        if (source.Network) {
            outcome = queue.QueueNetworkSource(source.Path);
            error = queue.LastError();
        } else if (options.Engine.To.empty()) {
            outcome = queue.QueueSourceIn(source.Path, options.Flat ? "" : source.SubFolder);
            error = queue.LastError();
        } else {
            outcome = QueueExplicitOutput(queue, prober, source.Path, options, adjustment, error);
        }
        switch (outcome) {
        case TQueueOutcome::Queued:
            break;
        case TQueueOutcome::Skipped:
            display.Line("Skipped: " + source.Path + " (" + queue.LastPlan().Path + " " +
                         queue.LastPlan().Reason + ")");
            ++counts.Skipped;
            item.Status = "skipped";
            item.Output = queue.LastPlan().Path;
            item.Error = queue.LastPlan().Path + " " + queue.LastPlan().Reason;
            report.Item(item);
            break;
        case TQueueOutcome::Failed:
            if (*stopRequest) {
                // The stop ended its open: it was not converted, and it did not fail.
                display.Error("Cancelled: " + source.Path);
                ++counts.Cancelled;
                break;
            }
            display.Error("Failed: " + source.Path + ": " + WithoutPath(error, source.Path));
            ++counts.Failed;
            item.Status = "failed";
            item.Error = WithoutPath(error, source.Path);
            report.Item(item);
            break;
        }
    }
}

} // namespace

int RunConvert(TFFEncoder& encoder, const TCliOptions& options, TCliDisplay& display,
               TCliMainLoop& loop, const volatile std::sig_atomic_t* stopRequest) {
    TEngineAdjustment adjustment;
    if (const std::string bad = ReadEngineOptions(options.Engine, adjustment); !bad.empty()) {
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
    const TJobSettings settings = JobSettingsOf(options, adjustment);
    const std::string folderProblem = MakeOutputFolder(settings.OutputFileDir);
    if (!folderProblem.empty()) {
        display.Error("audioconv-cli: cannot create the output folder " + settings.OutputFileDir +
                      ": " + folderProblem);
        return ExitSomeFailed;
    }

    TJsonLinesReport report;
    if (std::string error; !options.Lists.Report.empty() &&
                           !report.Open(options.Lists.Report, ReportSettingsOf(options), error)) {
        display.Error("audioconv-cli: cannot write the report " + options.Lists.Report + ": " +
                      error);
        return ExitSomeFailed;
    }
    // Killed converters' temporary files in the output folder go before names are planned
    // (those in folders below it when their names are planned).
    RemoveDeadClaims(settings.OutputFileDir);
    const TMainThreadInterrupt interrupt(stopRequest);
    std::vector<TSourceProblem> problems;
    std::vector<TCliSource> sources;
    const bool namedByPattern = !options.Naming.Pattern.empty();
    const std::string outputExtension =
        options.Engine.To.empty() && !options.Flat && !namedByPattern
            ? OutputExtension(options.Format)
            : "";
    if (std::string error;
        !CollectBatchSources(options.Paths, options.Lists, settings.OutputFileDir, outputExtension,
                             sources, problems, error)) {
        display.Error("audioconv-cli: " + error);
        return ExitSomeFailed;
    }
    for (const std::string& url : options.Urls)
        sources.push_back({url, "", url, true});
    RebaseSources(sources, options.Sync.Base, problems);
    std::optional<TSyncRun> sync;
    if (options.Sync.Manifest()) {
        auto say = [&display](const std::string& line) { display.Line(line); };
        auto error = [&display](const std::string& line) { display.Error(line); };
        sync.emplace(options.Sync, settings.OutputFileDir, ReportSettingsOf(options).Fingerprint(),
                     say, error);
        if (!sync->Before(sources))
            return ExitSomeFailed;
        if (options.Sync.DryRun) {
            display.Line("Would convert or keep " + std::to_string(sources.size()) +
                         " sources (dry run: nothing changed)");
            return ExitAllSucceeded;
        }
        report.OnItem = [&sync](const TReportItem& item) {
            sync->Ended(item.Source, item.Output, item.Status);
        };
    }
    for (const TSourceProblem& problem : problems) {
        display.Error("Failed: " + problem.Path + ": " + problem.Message);
        TReportItem item;
        item.Source = problem.Path;
        item.Status = "failed";
        item.Error = problem.Message;
        report.Item(item);
    }
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
    run.Queue().FailShortOutputs(options.Strict);
    QueueSources(run.Queue(), encoder.Decoder(), sources, options, adjustment, display, stopRequest,
                 report, counts);

    TBatchRun batch(run, encoder, display, loop, stopRequest, counts.Failed, report,
                    options.Lists.TimeoutSeconds);
    if (!run.Queue().Jobs().empty()) {
        const int parallel =
            options.Jobs > 0 ? options.Jobs
                             : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        batch.Run(parallel);
    }

    if (sources.empty())
        display.Line("No files to convert.");
    counts.Succeeded = run.FinishedCount();
    counts.Failed = batch.FailedCount();
    counts.Cancelled += batch.CancelledCount();
    display.Line(
        WithShortCount(SummaryLine(counts, batch.ElapsedDays() * 86400.0), batch.ShortCount()));
    report.Summary(counts, batch.ElapsedDays() * 86400.0);
    if (sync && !sync->After())
        return ExitSomeFailed;
    return counts.Failed > 0 || counts.Cancelled > 0 ? ExitSomeFailed : ExitAllSucceeded;
}
