// The encoder component: the one object through which an application converts files. It
// loads the media libraries, keeps one job per AddTask (its input; SetOutputFile adds the
// output), each with an engine task from the start or, opened on start, only while it runs;
// runs the queue (StartTask), relays the tasks' reports into its events with the index of the
// task, and decides when the whole queue has ended. It also owns the prober the application
// uses for reading file facts (Decoder).
//
// Threads: AddTask, SetOutputFile, RemoveTask, ClearTasks, StartTask and Stop belong to the
// application's main thread. Running tasks report from their worker threads: OnProgress and
// OnPreviewBitmap reach the main thread when TriggerEventInMainThread is set (the worker
// waits with a copy of the report, holding no lock); the hooks run on the workers; OnTerminate
// comes from the encoder's delivery thread in threaded mode, one delivery at a time in the order
// the tasks ended, the final one (task index -1) after all others. A run on the caller's thread
// (StartTask(0)) calls OnTerminate on the thread that ends the task, during the termination
// bookkeeping: that handler may not Stop with wait. The component must not be freed from its
// own OnTerminate.
//
// The component lives in its own library target (`encoder`): it sits on the engine, which is
// built after the rest of the media layer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "FFBaseComponent.h"
#include "FFDecode.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "input/Input.h"
#include "output/Output.h"
#include "task/ConvertThread.h"
#include "utils/Bitmap.h"

struct AVFormatContext;

// One progress report of a running task; the record belongs to the component and is
// overwritten by the next report.
struct TProgressInfo {
    int32_t TaskIndex = -1;
    int32_t FileIndex = -1;   // input last read from; -1 in the last report of a run
    int32_t FrameNumber = -1; // -1 without an active video output
    int32_t FPS = -1;
    float Quality = -1.0f;
    float BitRate = 0.0f;        // kbit/s
    int64_t CurrentSize = 0;     // bytes written to the first output
    int64_t CurrentDuration = 0; // microseconds of output written
    int64_t TotalDuration = -1;  // microseconds; -1 when unknown
};
using PProgressInfo = TProgressInfo*;

// The end of one task, or of the whole queue (TaskIndex -1, Finished true).
struct TTerminateInfo {
    int32_t TaskIndex = -1;
    bool Finished = false;  // the run ended without a stop
    bool Exception = false; // the task failed
    std::string ExceptionMsg;
    int64_t OutputDuration = 0; // microseconds of output the task wrote
    std::string Warning;        // what the task-end hook found worth saying; empty when nothing
    std::string Note;           // what the task-end hook found out about a good output
};

// One picture handed to a video hook. Update and StopHook are written back to the task.
struct THookInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    int32_t FrameNumber = 0;
    int64_t PTS = 0;       // microseconds
    bool Update = true;    // convert the bitmap back into the picture
    bool StopHook = false; // call this hook no more in this run
};
using PHookInfo = THookInfo*;

// One preview picture of a running task.
struct TPreviewInfo {
    int32_t TaskIndex = -1;
    TBitmap* Bitmap = nullptr;
    int32_t FrameNumber = 0;
    int64_t PTS = 0; // microseconds
};

// A published event: at most one callback, an object's operation or any callable. Assign and
// Clear may be called while tasks run; once they return, the old callback is not running on
// another thread and is never called again. A main thread that waits for a call in progress
// keeps serving main-thread calls, so a callback that waits for the main thread can end.
template <typename... Args> class TEvent {
public:
    using THandler = std::function<void(Args...)>;

    TEvent() = default;
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Assign(THandler handler);
    template <typename T> void Assign(T* object, void (T::*method)(Args...)) {
        Assign([object, method](Args... args) { (object->*method)(args...); });
    }
    void Clear() { Assign(nullptr); }
    bool Assigned() const {
        std::lock_guard guard(mutex_);
        return static_cast<bool>(handler_);
    }
    // Calls the callback; false when none is assigned. What the callback raises reaches the
    // caller.
    bool Call(Args... args) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable idle_;
    THandler handler_;
    mutable std::vector<std::thread::id> callers_; // threads inside a call
};

using TProgressEvent = TEvent<void* /*Sender*/, PProgressInfo /*AProgressInfo*/>;
using TTerminateEvent = TEvent<void* /*Sender*/, const TTerminateInfo& /*ATerminateInfo*/>;
// ASample: the first plane of the samples the task reports; ASize its bytes.
using TAudioHookEvent =
    TEvent<void* /*Sender*/, int /*ATaskIndex*/, int64_t /*APTS*/, uint8_t* /*ASample*/,
           int /*ASize*/, int /*ASampleRate*/, int /*AChannels*/, AVSampleFormat /*ASampleFormat*/>;
