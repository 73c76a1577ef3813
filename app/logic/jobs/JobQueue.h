// Turning sources into encoder jobs: each source is opened with the encoder's prober, its job
// is built for the run's settings and added as a task with its output. The queue keeps the
// jobs of the run, their durations and the output names the run has given out.
//
// A queued job holds its description only: the encoder opens its input, output and encoder
// when it starts and releases them when it ends, so that a batch's memory and open files
// follow the jobs running at a time. Every job writes under the temporary name of its output's
// claim (OutputClaim.h) and, when it ends, the queue (through the encoder's task-end hook of
// the job's task, on the thread that ends it; it outlives the queue) writes the source's tags
// and covers into a finished file (OutputTags), then gives the file its final name when it
// succeeded, or when it was stopped and the settings keep stopped outputs; otherwise it
// removes it. A source whose size or modification time changed since its job was queued fails
// the job ("changed while it was converted"). A job that succeeded with much less output than
// its source's probed length gets a warning (logged, and in the termination record's
// Warning), or fails when the queue fails short outputs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "JobBuilder.h"
#include "OutputClaim.h"
#include "input/Input.h"
#include "output/Output.h"

class TCustomEncoder;
struct TTerminateInfo;

// What tells that a source changed: its size and modification time.
struct TSourceStamp {
    bool Known = false;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TSourceStamp& other) const {
        return Known == other.Known && Size == other.Size && ModifiedNs == other.ModifiedNs;
    }
};
// The stamp of the file at `path` (followed through links); not Known when it cannot be read.
TSourceStamp SourceStampOf(const std::string& path);

// One job of the run, in the order of the encoder's tasks.
struct TQueuedJob {
    int TaskIndex = -1;
    std::string SourcePath;
    std::string OutputPath;       // the final name
    int64_t DurationUs = -1;      // the source's duration; -1 when unknown
    std::string TemporaryPath;    // the name written while the job runs
    bool ReplaceExisting = false; // the finished output replaces a file at OutputPath
    TCommitMode Commit = TCommitMode::NumberPast; // a file under OutputPath when the job ends
    std::shared_ptr<TOutputClaim> Claim;          // holds TemporaryPath
    TSourceStamp SourceStamp;                     // the source when its job was queued
};

// What became of a source given to the queue.
enum class TQueueOutcome {
    Queued,
    Skipped, // its output exists and is kept (the run's existing-output policy)
    Failed,  // the reason is in LastError
};

// Receives one line for the application log.
using TJobLog = std::function<void(const std::string& line)>;

class TJobQueue {
public:
    // `log` receives the queue's log lines; without one they are appended to the
    // application log of GlobalVars (when it exists).
    TJobQueue(TCustomEncoder& encoder, TJobSettings settings, TJobLog log = nullptr);

    // Forgets the run's jobs, total and claimed names (the encoder's tasks are its own).
    void Clear();

    // Starts the run's list over (Clear), removes dead processes' temporary files from the
    // output folder (RemoveDeadClaims) and queues every path in order; the number of jobs
    // queued.
    int QueueJobs(const std::vector<std::string>& paths);

    // Opens `path` with the encoder's prober and queues its job. False when the source cannot
    // be opened or the encoder refuses it; the reason is logged and kept in LastError.
    bool QueueSource(const std::string& path);
    // The same for a source found `subFolder` (a relative path) below a searched folder: its
    // output goes into that folder below the output folder (unless the name pattern makes
    // folders), which is made when missing. The output's place is in LastPlan.
    // `path` is a local file whatever its name holds ("http:x.wav", "pipe:0.wav"); a FIFO, a
    // device or a socket is refused.
    TQueueOutcome QueueSourceIn(const std::string& path, const std::string& subFolder);
    // The same for a network source the user asked for by its URL (IsNetworkURL); its output
    // goes into the output folder.
    TQueueOutcome QueueNetworkSource(const std::string& url);
    // Queues the job of `input` for the source the prober has open, its output at
    // `output.FileName` as the caller named it (not made from the source), under the run's
    // existing-output policy like the outputs of QueueSourceIn: a taken name is numbered past,
    // kept or replaced. A name that leads to the source itself (by file identity, through a
    // link too) fails whatever the policy. The output's place is in LastPlan.
    TQueueOutcome QueueNamedOutput(const TInputOptions& input, TOutputOptions output);
    // Files no output of the run may replace (the run's sources), beside each job's own.
    void ProtectFiles(std::set<TFileId> files) { protected_ = std::move(files); }
    // With `fail`, a job whose output is well short of its source's length fails (the
    // short-output warning is its reason) and leaves no output.
    void FailShortOutputs(bool fail) { failShort_ = fail; }

