#include "CliJobClock.h"

TJobClock::TJobClock(int jobs, double timeoutSeconds)
    : timeout_(timeoutSeconds), start_(jobs, 0), end_(jobs, 0), flags_(jobs, 0) {}

void TJobClock::Poll(double now, const std::function<bool(int job)>& started) {
    while (next_ < Jobs() && (flags_[next_] & EndedFlag || started(next_))) {
        if (!(flags_[next_] & StartedFlag)) {
            flags_[next_] |= StartedFlag;
            // A job that ended before it was seen running ran for no time we know of.
            start_[next_] = flags_[next_] & EndedFlag ? end_[next_] : now;
        }
        ++next_;
    }
}

void TJobClock::Ended(int job, double now) {
    if (job < 0 || job >= Jobs())
        return;
    flags_[job] |= EndedFlag;
    end_[job] = now;
    while (first_ < Jobs() && flags_[first_] & EndedFlag)
        ++first_;
}

double TJobClock::Seconds(int job, double now) const {
    if (job < 0 || job >= Jobs() || !(flags_[job] & StartedFlag))
        return 0;
    return (flags_[job] & EndedFlag ? end_[job] : now) - start_[job];
}

std::vector<int> TJobClock::Overdue(double now) {
    std::vector<int> overdue;
    if (timeout_ <= 0)
        return overdue;
    for (int job = first_; job < next_; ++job) {
        const unsigned char flags = flags_[job];
        if (flags & (EndedFlag | TimedOutFlag) || !(flags & StartedFlag))
            continue;
        if (now - start_[job] > timeout_) {
            flags_[job] |= TimedOutFlag;
            overdue.push_back(job);
        }
    }
    return overdue;
}
