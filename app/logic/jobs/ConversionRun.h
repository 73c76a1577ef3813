// One conversion run: the sources queued as encoder jobs, run up to a number side by side,
// with each job's status and the run's totals and times kept as the encoder's reports arrive.
// The window and the command-line program show a run; neither keeps its state itself.
//
// Threads: a run belongs to the main thread. Progress reports reach it there by themselves
// (the encoder delivers them on the main thread). Terminations arrive on the encoder's
// delivery thread: they are queued here and handed to the main thread through `post`, then
// applied one at a time in arrival order, the final one (all jobs ended) after all others,
// even when an observer opens a nested event loop (a message box) meanwhile. Lock order: the
// queue's lock is the only one taken here, never while calling out.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "JobQueue.h"
#include "RunProgress.h"

class TCustomEncoder;
struct TProgressInfo;
struct TTerminateInfo;

// Runs a call on the main thread later; calls posted from one thread run in posting order.
using TPostToMainThread = std::function<void(std::function<void()> call)>;

// What a queued job shows while the run goes on.
struct TJobState {
    TJobStatus Status = jsWaiting;
    std::string Progress;         // the Progress column: empty, "NN%", "N/A" or "100%"
    TPercent Percent;             // the last percentage reported (Known false: none yet)
    int64_t CurrentUs = 0;        // processed part while it runs
    int64_t ReportedTotalUs = -1; // the length the running job reports
    bool Running = false;         // reported progress and has not ended
    bool Ended = false;
};

// Told of every change of a run, on the main thread, after the run's state has changed.
class TRunObserver {
public:
    virtual ~TRunObserver() = default;
    virtual void JobProgressed(int job) { (void)job; }
    virtual void JobEnded(int job, const TTerminateInfo& info) {
        (void)job;
        (void)info;
    }
    // Every job has ended and the encoder's tasks are cleared.
    virtual void RunEnded() {}
};

class TConversionRun {
public:
    // `log` receives the queue's log lines (see TJobQueue).
    TConversionRun(TCustomEncoder& encoder, TJobSettings settings, TPostToMainThread post,
                   TJobLog log = nullptr);
    // Detaches the run from the encoder's events.
    ~TConversionRun();
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // The run's jobs, built in order from the sources.
    TJobQueue& Queue() { return queue_; }
    const TJobQueue& Queue() const { return queue_; }
    int QueueJobs(const std::vector<std::string>& paths);

    // Starts the queued jobs, at most `parallel` (at least 1) at a time. Nothing queued: the
    // encoder is not started (it would never report an end) and false is returned.
    bool Start(int parallel, TRunObserver* observer);
    // No further job starts; running jobs are stopped, waiting ones cancelled. With `wait`,
    // returns once the running jobs have stopped. The run still ends through the encoder's
    // terminations.
    void Stop(bool wait);

    // Sets the run's state up for `jobs` (the queue's, by Start) without starting the
    // encoder: a run driven by its reports alone, as tests do.
    void Prepare(std::vector<TQueuedJob> jobs, TRunObserver* observer);

    bool Started() const { return started_; }
    // The final termination has been applied.
    bool Ended() const { return ended_; }

    // ---- state
    // The jobs of the run, in the order of the encoder's tasks.
    const std::vector<TQueuedJob>& Jobs() const { return jobs_; }
    const std::vector<TJobState>& States() const { return states_; }
    // The job that reported last; -1 before any report.
    int LastReportedJob() const { return lastReported_; }
    int64_t TotalDurationUs() const { return totalDurationUs_; }
    int64_t DoneDurationMs() const { return doneDurationMs_; }
    int32_t FinishedCount() const { return finished_; }
    int32_t FailedCount() const { return failed_; }
    int32_t CancelledCount() const { return cancelled_; }
    int32_t EndedCount() const { return finished_ + failed_ + cancelled_; }
    // When Start ran, on the run clock (RunClockNow).
    double StartTime() const { return startTime_; }
    // Where the run stands now: the processed parts of the running jobs of known length are
    // added to the finished ones.
    TRunState State() const;
    TRunState StateAt(double now) const;
    TRunSummary Summary() const;

    // ---- the encoder's reports (public so that tests can drive a run without the engine)
    // A progress report, on the main thread.
    void Progress(const TProgressInfo& info);
    // A termination, from any thread: queued and applied on the main thread.
    void Terminated(const TTerminateInfo& info);

private:
    void Drain();
    void Apply(const TTerminateInfo& info);
    void ApplyFinal();

    TCustomEncoder& encoder_;
    TPostToMainThread post_;
    TJobQueue queue_;
    TRunObserver* observer_ = nullptr;
    std::vector<TQueuedJob> jobs_;
    std::vector<TJobState> states_;
    int64_t totalDurationUs_ = 0;
    int lastReported_ = -1;
    int64_t doneDurationMs_ = 0;
    int32_t finished_ = 0;
    int32_t failed_ = 0;
    int32_t cancelled_ = 0;
    double startTime_ = 0;
    bool started_ = false;
    bool ended_ = false;
    bool draining_ = false;
    bool stopping_ = false;     // inside Stop: the final termination waits until it returns
    bool finalPending_ = false; // the final termination arrived during Stop

    std::mutex pendingMutex_; // guards pending_ only
    std::deque<TTerminateInfo> pending_;
    // Posted calls check it, so that a call arriving after the run is gone does nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