using TVideoHookEvent = TEvent<void* /*Sender*/, PHookInfo /*AHookInfo*/>;
using TPreviewBitmapEvent = TEvent<void* /*Sender*/, const TPreviewInfo& /*APreviewInfo*/>;
// Sender is the task that opens the input.
using TBeforeFindStreamInfoEvent = TEvent<void* /*Sender*/, AVFormatContext* /*AFormatContext*/>;

class TCustomEncoder;

// A file of a job whose files are opened when it starts: its name and the description it was
// given (none: the pending options only).
template <typename TOptions> struct TDeferredFile {
    std::string FileName;
    std::optional<TOptions> Options;
};

// What a job opened on start holds while it waits: its descriptions, its end hook and the
// option-error setting its task gets. Its engine task is made only when the job starts.
struct TWaitingJob {
    std::vector<TDeferredFile<TInputOptions>> Inputs;
    std::vector<TDeferredFile<TOutputOptions>> Outputs;
    std::function<void(TTerminateInfo&)> EndHook;
    bool RaiseOptionErrors = true;
};

// An engine task of the encoder component: it knows its encoder, keeps a prober per input and
// the descriptions its inputs and outputs were made from.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg(TCustomEncoder* owner, int capacity);
    // Detaches the task from its encoder first, so that nothing the task reports while it is
    // torn down (its stop, its termination) reaches the encoder.
    ~TFFmpeg() override;

    // Engine tasks of the component that exist in the process now.
    static int Instances() { return instances_.load(); }

    // The owning encoder; null once the task is being torn down.
    TCustomEncoder* Owner() const { return owner_.load(); }
    // The prober of an input slot, created on first use (null for a slot out of range).
    TFFDecoder* GetDecoder(int inputIndex);

    // The descriptions given for each input and output slot, kept as given (sized to the
    // slots in use; a task opened on start has them while it runs).
    std::vector<std::optional<TInputOptions>> InputOptions;
    std::vector<std::optional<TOutputOptions>> OutputOptions;

    // The files waiting to be opened when the task starts, in the order given.
    std::vector<TDeferredFile<TInputOptions>> DeferredInputs;
    std::vector<TDeferredFile<TOutputOptions>> DeferredOutputs;

    // What the encoder calls when the task ends (SetTaskEndHook).
    std::function<void(TTerminateInfo&)> EndHook;

    // Drops the descriptions and the end hook of a task opened on start once it has ended.
    void ReleaseEndedJob() {
        EndHook = nullptr;
        InputOptions = {};
        OutputOptions = {};
        DeferredInputs = {};
        DeferredOutputs = {};
        ResetKeptOutputOptions();
    }
    void PrepareOpening() {
        if (!OptionContext)
            InitOptionContext();
    }

private:
    friend class TCustomEncoder;
    friend class TFFmpegList;
    // The opened container of an input slot.
    AVFormatContext* InputContainer(int inputIndex) const;

    static std::atomic<int> instances_;
    std::atomic<TCustomEncoder*> owner_;
    std::vector<std::unique_ptr<TFFDecoder>> decoders_;
    int listIndex_ = -1; // where the list last saw the task (a hint for IndexOf)
};

// The ordered list of the encoder's jobs. A job added to open at once has its engine task
// from the start. A job opened on start is a light record (TWaitingJob) until it starts; its
// task then lives while it runs and is freed soon after it has ended (ReapEnded), so that a
// long queue holds engine tasks only for the jobs running at a time.
//
// Locks: the list's own lock is taken last (inside TerminateLock and PreviewLock, never
// around a wait); no task is freed while it is held.
class TFFmpegList {
public:
    TFFmpegList() = default;
    ~TFFmpegList();
    TFFmpegList(const TFFmpegList&) = delete;
    TFFmpegList& operator=(const TFFmpegList&) = delete;

    int Add(std::unique_ptr<TFFmpeg> task);           // the new index
    int AddWaiting(std::unique_ptr<TWaitingJob> job); // the new index
    // The engine task of a job while it has one; null for a job without one or an index out
    // of range.
    TFFmpeg* Get(int index) const;
    std::shared_ptr<TFFmpeg> TaskAt(int index) const;
    // The record of a job that waits to be opened on start; null otherwise. Main thread, not
    // while working.
    TWaitingJob* Waiting(int index) const;
    // Takes the record of a waiting job off the list (the job counts as started) and places
    // the task made from it; null when the job does not wait.
    std::unique_ptr<TWaitingJob> TakeWaiting(int index);
    void Place(int index, std::shared_ptr<TFFmpeg> task);
    int IndexOf(const TCustomFFmpeg* task) const; // -1 when not listed
    int Count() const;
    // Jobs that hold an engine task now.
    int EngineTaskCount() const;
    // Frees the job; the ones above it move down. False for an index out of range.
    bool Delete(int index);
    // Frees every job and waits until tasks being freed elsewhere (ReapEnded) are gone.
    void Clear();

