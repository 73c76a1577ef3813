// The threads of a task: the worker that runs it (TConvertThread, created suspended and
// started by Resume) and the short-lived thread that delivers the termination of a task that
// never ran (TDoTerminateThread). Both free themselves when their body ends.
#pragma once

#include <mutex>

class TCustomFFmpeg;

// The platform's seven thread priorities.
enum TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical,
};

// The nice level of a priority relative to the thread's normal level (-20 to 19).
int NiceOffsetOf(TThreadPriority priority);

// Gives the calling thread the nice level of `priority`, relative to its level on entry. A
// level the process may not take (raising needs a privilege) leaves the thread at normal;
// returns whether the requested level was taken.
bool ApplyThreadPriority(TThreadPriority priority);

class TConvertThread {
public:
    // Created suspended; nothing runs before Resume.
    TConvertThread(TCustomFFmpeg* task, TThreadPriority priority);
    TConvertThread(const TConvertThread&) = delete;
    TConvertThread& operator=(const TConvertThread&) = delete;

    TThreadPriority Priority() const { return priority_; }
    bool Suspended() const;
    // Starts the body once; later calls do nothing. The object frees itself when the body
    // ends, so it must not be used after the task has terminated.
    void Resume();

private:
    ~TConvertThread() = default;
    void Body();

    TCustomFFmpeg* task_;
    TThreadPriority priority_;
    mutable std::mutex mutex_;
    bool suspended_ = true;
};

class TDoTerminateThread {
public:
    // Creates the thread and starts it at once.
    static void Run(TCustomFFmpeg* task);
    TDoTerminateThread(const TDoTerminateThread&) = delete;
    TDoTerminateThread& operator=(const TDoTerminateThread&) = delete;

private:
    explicit TDoTerminateThread(TCustomFFmpeg* task);
    ~TDoTerminateThread() = default;
    void Body();

    TCustomFFmpeg* task_;
};
