// The task's life cycle: creation, the option reset, Start, Execute and the termination.
#include <stdexcept>

#include "FFLoad.h"
#include "FFmpeg.h"
#include "log/FFLog.h"

std::mutex CodecRegistryLock;
std::mutex PreviewLock;

namespace {

int CheckedCapacity(int capacity) {
    if (capacity < MinTaskCapacity || capacity > MaxTaskCapacity)
        throw std::invalid_argument("task capacity must be 1 to 512");
    return capacity;
}

bool LibrariesLoaded() {
    return FFLoader != nullptr && FFLoader->Loaded(EncoderLibraries);
}

} // namespace

TCustomFFmpeg::TCustomFFmpeg(int capacity) : Capacity(CheckedCapacity(capacity)) {
    RaiseOptionErrors = true;
    ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg() {
    Stop(true);
    // A termination thread that is still delivering must be done with the task.
    WaitForEvent(TerminateEvent);
    ReleaseFiles();
}

void TCustomFFmpeg::ResetOptions() {
    if (!LibrariesLoaded())
        return;
    static_cast<TOptionState&>(*this) = TOptionState{};
    InitOptionContext();
    {
        std::lock_guard guard(threadLock_);
        Thread = nullptr;
    }
    OpenEncoders.clear();
    OpenDecoders.clear();
    FrameHooks.Clear();
    LastPreviewTime = 0;
    {
        std::lock_guard guard(PreviewLock);
        PreviewFlags = 0;
        PreviewFlagsChanged = false;
    }
    Running = false;
    StopRequested = false;
    Finished = false;
    Terminated = false;
    ErrorOccurred = false;
    ExpectedDuration = -1;
}

TConvertThread* TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
    {
        std::lock_guard guard(threadLock_);
        if (Running || Terminated || terminationPending_)
            return nullptr;
    }
    try {
        // With OnOpenFiles the run opens the files itself and checks them then.
        if (!OnOpenFiles && OutputCount() <= 0) {
            ReleaseFiles();
            throw FFmpegException("At least one output file must be specified");
        }
        if (!OnOpenFiles && InputCount() == 0) {
            ReleaseFiles();
            throw FFmpegException("At least one input file must be specified");
        }
    } catch (const std::exception& e) {
        ReportException(e);
        DoTerminate();
        return nullptr;
    }
    Running = true;
    StopRequested = false;
    Finished = false;
    Terminated = false;
    if (!threaded) {
        Execute();
        return nullptr;
    }
    // Reset here rather than when the body starts, so that a Stop with wait that comes
    // before the body runs still waits for its end.
    RunEvent.Reset();
    auto* thread = new TConvertThread(this, priority);
    std::lock_guard guard(threadLock_);
    Thread = thread;
    return thread;
}

void TCustomFFmpeg::Guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportException("Unknown exception");
    }
}

void TCustomFFmpeg::Execute() {
    Finished = false;
    // A task stopped before it ran opens nothing and ends as stopped.
    bool opened = !(OnOpenFiles && StopRequested);
    if (OnOpenFiles && opened)
        Guarded([this, &opened] {
            opened = false;
            OnOpenFiles(*this);
            if (OutputCount() <= 0)
                throw FFmpegException("At least one output file must be specified");
            if (InputCount() == 0)
                throw FFmpegException("At least one input file must be specified");
            opened = true;
        });
    if (opened)
        Guarded([this] { Transcode(); });
    Guarded([this] { CloseOpenEncoders(); });
    Guarded([this] { CloseOpenDecoders(); });
    Guarded([this] { ReleaseFiles(); });
    Guarded([this] { DoTerminate(); });
}

void TCustomFFmpeg::DoTerminate() {
    {
        // Under the lock, and Terminated before Running: a Cancel that sees the task no
        // longer running then also sees it terminated and starts no second termination.
        std::lock_guard guard(threadLock_);
        Terminated = true;
        Running = false;
        Thread = nullptr;
    }
    if (OnTerminate)
        OnTerminate(this);
}

void TCustomFFmpeg::ReportException(const std::exception& e) {
    ReportException(e.what());
}

void TCustomFFmpeg::ReportException(const std::string& message) {
    FFLogger()->Log(this, llQuiet, message);
    ErrorMessage = message;
    ErrorOccurred = true;
}
