// Stopping and cancelling a task, and waiting for its threads.
#include <chrono>

#include "FFmpeg.h"
#include "MyUtils.h"

namespace {

constexpr std::chrono::milliseconds WaitSlice{20};

} // namespace

bool TCustomFFmpeg::OnWorkerThread() const {
    const uint32_t worker = workerThreadID_;
    return worker != 0 && worker == CurrentThreadID();
}

// A worker may be waiting for the main thread (events delivered with CallInMainThread), so
// a main thread that waits keeps running those calls.
void TCustomFFmpeg::WaitForEvent(const TManualResetEvent& event) const {
    while (!event.WaitFor(WaitSlice))
        if (IsMainThread())
            ProcessPendingMessages();
}

// RunEvent is reset from Start until the very end of the worker's body, so waiting for it
// also covers a worker that has already left the task's Thread field.
void TCustomFFmpeg::Stop(bool wait) {
    StopRequested = true;
    bool withThread = false;
    {
        std::lock_guard guard(threadLock_);
        withThread = Thread != nullptr;
        if (withThread && Thread->Suspended())
            Thread->Resume();
    }
    if (!withThread) {
        // Cancels a blocking open in progress on another thread at its next interrupt poll.
        IOStartTime = 0;
    }
    // The worker itself cannot wait for its own end.
    if (wait && !OnWorkerThread())
        WaitForEvent(RunEvent);
}

void TCustomFFmpeg::Cancel(bool wait) {
    if (Running) {
        Stop(wait);
        return;
    }
    {
        std::lock_guard guard(threadLock_);
        if (Terminated)
            return;
        if (!terminationPending_) {
            // Reset before the thread starts, so that the wait below waits for its end.
            terminationPending_ = true;
            TerminateEvent.Reset();
            TDoTerminateThread::Run(this);
        }
    }
    if (wait)
        WaitForEvent(TerminateEvent);
}
