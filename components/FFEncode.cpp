// The encoder component: libraries, the task queue, the run state and the relays.
#include "FFEncode.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "FFLoad.h"
#include "TextUtils.h"
#include "binding/AVFormatStubs.h"
#include "log/FFLog.h"
#include "utils/FFUtils.h"

TCustomEncoder::TCustomEncoder()
    : decoder_(std::make_unique<TFFDecoder>()),
      delivery_(std::make_unique<TTerminateDelivery>(
          [this](const TTerminateInfo& info) { DeliverTermination(info); },
          [this] { tasks_.ReapEnded(); })) {}

// Every lock is entered and left once at the end, so that a relay still inside one finishes
// before the component is gone.
TCustomEncoder::~TCustomEncoder() {
    OnAudioHook.Clear();
    OnBeforeFindStreamInfo.Clear();
    OnVideoInputHook.Clear();
    OnVideoOutputHook.Clear();
    OnPreviewBitmap.Clear();
    OnProgress.Clear();
    OnTerminate.Clear();
    tasks_.Clear();
    decoder_.reset();
    delivery_.reset();
    { std::lock_guard guard(AudioHookLock); }
    { std::lock_guard guard(PreviewBitmapLock); }
    { std::lock_guard guard(ProgressLock); }
    { std::lock_guard guard(TerminateLock); } // no task is left to hold it
    { std::lock_guard guard(VideoHookLock); }
}

std::string TCustomEncoder::LastErrMsg() const {
    std::lock_guard guard(errMutex_);
    return lastErrMsg_;
}

void TCustomEncoder::SetLastErrMsg(const std::string& msg) {
    std::lock_guard guard(errMutex_);
    lastErrMsg_ = msg;
}

// A thread that holds the lock may be waiting for the main thread (a task that cannot start
// logs its failure while the next task is being started), so the main thread keeps serving
// main-thread calls while it waits for the lock.
std::unique_lock<std::recursive_mutex> TCustomEncoder::LockTermination() const {
    std::unique_lock lock(TerminateLock, std::defer_lock);
    if (!IsMainThread()) {
        lock.lock();
        return lock;
    }
    while (!lock.try_lock()) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return lock;
}

// ---- libraries

bool TCustomEncoder::AVLibLoaded() const {
    return FFLoader != nullptr && FFLoader->Loaded(EncoderLibraries);
}

bool TCustomEncoder::LoadAVLib(const std::string& folder) {
    if (FFLoader == nullptr) {
        SetLastErrMsg("library loader not available");
        return false;
    }
    FFLoader->SetLibraryPath(folder);
    if (FFLoader->Load(EncoderLibraries))
        return true;
    SetLastErrMsg(FFLoader->LastErrMsg());
    return false;
}

// ---- the task queue

void TCustomEncoder::CheckNotWorking(const std::string& name) const {
    if (working_)
        throw std::logic_error(FormatText("Cannot %s while working.", name.c_str()));
}

bool TCustomEncoder::AllFinished() const {
    auto guard = LockTermination();
    return allFinished_;
}

int TCustomEncoder::AddTask(const std::string& fileName) {
    return AddTaskWith(fileName, nullptr);
}

int TCustomEncoder::AddTask(const std::string& fileName, const TInputOptions& options) {
    return AddTaskWith(fileName, &options);
}