    // The end of a listed task that has not ended before: its index, and whether it was
    // opened on start. Index -1: the task is not listed or has ended already.
    struct TEnd {
        int Index = -1;
        bool OpenedOnStart = false;
    };
    TEnd MarkEnded(const TCustomFFmpeg* task);
    // Lets the next ReapEnded free the task of an ended job opened on start. Called once the
    // ending thread no longer touches the task's own (TFFmpeg) parts, which its destructor
    // frees before it waits for that thread.
    void Retire(int index);
    // Frees the tasks of ended jobs opened on start, outside the lock (each waits for its
    // worker to finish first).
    void ReapEnded();

    // A waiting job taken off the list by CancelAll.
    struct TCancelledJob {
        int Index = -1;
        std::unique_ptr<TWaitingJob> Job;
    };
    // Cancel of every task, in list order; the jobs that wait to be opened on start (and so
    // never ran) are taken off the list and handed to `endWaiting` in list order, each run of
    // them before the next task is cancelled.
    void CancelAll(bool wait,
                   const std::function<void(std::vector<TCancelledJob>&)>& endWaiting = {});
    // Sets or clears bit 1 (preview window) or 2 (preview bitmap) in every task's flags.
    void SetPreviewFlag(uint8_t bit, bool on);

private:
    struct TEntry {
        // Open at once: from the start. Opened on start: from its start until reaped.
        std::shared_ptr<TFFmpeg> Task;
        std::unique_ptr<TWaitingJob> Job; // opened on start: until it starts or is cancelled
        bool OpenedOnStart = false;
        bool Ended = false;
    };
    // The listed tasks: a task removed while another thread still works with it (CancelAll)
    // lives until that work is done.
    std::vector<std::shared_ptr<TFFmpeg>> Snapshot() const;
    int IndexOfLocked(const TCustomFFmpeg* task) const;

    mutable std::mutex mutex_;
    std::condition_variable reaped_;
    std::vector<TEntry> entries_;
    std::vector<int> ended_; // indexes of ended jobs opened on start whose task is not freed
    int reaping_ = 0;        // tasks being freed by ReapEnded outside the lock
};

// Delivers terminations on a thread of its own, one at a time, in the order they were pushed,
// and runs `tidy` after each pushed item (with or without a termination).
class TTerminateDelivery {
public:
    TTerminateDelivery(std::function<void(const TTerminateInfo&)> deliver,
                       std::function<void()> tidy);
    // Drops what is still queued and waits for a delivery in progress.
    ~TTerminateDelivery();
    TTerminateDelivery(const TTerminateDelivery&) = delete;
    TTerminateDelivery& operator=(const TTerminateDelivery&) = delete;

    // Without a record only `tidy` runs.
    void Push(std::optional<TTerminateInfo> info);

private:
    void Body();

    std::function<void(const TTerminateInfo&)> deliver_;
    std::function<void()> tidy_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::optional<TTerminateInfo>> queue_;
    bool quit_ = false;
    std::thread thread_;
};

class TCustomEncoder : public TFFBaseComponent {
public:
    TCustomEncoder();
    ~TCustomEncoder() override;
    TCustomEncoder(const TCustomEncoder&) = delete;
    TCustomEncoder& operator=(const TCustomEncoder&) = delete;

    std::string Version() const { return "3.9"; }
    // Text of the last failure of LoadAVLib, AddTask or SetOutputFile.
    std::string LastErrMsg() const;

    // ---- libraries

    bool AVLibLoaded() const;
    // Loads the encoder's libraries from `folder`; false with LastErrMsg set.
    bool LoadAVLib(const std::string& folder);

    TFFDecoder& Decoder() { return *decoder_; }

    // ---- opening on start
    // Off (the default): AddTask opens the input and SetOutputFile creates the output at once.
    // On: they check only what can be checked without opening anything (the input can be
    // read, the output's folder can be written, its format is known) and keep the
    // descriptions; the task opens its files on its worker when it starts and releases them
    // when it ends, so that a waiting task holds no file, codec or container. A file that
    // cannot be opened then ends the task with Exception set and the message AddTask or
    // SetOutputFile would have left in LastErrMsg. Such a job waits as a light record (its
    // descriptions), gets its engine task when it starts and loses it soon after it ends; a
    // stop ends the jobs that never started on the stopping thread, their terminations queued
    // in list order. Changed only while not working.
    bool OpenOnStart() const { return openOnStart_.load(); }
    void SetOpenOnStart(bool on);

