#include "JobQueue.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "CoverArt.h"
#include "FFDecode.h"
#include "FFEncode.h"
#include "OutputFormats.h"
#include "OutputTags.h"
#include "OutputVerify.h"
#include "RunProgress.h"
#include "TextUtils.h"
#include "files/UnicodeProtocol.h"
#include "log/FFLog.h"
#include "settings/ShellFolders.h"
#include "sources/SourceExtensions.h"
#include "utils/FFUtils.h"

namespace {

// An output shorter than this share of its source's probed length, by more than the slack,
// is reported: a source truncated or damaged on the way.
constexpr double ShortOutputShare = 0.9;
constexpr int64_t ShortOutputSlackUs = 500000;

// Makes the folder of `output` when it lies below the run's output folder `outputDir` (which
// is the caller's to check); empty, or the folder and the system's reason.
std::string MakeJobFolder(const std::string& output, const std::string& outputDir) {
    const size_t slash = output.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "./" : output.substr(0, slash + 1);
    if (folder == EnsureTrailingSeparator(outputDir))
        return "";
    const std::string reason = MakeOutputFolder(folder);
    return reason.empty() ? "" : folder + ": " + reason;
}

} // namespace

TSourceStamp SourceStampOf(const std::string& path) {
    TSourceStamp stamp;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return stamp;
    stamp.Known = true;
    stamp.Size = static_cast<int64_t>(st.st_size);
    stamp.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

void CheckSourceUnchanged(const TQueuedJob& job, TTerminateInfo& info) {
    if (!info.Finished || info.Exception || !job.SourceStamp.Known)
        return;
    if (SourceStampOf(job.SourcePath) == job.SourceStamp)
        return;
    info.Exception = true;
    info.ExceptionMsg = job.SourcePath + ": " + SourceChangedText;
}

int CommitQueuedOutput(const TQueuedJob& job, TTerminateInfo& info) {
    const int error = job.Claim->Commit(job.Commit);
    if (error == 0 && job.Claim->KeptOther())
        info.Note = job.OutputPath + " was written meanwhile by another process and is kept";
    return error;
}

void EndQueuedJob(const TQueuedJob& job, bool keepStopped, TTerminateInfo& info) {
    const bool succeeded = info.Finished && !info.Exception;
    const bool stopped = !info.Finished && !info.Exception;
    // A job stopped before it wrote anything leaves nothing, whatever the settings.
    struct stat st {};
    const bool wrote = lstat(job.TemporaryPath.c_str(), &st) == 0 && st.st_size > 0;
    if (!succeeded && !(stopped && keepStopped && wrote)) {
        if (job.Claim)
            job.Claim->Discard();
        else
            unlink(job.TemporaryPath.c_str());
        return;
    }
    if (!job.Claim)
        return;
    const int error = CommitQueuedOutput(job, info);
    if (error == 0 || !succeeded)
        return;
    info.Exception = true;
    info.ExceptionMsg = FormatText("cannot rename %s to %s: %s", job.TemporaryPath.c_str(),
                                   job.OutputPath.c_str(), std::strerror(error));
}

void VerifyQueuedJob(const TQueuedJob& job, TTerminateInfo& info) {
    if (!info.Finished || info.Exception)
        return;
    const TVerifyResult result = VerifyOutput(job.SourcePath, job.TemporaryPath, job.OutputPath);
    FFLogger()->Log(nullptr, result.Passed ? llInfo : llError, result.Message);
    if (result.Passed) {
        info.Note = result.Message;
        return;
    }
    info.Exception = true;
    info.ExceptionMsg = result.Message;
}

std::string ShortOutputWarning(const std::string& source, int64_t probedUs, int64_t outputUs) {
    if (probedUs <= 0 || outputUs < 0)
        return "";
    if (outputUs >= static_cast<int64_t>(probedUs * ShortOutputShare) ||
        probedUs - outputUs <= ShortOutputSlackUs)
        return "";
    return FormatText("%s: only %s of its %s could be decoded", source.c_str(),
                      DurationToStr(outputUs).c_str(), DurationToStr(probedUs).c_str());
}

TJobQueue::TJobQueue(TCustomEncoder& encoder, TJobSettings settings, TJobLog log)
    : encoder_(encoder), settings_(std::move(settings)), log_(std::move(log)) {}

void TJobQueue::Clear() {
    jobs_.clear();
    totalDurationUs_ = 0;
    claimed_.clear();
    lastError_.clear();
}

void TJobQueue::Log(const std::string& line) {
    if (log_)
        log_(line);
    else if (GlobalVars)
        GlobalVars->LogLines.push_back(line);
}

bool TJobQueue::Fail(const std::string& line) {
    lastError_ = line;
    Log(line);
    return false;
}

int TJobQueue::QueueJobs(const std::vector<std::string>& paths) {
    Clear();
    // Killed processes' temporary files in the output folder go before names are planned.
    RemoveDeadClaims(settings_.OutputFileDir);
    for (const std::string& path : paths)
        QueueSource(path);
    return static_cast<int>(jobs_.size());
}

bool TJobQueue::QueueSource(const std::string& path) {
    return QueueSourceIn(path, "") == TQueueOutcome::Queued;
}

TQueueOutcome TJobQueue::QueueSourceIn(const std::string& path, const std::string& subFolder) {
    lastPlan_ = TOutputPlan();
    if (const std::string kind = NotRegularFileProblem(path); !kind.empty()) {
        Fail(FileLoadErrorPrefix + path + " " + kind);
        return TQueueOutcome::Failed;
    }
    return QueueOpened(LocalFileName(path), subFolder);
}

TQueueOutcome TJobQueue::QueueNetworkSource(const std::string& url) {
    lastPlan_ = TOutputPlan();
    if (!IsNetworkURL(url)) {
        Fail(FileLoadErrorPrefix + url + " is no network URL");
        return TQueueOutcome::Failed;
    }
    return QueueOpened(url, "");
}

TQueueOutcome TJobQueue::QueueOpened(const std::string& path, const std::string& subFolder) {
    TFFDecoder& prober = encoder_.Decoder();
    if (!prober.LoadFile(path, "")) {
        Fail(FileLoadErrorPrefix + prober.LastErrMsg());
        return TQueueOutcome::Failed;
    }
    TOutputOptions output;
    TInputOptions input;
    lastPlan_ = BuildOutputOptions(prober, settings_, claimed_, output, subFolder, protected_);
    BuildInputOptions(prober, input);
    if (!settings_.NoCover)
        KeepCoverArt(prober, input, output);
    if (settings_.AdjustJob)
        settings_.AdjustJob(input, output);
    const TQueueOutcome outcome = QueuePlanned(input, output);
    prober.CloseFile();
    return outcome;
}

TQueueOutcome TJobQueue::QueueNamedOutput(const TInputOptions& input, TOutputOptions output) {
    lastPlan_ = TOutputPlan();
    std::set<TFileId> source, named;
    AddFileIds(input.FileName, source);
    AddFileIds(output.FileName, named);
    for (const TFileId& id : named)
        if (source.count(id) > 0) {
            Fail("the output " + output.FileName + " is the source itself");
            return TQueueOutcome::Failed;
        }
    lastPlan_ = PlanOutputPath("", output.FileName, settings_.Naming.Existing, input.FileName,
                               claimed_, protected_);
    output.FileName = lastPlan_.Path;
    return QueuePlanned(input, output);
}

TQueueOutcome TJobQueue::QueuePlanned(const TInputOptions& input, const TOutputOptions& output) {
    if (lastPlan_.Skip) {
        // A later source of the run with the same name is numbered past the kept output.
        claimed_.insert(lastPlan_.Path);
        return TQueueOutcome::Skipped;
    }
    const std::string reason = MakeJobFolder(lastPlan_.Path, settings_.OutputFileDir);
    if (!reason.empty()) {
        Fail(OutputFolderErrorPrefix + reason);
        return TQueueOutcome::Failed;
    }
    return AddJob(input, output, lastPlan_.Replace) ? TQueueOutcome::Queued : TQueueOutcome::Failed;
}

bool TJobQueue::AddJob(const TInputOptions& input, const TOutputOptions& output, bool replace) {
    encoder_.SetOpenOnStart(true);
    const int task = encoder_.AddTask(input.FileName, input);
    if (task < 0)
        return Fail(AddingFileErrorPrefix + encoder_.LastErrMsg());
    std::string claimError;
    std::shared_ptr<TOutputClaim> claim = TOutputClaim::Create(output.FileName, claimError);
    if (!claim) {
        encoder_.RemoveTask(task);
        return Fail(CannotConvertPrefix + output.FileName + ": " + claimError);
    }
    TOutputOptions written = output;
    written.FileName = claim->TemporaryPath();
    if (!encoder_.SetOutputFile(task, written.FileName, written)) {
        encoder_.RemoveTask(task);
        return Fail(CannotConvertPrefix + encoder_.LastErrMsg());
    }
    TFileStreamInfo facts;
    encoder_.Decoder().GetFileStreamInfo(facts);
    TQueuedJob job;
    job.TaskIndex = task;
    job.SourcePath = input.FileName;
    job.OutputPath = output.FileName;
    job.TemporaryPath = written.FileName;
    job.ReplaceExisting = replace;
    job.Commit = CommitModeOf(settings_.Naming.Existing, replace);
    job.Claim = std::move(claim);
    job.SourceStamp = SourceStampOf(input.FileName);
    job.DurationUs = facts.Duration;
    totalDurationUs_ = AddQueuedDuration(totalDurationUs_, facts.Duration);
    jobs_.push_back(job);
    const bool keepStopped = settings_.KeepStoppedOutputs;
    const bool warnShort = settings_.WarnShortOutputs;
    const bool failShort = failShort_;
    const bool verify = settings_.VerifyOutputs;
    const TTagJob tags = PlanOutputTags(encoder_.Decoder(), output, settings_);
    encoder_.SetTaskEndHook(
        task, [job, keepStopped, warnShort, failShort, verify, tags](TTerminateInfo& info) {
            WriteQueuedTags(tags, job.TemporaryPath, job.OutputPath, info);
            if (verify)
                VerifyQueuedJob(job, info);
            CheckSourceUnchanged(job, info);
            if (info.Finished && !info.Exception && warnShort) {
                const std::string warning =
                    ShortOutputWarning(job.SourcePath, job.DurationUs, info.OutputDuration);
                if (!warning.empty() && failShort) {
                    info.Exception = true;
                    info.ExceptionMsg = warning;
                } else if (!warning.empty()) {
                    info.Warning = warning;
                }
                if (!warning.empty())
                    FFLogger()->Log(nullptr, failShort ? llError : llWarning, warning);
            }
            EndQueuedJob(job, keepStopped, info);
        });
    claimed_.insert(output.FileName);
    Log(FileAddedLine);
    return true;
}