int TCustomEncoder::AddTaskWith(const std::string& fileName, const TInputOptions* options) {
    CheckNotWorking("AddTask");
    // A task cannot even reset its options without the libraries.
    if (!AVLibLoaded()) {
        SetLastErrMsg("Media libraries not loaded.");
        return -1;
    }
    std::optional<TInputOptions> copy;
    if (options != nullptr) {
        copy = *options;
        if (copy->FileName.empty())
            copy->FileName = fileName;
    }
    if (openOnStart_) {
        // The job waits as its record; its task is made when it starts.
        if (!CheckDeferredInput(fileName))
            return -1;
        try {
            auto job = std::make_unique<TWaitingJob>();
            job->RaiseOptionErrors = RaiseOptionErrors.load();
            job->Inputs.push_back({fileName, std::move(copy)});
            return tasks_.AddWaiting(std::move(job));
        } catch (const std::exception& e) {
            SetLastErrMsg(e.what());
            return -1;
        }
    }
    try {
        auto task = std::make_unique<TFFmpeg>(this, TaskCapacity);
        task->RaiseOptionErrors = RaiseOptionErrors.load();
        WireTask(*task);
        const int input = task->InputCount();
        task->InputOptions.resize(static_cast<size_t>(input) + 1);
        if (copy) {
            task->InputOptions[static_cast<size_t>(input)] = copy;
            task->ApplyInputOptions(*copy);
        }
        task->IOTimeout = TaskIOTimeout;
        if (!task->OpenInputFile(fileName)) {
            SetLastErrMsg(task->LastError);
            return -1;
        }
        if (TFFDecoder* decoder = task->GetDecoder(input))
            decoder->SetFormatContext(task->InputContainer(input));
        return tasks_.Add(std::move(task));
    } catch (const std::exception& e) {
        SetLastErrMsg(e.what());
        return -1;
    }
}

void TCustomEncoder::WireTask(TFFmpeg& task) {
    TFFmpeg* t = &task;
    task.Verbose = TaskVerbose;
    {
        std::lock_guard guard(PreviewLock);
        task.PreviewFlags = static_cast<uint8_t>((preview_ ? 1 : 0) | (previewBitmap_ ? 2 : 0));
    }
    task.OnBeforeFindStreamInfo = [t](TCustomFFmpeg* sender, AVFormatContext* context) {
        if (TCustomEncoder* owner = t->Owner())
            owner->BeforeFindStreamInfoRelay(sender, context);
    };
    task.OnProgress = [t](TCustomFFmpeg* sender, int fileIndex, int64_t totalDuration,
                          int64_t currentDuration, int64_t currentSize, float bitRate,
                          float quality, int fps, int frameNumber) {
        if (TCustomEncoder* owner = t->Owner())
            owner->ProgressRelay(sender, fileIndex, totalDuration, currentDuration, currentSize,
                                 bitRate, quality, fps, frameNumber);
    };
    task.OnTerminate = [t](TCustomFFmpeg* sender) {
        if (TCustomEncoder* owner = t->Owner())
            owner->TaskTerminated(sender);
    };
    task.OnPreviewBitmap = [t](TCustomFFmpeg* sender, TBitmap* bitmap, int64_t pts, int number) {
        if (TCustomEncoder* owner = t->Owner())
            owner->PreviewBitmapRelay(sender, bitmap, number, pts);
    };
}

// The task opens the job's files on its worker when it runs (OpenDeferredFiles).
std::shared_ptr<TFFmpeg> TCustomEncoder::MakeStartedTask(TWaitingJob& job) {
    auto task = std::make_shared<TFFmpeg>(this, TaskCapacity);
    TFFmpeg* t = task.get();
    task->RaiseOptionErrors = job.RaiseOptionErrors;
    WireTask(*task);
    task->DeferredInputs = std::move(job.Inputs);
    task->DeferredOutputs = std::move(job.Outputs);
    task->EndHook = std::move(job.EndHook);
    task->OnOpenFiles = [t](TCustomFFmpeg&) {
        if (TCustomEncoder* owner = t->Owner())
            owner->OpenDeferredFiles(*t);
    };
    return task;
}

// Only what needs no open file: a local file that cannot be read fails as its open would.
bool TCustomEncoder::CheckDeferredInput(const std::string& fileName) {
    if (fileName.find("://") != std::string::npos)
        return true;
    if (access(fileName.c_str(), R_OK) != 0) {
        SetLastErrMsg(FormatErrorMessage(fileName, AVERROR(errno)));
        return false;
    }
    return true;
}