    // Adds a task for `input` with the output `output` (written under its temporary name),
    // then lists the job with the duration of the file the prober has open. False when the
    // encoder refuses either; the task of a refused output is removed again.
    // With `replace` the finished output replaces a file under its name.
    bool AddJob(const TInputOptions& input, const TOutputOptions& output, bool replace = false);

    const TJobSettings& Settings() const { return settings_; }
    const std::vector<TQueuedJob>& Jobs() const { return jobs_; }
    // The known source durations of the queued jobs, microseconds.
    int64_t TotalDurationUs() const { return totalDurationUs_; }
    // The output paths of the queued jobs.
    const std::set<std::string>& ClaimedNames() const { return claimed_; }
    // The log line of the last refused source.
    const std::string& LastError() const { return lastError_; }
    // Where the output of the last source given to QueueSourceIn goes (or would have gone).
    const TOutputPlan& LastPlan() const { return lastPlan_; }

private:
    // QueueSourceIn of a name the prober opens as it stands.
    TQueueOutcome QueueOpened(const std::string& name, const std::string& subFolder);
    // Queues the job whose output goes where lastPlan_ says, or keeps the output it skips.
    TQueueOutcome QueuePlanned(const TInputOptions& input, const TOutputOptions& output);
    void Log(const std::string& line);
    bool Fail(const std::string& line);

    TCustomEncoder& encoder_;
    TJobSettings settings_;
    TJobLog log_;
    std::vector<TQueuedJob> jobs_;
    int64_t totalDurationUs_ = 0;
    std::set<std::string> claimed_;
    std::string lastError_;
    TOutputPlan lastPlan_;
    std::set<TFileId> protected_;
    bool failShort_ = false;
};

// The end of a queued job (the task-end hook), after the checks of its output: the file given
// its final name (CommitQueuedOutput) or removed. `keepStopped`: what a stopped job leaves
// (TJobSettings). Changes `info` when the rename fails (the job then failed).
void EndQueuedJob(const TQueuedJob& job, bool keepStopped, TTerminateInfo& info);

// The one step that gives a finished output its final name under the job's commit mode; 0 or
// the errno value of the failure. When another process's file was kept instead (TCommitMode::Keep)
// `info.Note` says so.
int CommitQueuedOutput(const TQueuedJob& job, TTerminateInfo& info);

// Fails a job that succeeded when its source changed since it was queued.
void CheckSourceUnchanged(const TQueuedJob& job, TTerminateInfo& info);

// The verification of a job that succeeded (TJobSettings::VerifyOutputs), before its output
// takes its final name: a difference from the source fails the job (`info` then holds the
// reason), an agreement is kept in `info.Note`.
void VerifyQueuedJob(const TQueuedJob& job, TTerminateInfo& info);

// The warning of a job that succeeded with `outputUs` of output from a source probed at
// `probedUs`; empty when the output is not well short of it (or a length is unknown).
std::string ShortOutputWarning(const std::string& source, int64_t probedUs, int64_t outputUs);

// The log lines of the queue.
inline constexpr const char* FileLoadErrorPrefix = "File load error: ";
inline constexpr const char* AddingFileErrorPrefix = "Adding file error: ";
inline constexpr const char* CannotConvertPrefix = "Cannot do convert, error: ";
inline constexpr const char* FileAddedLine = "File has been added to convert list.";
inline constexpr const char* OutputFolderErrorPrefix = "Cannot create the output folder ";
inline constexpr const char* SourceChangedText = "changed while it was converted";