    // ---- the task-end hook
    // `hook` is called on the thread that ends the task at `index`, before OnTerminate is
    // delivered and outside the component's locks, with the record OnTerminate will receive;
    // it may change it (its Warning, or Exception and ExceptionMsg). Main thread, not while
    // working; the hook lives with the task.
    void SetTaskEndHook(int index, std::function<void(TTerminateInfo&)> hook);

    // ---- the task queue (main thread)

    // One new task with this one input: its index, or -1 with LastErrMsg set.
    int AddTask(const std::string& fileName);
    int AddTask(const std::string& fileName, const TInputOptions& options);
    // Adds one output to the task at `index`; false with LastErrMsg set (the task stays).
    bool SetOutputFile(int index, const std::string& fileName);
    bool SetOutputFile(int index, const std::string& fileName, const TOutputOptions& options);
    void RemoveTask(int index);
    // count > 0: runs the queue on worker threads, at most count at a time, and returns at
    // once. count <= 0: runs every task one after another before returning.
    void StartTask(int count);
    // No further task starts; with a run, stops the running tasks and terminates the ones that
    // never ran. With wait, returns once the running tasks have ended.
    void Stop(bool wait);
    // Frees all tasks and resets the run state; refused while tasks of a run have not ended.
    void ClearTasks();
    int TaskCount() const { return tasks_.Count(); }
    // The tasks themselves, for reading their state.
    TFFmpegList& Tasks() { return tasks_; }

    // Raises std::logic_error "Cannot %s while working." with `name` while working.
    void CheckNotWorking(const std::string& name) const;

    // ---- run state

    bool Working() const { return working_.load(); }
    bool AllFinished() const;

    // ---- relays of the tasks' reports (slot order)
    // The preview, progress and termination relays are wired in every task; the audio and
    // video hook relays in the tasks whose output record asks for them.

    virtual void VideoInputHookRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                     int64_t pts, bool& update, bool& stopHook);
    virtual void VideoOutputHookRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                      int64_t pts, bool& update, bool& stopHook);
    virtual void PreviewBitmapRelay(TCustomFFmpeg* task, TBitmap* bitmap, int frameNumber,
                                    int64_t pts);
    virtual void ProgressRelay(TCustomFFmpeg* task, int fileIndex, int64_t totalDuration,
                               int64_t currentDuration, int64_t currentSize, float bitRate,
                               float quality, int fps, int frameNumber);
    // The end of a task (null: the end of the queue), on the thread that ended it.
    virtual void TaskTerminated(TCustomFFmpeg* task);

    void AudioHookRelay(TCustomFFmpeg* task, int64_t pts, uint8_t* sample, int size, int sampleRate,
                        int channels, AVSampleFormat sampleFormat);
    void BeforeFindStreamInfoRelay(TCustomFFmpeg* task, AVFormatContext* formatContext);

    // ---- properties

    bool Preview() const { return preview_.load(); }
    void SetPreview(bool on);
    bool PreviewBitmap() const { return previewBitmap_.load(); }
    void SetPreviewBitmap(bool on);
    int ProgressInterval() const { return progressInterval_.load(); } // milliseconds
    // Values not above 100 store 100.
    void SetProgressInterval(int milliseconds);
    TThreadPriority ThreadPriority() const { return threadPriority_.load(); }
    void SetThreadPriority(TThreadPriority priority) { threadPriority_ = priority; }
    bool TriggerEventInMainThread() const { return triggerEventInMainThread_.load(); }
    void SetTriggerEventInMainThread(bool on) { triggerEventInMainThread_ = on; }

    // Copied into every task, and again before every SetOutputFile.
    std::atomic<bool> RaiseOptionErrors{true};

    // ---- events

    TAudioHookEvent OnAudioHook;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;
    TPreviewBitmapEvent OnPreviewBitmap;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;

protected:
    void StartNextTask();
    void AllTasksDone();