// The output's format must be known and its folder writable; the file itself is created when
// the task starts.
bool TCustomEncoder::CheckDeferredOutput(const std::string& fileName,
                                         const TOutputOptions* options) {
    const std::string forced = options != nullptr ? options->ForceFormat : std::string();
    if (forced.empty() && ff::av_guess_format(nullptr, fileName.c_str(), nullptr) == nullptr) {
        SetLastErrMsg(
            FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()));
        return false;
    }
    if (!forced.empty() && ff::av_guess_format(forced.c_str(), nullptr, nullptr) == nullptr) {
        SetLastErrMsg(FormatText("Requested output format '%s' is not a suitable output format",
                                 forced.c_str()));
        return false;
    }
    if (fileName.find("://") != std::string::npos)
        return true;
    const size_t slash = fileName.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : fileName.substr(0, slash + 1);
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        SetLastErrMsg(FormatErrorMessage(fileName, AVERROR(errno)));
        return false;
    }
    return true;
}

// On the task's worker: the inputs in order, then the outputs, as AddTask and SetOutputFile
// would have opened them; the first failure raises its message.
void TCustomEncoder::OpenDeferredFiles(TFFmpeg& task) {
    task.PrepareOpening();
    task.IOTimeout = TaskIOTimeout;
    auto inputs = std::move(task.DeferredInputs);
    auto outputs = std::move(task.DeferredOutputs);
    task.DeferredInputs.clear();
    task.DeferredOutputs.clear();
    for (const auto& input : inputs) {
        task.InputOptions.push_back(input.Options);
        if (input.Options)
            task.ApplyInputOptions(*input.Options);
        if (!task.OpenInputFile(input.FileName))
            throw FFmpegException(task.LastError);
    }
    for (auto& output : outputs) {
        const size_t slot = static_cast<size_t>(task.OutputCount());
        task.OutputOptions.resize(std::max(task.OutputOptions.size(), slot + 1));
        OpenOutputOf(task, slot, output.FileName, output.Options ? &*output.Options : nullptr);
        if (task.OutputCount() <= static_cast<int>(slot))
            throw FFmpegException(task.LastError);
    }
}

// Applies the record (or the pending options) and creates the output in `slot`; on failure
// LastError holds the reason and the slot's record is dropped.
void TCustomEncoder::OpenOutputOf(TFFmpeg& task, size_t slot, const std::string& fileName,
                                  const TOutputOptions* options) {
    task.LastError.clear();
    int result = -1;
    if (options != nullptr) {
        task.OutputOptions[slot] = *options;
        result =
            task.ApplyOutputOptions(fileName, *options, [this, &task](const TOutputOptions& o) {
                WireHookRelays(task, o);
            });
    } else {
        task.OutputOptions[slot].reset();
        result = task.CreateOutputFile(fileName, false);
    }
    if (result < 0) {
        if (task.LastError.empty())
            task.LastError = "Cannot create the output " + fileName;
        task.OutputOptions[slot].reset();
    }
}

bool TCustomEncoder::SetOutputFile(int index, const std::string& fileName) {
    return SetOutputFileWith(index, fileName, nullptr);
}

bool TCustomEncoder::SetOutputFile(int index, const std::string& fileName,
                                   const TOutputOptions& options) {
    return SetOutputFileWith(index, fileName, &options);
}

