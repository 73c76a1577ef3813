#include "ConversionRun.h"

#include <algorithm>
#include <utility>

#include "FFEncode.h"

TConversionRun::TConversionRun(TCustomEncoder& encoder, TJobSettings settings,
                               TPostToMainThread post, TJobLog log)
    : encoder_(encoder), post_(std::move(post)),
      queue_(encoder, std::move(settings), std::move(log)) {}

TConversionRun::~TConversionRun() {
    if (started_) {
        encoder_.OnProgress.Clear();
        encoder_.OnTerminate.Clear();
    }
}

int TConversionRun::QueueJobs(const std::vector<std::string>& paths) {
    return queue_.QueueJobs(paths);
}

void TConversionRun::Prepare(std::vector<TQueuedJob> jobs, TRunObserver* observer) {
    observer_ = observer;
    jobs_ = std::move(jobs);
    states_.assign(jobs_.size(), TJobState{});
    totalDurationUs_ = 0;
    for (const TQueuedJob& job : jobs_)
        totalDurationUs_ = AddQueuedDuration(totalDurationUs_, job.DurationUs);
    lastReported_ = -1;
    doneDurationMs_ = 0;
    finished_ = failed_ = cancelled_ = 0;
    ended_ = false;
    startTime_ = RunClockNow();
}

bool TConversionRun::Start(int parallel, TRunObserver* observer) {
    Prepare(queue_.Jobs(), observer);
    if (jobs_.empty())
        return false;
    encoder_.OnProgress.Assign([this](void*, PProgressInfo info) { Progress(*info); });
    encoder_.OnTerminate.Assign([this](void*, const TTerminateInfo& info) { Terminated(info); });
    started_ = true;
    encoder_.StartTask(std::max(1, parallel));
    return true;
}

void TConversionRun::Stop(bool wait) {
    stopping_ = true;
    encoder_.Stop(wait);
    stopping_ = false;
    if (finalPending_) {
        finalPending_ = false;
        ApplyFinal();
    }
}

TRunState TConversionRun::State() const {
    return StateAt(RunClockNow());
}

TRunState TConversionRun::StateAt(double now) const {
    TRunState state;
    state.TotalDurationUs = totalDurationUs_;
    state.DoneDurationMs = doneDurationMs_;
    // A job of unknown length is not in the total, so its processed part is not counted
    // as done either: it leaves the estimate as it is.
    for (size_t i = 0; i < states_.size(); ++i)
        if (states_[i].Running && jobs_[i].DurationUs >= 0)
            state.CurrentDurationUs += std::max<int64_t>(states_[i].CurrentUs, 0);
    state.ElapsedDays = now - startTime_;
    return state;
}

TRunSummary TConversionRun::Summary() const {
    return RunSummary(static_cast<int32_t>(jobs_.size()), finished_, failed_);
}

void TConversionRun::Progress(const TProgressInfo& info) {
    if (info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(states_.size()))
        return;
    TJobState& job = states_[info.TaskIndex];
    if (job.Ended)
        return;
    job.Running = true;
    job.CurrentUs = info.CurrentDuration;
    job.ReportedTotalUs = info.TotalDuration;
    const TPercent percent = JobPercent(info.CurrentDuration, info.TotalDuration);
    job.Progress = percent.Text;
    if (percent.Known) {
        job.Percent = percent;
        job.Status = jsConverting;
    }
    lastReported_ = info.TaskIndex;
    if (observer_)
        observer_->JobProgressed(info.TaskIndex);
}

void TConversionRun::Terminated(const TTerminateInfo& info) {
    {
        std::lock_guard lock(pendingMutex_);
        pending_.push_back(info);
    }
    std::weak_ptr<int> alive = alive_;
    post_([this, alive] {
        if (alive.lock())
            Drain();
    });
}

// One termination at a time: one that arrives while an observer still handles the previous
// one (inside a nested event loop) waits for it.
void TConversionRun::Drain() {
    if (draining_)
        return;
    draining_ = true;
    for (;;) {
        TTerminateInfo info;
        {
            std::lock_guard lock(pendingMutex_);
            if (pending_.empty())
                break;
            info = std::move(pending_.front());
            pending_.pop_front();
        }
        Apply(info);
    }
    draining_ = false;
}

void TConversionRun::Apply(const TTerminateInfo& info) {
    if (info.TaskIndex < 0) {
        // Clearing the tasks from inside the encoder's own stop would free them under it.
        if (stopping_)
            finalPending_ = true;
        else
            ApplyFinal();
        return;
    }
    if (info.TaskIndex >= static_cast<int>(states_.size()))
        return;
    TJobState& job = states_[info.TaskIndex];
    if (job.Ended)
        return;
    job.Ended = true;
    job.Running = false;
    job.CurrentUs = 0;
    job.Status = StatusAfterTerminate(info.Finished, info.Exception);
    if (info.Finished) {
        job.Progress = ProgressDone;
        doneDurationMs_ = AddFinishedDuration(doneDurationMs_, jobs_[info.TaskIndex].DurationUs);
    }
    if (job.Status == jsFinish)
        ++finished_;
    else if (job.Status == jsFailed)
        ++failed_;
    else
        ++cancelled_;
    if (observer_)
        observer_->JobEnded(info.TaskIndex, info);
}

void TConversionRun::ApplyFinal() {
    if (ended_)
        return;
    ended_ = true;
    if (started_) {
        encoder_.OnProgress.Clear();
        encoder_.OnTerminate.Clear();
        encoder_.ClearTasks();
    }
    if (observer_)
        observer_->RunEnded();
}
