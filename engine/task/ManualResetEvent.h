// A manual-reset event: once set it stays set, releasing every waiter, until reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class TManualResetEvent {
public:
    explicit TManualResetEvent(bool signalled) : set_(signalled) {}

    void Set() {
        std::lock_guard guard(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard guard(mutex_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard guard(mutex_);
        return set_;
    }
    // True when the event is set within the timeout.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_;
};