// The hooks the record asks for reach their relays.
void TCustomEncoder::WireHookRelays(TFFmpeg& task, const TOutputOptions& options) {
    TFFmpeg* t = &task;
    if (options.VideoInputHook)
        task.OnVideoInputHook = [t](TCustomFFmpeg* sender, TBitmap* bitmap, int64_t pts, int number,
                                    bool& update, bool& stopHook) {
            if (TCustomEncoder* owner = t->Owner())
                owner->VideoInputHookRelay(sender, bitmap, number, pts, update, stopHook);
        };
    if (options.VideoOutputHook)
        task.OnVideoOutputHook = [t](TCustomFFmpeg* sender, TBitmap* bitmap, int64_t pts,
                                     int number, bool& update, bool& stopHook) {
            if (TCustomEncoder* owner = t->Owner())
                owner->VideoOutputHookRelay(sender, bitmap, number, pts, update, stopHook);
        };
    if (options.AudioHook)
        task.OnAudioHook = [t](TCustomFFmpeg* sender, uint8_t* samples, int64_t pts, int size,
                               int sampleRate, int channels, AVSampleFormat sampleFormat) {
            if (TCustomEncoder* owner = t->Owner())
                owner->AudioHookRelay(sender, pts, samples, size, sampleRate, channels,
                                      sampleFormat);
        };
}

