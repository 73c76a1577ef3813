// The worker and termination threads of a task, on std::thread, and thread priorities as
// per-thread nice levels.
#include "ConvertThread.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "FFmpeg.h"
#include "MyUtils.h"

namespace {

constexpr int NiceOffsets[] = {19, 10, 5, 0, -5, -10, -20};

} // namespace

int NiceOffsetOf(TThreadPriority priority) {
    return NiceOffsets[priority];
}

// On Linux a nice level belongs to the thread (PRIO_PROCESS with a thread id).
bool ApplyThreadPriority(TThreadPriority priority) {
    const id_t self = CurrentThreadID();
    errno = 0;
    const int normal = getpriority(PRIO_PROCESS, self);
    if (normal == -1 && errno != 0)
        return false;
    const int wanted = std::clamp(normal + NiceOffsetOf(priority), -20, 19);
    if (wanted == normal)
        return true;
    return setpriority(PRIO_PROCESS, self, wanted) == 0;
}

TConvertThread::TConvertThread(TCustomFFmpeg* task, TThreadPriority priority)
    : task_(task), priority_(priority) {}

bool TConvertThread::Suspended() const {
    std::lock_guard guard(mutex_);
    return suspended_;
}

void TConvertThread::Resume() {
    std::lock_guard guard(mutex_);
    if (!suspended_)
        return;
    suspended_ = false;
    std::thread([this] { Body(); }).detach();
}

void TConvertThread::Body() {
    // Resume holds the lock until it has returned; the object is freed at the end of the
    // body, so the body must not overtake it.
    { std::lock_guard guard(mutex_); }
    ApplyThreadPriority(priority_);
    TCustomFFmpeg* task = task_;
    task->workerThreadID_ = CurrentThreadID();
    try {
        task->Execute();
    } catch (...) {
        // Execute reports what its steps raise; nothing may escape the thread.
    }
    task->workerThreadID_ = 0;
    // The task may be freed as soon as RunEvent is set: nothing touches it afterwards.
    task->RunEvent.Set();
    delete this;
}

TDoTerminateThread::TDoTerminateThread(TCustomFFmpeg* task) : task_(task) {}

void TDoTerminateThread::Run(TCustomFFmpeg* task) {
    auto* thread = new TDoTerminateThread(task);
    std::thread([thread] { thread->Body(); }).detach();
}

void TDoTerminateThread::Body() {
    TCustomFFmpeg* task = task_;
    try {
        task->DoTerminate();
    } catch (const std::exception& e) {
        task->ReportException(e);
    } catch (...) {
        task->ReportException("Unknown exception");
    }
    task->TerminateEvent.Set();
    delete this;
}
