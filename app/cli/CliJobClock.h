// The clock of each job of a batch: when it started (the encoder starts its tasks in list
// order), how long it has run, and which jobs have run longer than the batch's time-out.
#pragma once

#include <functional>
#include <vector>

class TJobClock {
public:
    // `timeoutSeconds` 0: no job is ever overdue.
    TJobClock(int jobs, double timeoutSeconds);

    // Notes, at `now` (seconds), the jobs that have started since the last call: `started`
    // tells whether a job has; jobs start in order, so only the next ones are asked.
    void Poll(double now, const std::function<bool(int job)>& started);
    void Ended(int job, double now);
    // How long `job` ran or has been running; 0 for a job that never started.
    double Seconds(int job, double now) const;
    // The running jobs that have run longer than the time-out, each given once.
    std::vector<int> Overdue(double now);
    bool TimedOut(int job) const { return job >= 0 && job < Jobs() && flags_[job] & TimedOutFlag; }

private:
    enum : unsigned char { StartedFlag = 1, EndedFlag = 2, TimedOutFlag = 4 };
    int Jobs() const { return static_cast<int>(flags_.size()); }

    double timeout_;
    std::vector<double> start_;
    std::vector<double> end_;
    std::vector<unsigned char> flags_;
    int next_ = 0;  // the first job not seen started
    int first_ = 0; // the first job not ended
};