// With a record the task applies it and creates the output (then its extra streams and the
// join); without one the output gets the pending options only. A job opened on start keeps
// the output in its record for then.
bool TCustomEncoder::SetOutputFileWith(int index, const std::string& fileName,
                                       const TOutputOptions* options) {
    CheckNotWorking("SetOutputFile");
    TWaitingJob* job = tasks_.Waiting(index);
    TFFmpeg* task = job == nullptr ? tasks_.Get(index) : nullptr;
    if (job == nullptr && task == nullptr)
        throw std::out_of_range(FormatText("List index out of bounds (%d)", index));
    const int outputs =
        job != nullptr ? static_cast<int>(job->Outputs.size()) : task->OutputCount();
    const int capacity = job != nullptr ? TaskCapacity : task->Capacity;
    if (outputs >= capacity) {
        SetLastErrMsg(FormatText("max output files %d reached", capacity));
        return false;
    }
    std::optional<TOutputOptions> copy;
    if (options != nullptr) {
        copy = *options;
        if (copy->FileName.empty())
            copy->FileName = fileName;
    }
    if (job != nullptr) {
        job->RaiseOptionErrors = RaiseOptionErrors.load();
        if (!CheckDeferredOutput(fileName, options))
            return false;
        job->Outputs.push_back({fileName, std::move(copy)});
        return true;
    }
    task->RaiseOptionErrors = RaiseOptionErrors.load();
    const size_t slot = static_cast<size_t>(outputs);
    task->OutputOptions.resize(std::max(task->OutputOptions.size(), slot + 1));
    try {
        task->IOTimeout = TaskIOTimeout;
        OpenOutputOf(*task, slot, fileName, copy ? &*copy : nullptr);
        if (task->OutputCount() <= static_cast<int>(slot)) {
            SetLastErrMsg(task->LastError);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        SetLastErrMsg(e.what());
        if (static_cast<size_t>(task->OutputCount()) <= slot)
            task->OutputOptions[slot].reset();
        return false;
    }
}

void TCustomEncoder::RemoveTask(int index) {
    CheckNotWorking("RemoveTask");
    if (!tasks_.Delete(index))
        throw std::out_of_range(FormatText("List index out of bounds (%d)", index));
}

void TCustomEncoder::StartTask(int count) {
    CheckNotWorking("StartTask");
    auto lock = LockTermination();
    FinishedCount = 0;
    NextIndex = 0;
    Remaining = TaskCount();
    allFinished_ = false;
    Threaded = count > 0;
    jobsAtATime_ = Threaded ? count : 1;
    working_ = true;
    if (Threaded) {
        // The started tasks wait for the lock before they can report their end.
        while (Remaining > 0) {
            StartNextTask();
            if (--count == 0)
                break;
        }
        return;
    }
    lock.unlock();
    for (;;) {
        {
            auto guard = LockTermination();
            if (Remaining <= 0)
                break;
        }
        StartNextTask();
    }
}

// Threaded, the task starts while the lock is held; otherwise it runs to its end here,
// outside the lock, and reports its end through TaskTerminated on this thread. A job opened
// on start gets its engine task now.
void TCustomEncoder::StartNextTask() {
    auto lock = LockTermination();
    if (Remaining <= 0)
        return;
    --Remaining;
    const int index = NextIndex;
    ++NextIndex;
    std::shared_ptr<TFFmpeg> task = tasks_.TaskAt(index);
    if (!task) {
        std::unique_ptr<TWaitingJob> job = tasks_.TakeWaiting(index);
        if (!job)
            return;
        try {
            task = MakeStartedTask(*job);
        } catch (const std::exception& e) {
            std::vector<TFFmpegList::TCancelledJob> failed;
            failed.push_back({index, std::move(job)});
            EndJobsWithoutTask(failed, e.what());
            return;
        }
        tasks_.Place(index, task);
    }
    task->ProgressInterval = static_cast<int64_t>(progressInterval_.load()) * 1000;
    // The cores shared among the jobs that will run beside this one (fewer at a run's tail).
    task->ThreadsAvailable = ThreadsPerJob(std::min(jobsAtATime_, TaskCount() - FinishedCount));
    const TThreadPriority priority = threadPriority_.load();
    if (Threaded) {
        if (TConvertThread* thread = task->Start(true, priority))
            thread->Resume();
        return;
    }
    lock.unlock();
    task->Start(false, priority);
    // The task has ended on this thread: a task opened on start goes now.
    task.reset();
    tasks_.ReapEnded();
}

// Running tasks are stopped; the jobs that never got a task end here, in list order, their
// terminations queued like any other.
void TCustomEncoder::Stop(bool wait) {
    {
        auto guard = LockTermination();
        Remaining = 0;
    }
    if (working_)
        tasks_.CancelAll(wait, [this](std::vector<TFFmpegList::TCancelledJob>& jobs) {
            EndJobsWithoutTask(jobs);
        });
}

// An empty run has nothing left to end, so it may be cleared although it never finishes.
void TCustomEncoder::ClearTasks() {
    {
        auto guard = LockTermination();
        if (working_ && !allFinished_ && TaskCount() > 0)
            throw std::logic_error("Cannot ClearTasks while working.");
    }
    tasks_.Clear();
    SetLastErrMsg("");
    auto guard = LockTermination();
    FinishedCount = 0;
    NextIndex = -1;
    Remaining = 0;
    allFinished_ = false;
    Threaded = false;
    working_ = false;
}

void TCustomEncoder::DeliverTermination(const TTerminateInfo& info) {
    OnTerminate.Call(this, info);
}

void TCustomEncoder::RunEndHook(const std::function<void(TTerminateInfo&)>& hook,
                                TTerminateInfo& info) {
    try {
        if (hook)
            hook(info);
    } catch (const std::exception& e) {
        FFLogger()->Log(this, llError, e.what());
    }
}

// In threaded mode (and outside a run) the delivery thread takes a copy of the record (and,
// with `tidy`, frees ended tasks afterwards); in a run on the caller's thread the event is
// called here.
void TCustomEncoder::CountTermination(const TTerminateInfo& info, bool tidy) {
    const bool queued = Threaded || !working_;
    if (OnTerminate.Assigned()) {
        terminateInfo_ = info;
        if (queued)
            delivery_->Push(terminateInfo_);
        else
            DeliverTermination(terminateInfo_);
    } else if (queued && tidy) {
        delivery_->Push(std::nullopt);
    }
    ++FinishedCount;
}

// The task-end hook runs first, outside the lock.
void TCustomEncoder::TaskTerminated(TCustomFFmpeg* task) {
    if (task == nullptr) {
        auto guard = LockTermination();
        AllTasksDone();
        return;
    }
    // A task ends once; a second report of the same end changes nothing.
    const TFFmpegList::TEnd end = tasks_.MarkEnded(task);
    if (end.Index < 0)
        return;
    TTerminateInfo info;
    info.TaskIndex = end.Index;
    info.Finished = task->Finished;
    info.Exception = task->ErrorOccurred;
    info.ExceptionMsg = task->ErrorMessage;
    info.OutputDuration = task->OutputDuration;
    auto* own = dynamic_cast<TFFmpeg*>(task);
    if (own != nullptr)
        RunEndHook(own->EndHook, info);
    // A task opened on start keeps nothing of its job once it has ended, and the task itself
    // is freed once its thread is done (ReapEnded): a long batch holds no more per ended job
    // than per waiting one.
    if (own != nullptr && end.OpenedOnStart)
        own->ReleaseEndedJob();
    tasks_.Retire(end.Index);
    auto guard = LockTermination();
    CountTermination(info, end.OpenedOnStart);
    if (Remaining < 1) {
        if (FinishedCount >= TaskCount() && !allFinished_)
            AllTasksDone();
    } else if (Threaded) {
        StartNextTask();
    }
}

// A job without a task ends as a task that never ran: not finished, no exception (unless its
// task could not be made).
void TCustomEncoder::EndJobsWithoutTask(std::vector<TFFmpegList::TCancelledJob>& jobs,
                                        const std::string& error) {
    std::vector<TTerminateInfo> infos;
    infos.reserve(jobs.size());
    for (TFFmpegList::TCancelledJob& job : jobs) {
        TTerminateInfo info;
        info.TaskIndex = job.Index;
        if (!error.empty()) {
            FFLogger()->Log(this, llQuiet, error);
            info.Exception = true;
            info.ExceptionMsg = error;
        }
        if (job.Job)
            RunEndHook(job.Job->EndHook, info);
        job.Job.reset();
        infos.push_back(std::move(info));
    }
    auto guard = LockTermination();
    for (const TTerminateInfo& info : infos)
        CountTermination(info, false);
    if (Remaining < 1 && FinishedCount >= TaskCount() && !allFinished_)
        AllTasksDone();
}

void TCustomEncoder::SetOpenOnStart(bool on) {
    CheckNotWorking("SetOpenOnStart");
    openOnStart_ = on;
}

void TCustomEncoder::SetTaskEndHook(int index, std::function<void(TTerminateInfo&)> hook) {
    CheckNotWorking("SetTaskEndHook");
    if (TWaitingJob* job = tasks_.Waiting(index)) {
        job->EndHook = std::move(hook);
        return;
    }
    TFFmpeg* task = tasks_.Get(index);
    if (task == nullptr)
        throw std::out_of_range(FormatText("List index out of bounds (%d)", index));
    task->EndHook = std::move(hook);
}

// The final delivery is queued behind every per-task one. The run counts as finished before
// it is handed over, so that its handler may clear the tasks.
void TCustomEncoder::AllTasksDone() {
    auto guard = LockTermination();
    if (OnTerminate.Assigned()) {
        terminateInfo_ = TTerminateInfo();
        terminateInfo_.Finished = true;
        if (Threaded || !working_) {
            allFinished_ = true;
            delivery_->Push(terminateInfo_);
            return;
        }
        DeliverTermination(terminateInfo_);
    }
    allFinished_ = true;
}

// ---- relays

void TCustomEncoder::VideoHookRelay(TVideoHookEvent& event, TCustomFFmpeg* task, TBitmap* bitmap,
                                    int frameNumber, int64_t pts, bool& update, bool& stopHook) {
    if (!event.Assigned())
        return;
    // Lock order: VideoHookLock, then the bitmap's canvas lock.
    std::lock_guard guard(VideoHookLock);
    std::unique_lock<std::mutex> canvas;
    if (bitmap != nullptr)
        canvas = std::unique_lock(bitmap->CanvasLock());
    hookInfo_.TaskIndex = tasks_.IndexOf(task);
    hookInfo_.Bitmap = bitmap;
    hookInfo_.FrameNumber = frameNumber;
    hookInfo_.PTS = pts;
    hookInfo_.Update = update;
    hookInfo_.StopHook = stopHook;
    event.Call(this, &hookInfo_);
    update = hookInfo_.Update;
    stopHook = hookInfo_.StopHook;
}

void TCustomEncoder::VideoInputHookRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                         int64_t pts, bool& update, bool& stopHook) {
    VideoHookRelay(OnVideoInputHook, task, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomEncoder::VideoOutputHookRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                          int64_t pts, bool& update, bool& stopHook) {
    VideoHookRelay(OnVideoOutputHook, task, bitmap, frameNumber, pts, update, stopHook);
}

void TCustomEncoder::PreviewBitmapRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                        int64_t pts) {
    if (!OnPreviewBitmap.Assigned())
        return;
    std::unique_lock guard(PreviewBitmapLock);
    previewInfo_.TaskIndex = tasks_.IndexOf(task);
    previewInfo_.Bitmap = bitmap;
    previewInfo_.FrameNumber = frameNumber;
    previewInfo_.PTS = pts;
    // The handler reads the bitmap under its canvas lock. Lock order: PreviewBitmapLock, then
    // the canvas lock; on the main thread the canvas lock alone, taken there, so that this
    // thread waits for the main thread holding neither.
    const auto call = [this, bitmap](const TPreviewInfo& info) {
        std::unique_lock<std::mutex> canvas;
        if (bitmap != nullptr)
            canvas = std::unique_lock(bitmap->CanvasLock());
        OnPreviewBitmap.Call(this, info);
    };
    if (!triggerEventInMainThread_) {
        call(previewInfo_);
        return;
    }
    // The main thread gets this report's own copy; the lock is not held while waiting.
    const TPreviewInfo report = previewInfo_;
    guard.unlock();
    CallInMainThread([&call, &report] { call(report); });
}