private:
    int AddTaskWith(const std::string& fileName, const TInputOptions* options);
    bool SetOutputFileWith(int index, const std::string& fileName, const TOutputOptions* options);
    void SetLastErrMsg(const std::string& msg);
    void WireHookRelays(TFFmpeg& task, const TOutputOptions& options);
    void VideoHookRelay(TVideoHookEvent& event, TCustomFFmpeg* task, TBitmap* bitmap,
                        int frameNumber, int64_t pts, bool& update, bool& stopHook);
    void DeliverTermination(const TTerminateInfo& info);
    // Checks a file given to a task that opens on start; false with LastErrMsg set.
    bool CheckDeferredInput(const std::string& fileName);
    bool CheckDeferredOutput(const std::string& fileName, const TOutputOptions* options);
    // Opens the deferred files of a task on its worker (TCustomFFmpeg::OnOpenFiles).
    void OpenDeferredFiles(TFFmpeg& task);
    // The relays every task reports through, its verbosity and preview flags.
    void WireTask(TFFmpeg& task);
    // The engine task of a job opened on start, made from its record when it starts.
    std::shared_ptr<TFFmpeg> MakeStartedTask(TWaitingJob& job);
    // Ends jobs that never got a task (cancelled, or their task could not be made): their end
    // hooks here, then their terminations and the run's count, in the order given.
    void EndJobsWithoutTask(std::vector<TFFmpegList::TCancelledJob>& jobs,
                            const std::string& error = {});
    void RunEndHook(const std::function<void(TTerminateInfo&)>& hook, TTerminateInfo& info);
    // Hands a record to OnTerminate (delivery thread or here, by the run's mode) and counts
    // the task as finished; TerminateLock held.
    void CountTermination(const TTerminateInfo& info, bool tidy);
    void OpenOutputOf(TFFmpeg& task, size_t slot, const std::string& fileName,
                      const TOutputOptions* options);
    std::unique_lock<std::recursive_mutex> LockTermination() const;

    static constexpr int TaskCapacity = 20;     // inputs and outputs per task
    static constexpr int TaskIOTimeout = 10000; // milliseconds
    static constexpr int TaskVerbose = 1;

    mutable std::mutex errMutex_;
    std::string lastErrMsg_;

    std::atomic<bool> preview_{false};
    std::atomic<bool> previewBitmap_{false};
    std::atomic<int> progressInterval_{500};
    std::atomic<TThreadPriority> threadPriority_{tpNormal};
    std::atomic<bool> triggerEventInMainThread_{true};
    std::atomic<bool> openOnStart_{false};

    // The records handed to the events, each guarded by its relay's lock.
    TProgressInfo progressInfo_;
    TTerminateInfo terminateInfo_;
    TPreviewInfo previewInfo_;
    THookInfo hookInfo_;

    std::mutex AudioHookLock;
    std::mutex PreviewBitmapLock;
    std::mutex ProgressLock;
    // Recursive: a task that cannot start terminates on the thread that starts it, inside the
    // bookkeeping of the task that ended before it.
    mutable std::recursive_mutex TerminateLock;
    std::mutex VideoHookLock;

    std::unique_ptr<TFFDecoder> decoder_;
    TFFmpegList tasks_;

    // Run state, guarded by TerminateLock.
    int FinishedCount = 0;
    int NextIndex = -1;
    int Remaining = 0;
    bool allFinished_ = false;
    bool Threaded = false;
    int jobsAtATime_ = 1; // the tasks a run starts at a time (1 unthreaded)
    std::atomic<bool> working_{false};

    // Declared last: stopped first, before the records and locks it uses go.
    std::unique_ptr<TTerminateDelivery> delivery_;
};

// The component as the application places it: every property and event published.
class TFFEncoder : public TCustomEncoder {
public:
    TFFEncoder() = default;
};

// ---- TEvent

template <typename... Args> void TEvent<Args...>::Assign(THandler handler) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    handler_ = std::move(handler);
    auto othersIdle = [&] {
        for (const std::thread::id& id : callers_)
            if (id != self)
                return false;
        return true;
    };
    while (!othersIdle()) {
        if (IsMainThread()) {
            lock.unlock();
            ProcessPendingMessages();
            lock.lock();
            idle_.wait_for(lock, std::chrono::milliseconds(10));
        } else {
            idle_.wait(lock);
        }
    }
}

template <typename... Args> bool TEvent<Args...>::Call(Args... args) const {
    const std::thread::id self = std::this_thread::get_id();
    THandler handler;
    {
        std::lock_guard guard(mutex_);
        if (!handler_)
            return false;
        handler = handler_;
        callers_.push_back(self);
    }
    struct TLeave {
        const TEvent* event;
        std::thread::id id;
        ~TLeave() {
            {
                std::lock_guard guard(event->mutex_);
                for (auto it = event->callers_.begin(); it != event->callers_.end(); ++it)
                    if (*it == id) {
                        event->callers_.erase(it);
                        break;
                    }
            }
            event->idle_.notify_all();
        }
    } leave{this, self};
    handler(args...);
    return true;
}