void TCustomEncoder::ProgressRelay(TCustomFFmpeg* task, int fileIndex, int64_t totalDuration,
                                   int64_t currentDuration, int64_t currentSize, float bitRate,
                                   float quality, int fps, int frameNumber) {
    if (!OnProgress.Assigned())
        return;
    std::unique_lock guard(ProgressLock);
    progressInfo_.TaskIndex = tasks_.IndexOf(task);
    progressInfo_.FileIndex = fileIndex;
    progressInfo_.FrameNumber = frameNumber;
    progressInfo_.FPS = fps;
    progressInfo_.Quality = quality;
    progressInfo_.BitRate = bitRate;
    progressInfo_.CurrentSize = currentSize;
    progressInfo_.CurrentDuration = currentDuration;
    progressInfo_.TotalDuration = totalDuration;
    if (!triggerEventInMainThread_) {
        OnProgress.Call(this, &progressInfo_);
        return;
    }
    // The main thread gets this report's own copy; the lock is not held while waiting.
    TProgressInfo report = progressInfo_;
    guard.unlock();
    CallInMainThread([this, &report] { OnProgress.Call(this, &report); });
}

void TCustomEncoder::AudioHookRelay(TCustomFFmpeg* task, int64_t pts, uint8_t* sample, int size,
                                    int sampleRate, int channels, AVSampleFormat sampleFormat) {
    if (!OnAudioHook.Assigned())
        return;
    std::lock_guard guard(AudioHookLock);
    OnAudioHook.Call(this, tasks_.IndexOf(task), pts, sample, size, sampleRate, channels,
                     sampleFormat);
}

void TCustomEncoder::BeforeFindStreamInfoRelay(TCustomFFmpeg* task,
                                               AVFormatContext* formatContext) {
    OnBeforeFindStreamInfo.Call(task, formatContext);
}

// ---- properties

// Stored first: a job that gets its task meanwhile takes the new value.
void TCustomEncoder::SetPreview(bool on) {
    preview_ = on;
    tasks_.SetPreviewFlag(1, on);
}

void TCustomEncoder::SetPreviewBitmap(bool on) {
    previewBitmap_ = on;
    tasks_.SetPreviewFlag(2, on);
}

void TCustomEncoder::SetProgressInterval(int milliseconds) {
    progressInterval_ = milliseconds > 100 ? milliseconds : 100;
}
