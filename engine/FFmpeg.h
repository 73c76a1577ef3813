// The engine task: one conversion job with its options, its input and output files and its
// run state. The caller sets options, opens inputs and creates outputs on its own thread,
// then starts the task, normally on a worker thread (TConvertThread). Every task ends with
// exactly one OnTerminate, whether it ran or not.
//
// The implementation is split by concern: Task.cpp (life cycle), TaskStop.cpp (stop and
// cancel), TaskRelease.cpp (codec registries and files), Interrupt.cpp (interrupt checks),
// ConvertThread.cpp, OptionTable.cpp and OptionHandlers.cpp (option table and handlers),
// OptionStore.cpp, OptionPresets.cpp and CodecLookup.cpp (library option store),
// AddStream.cpp, NewStreams.cpp and Target.cpp (output streams and target presets),
// Transcode.cpp (the run).
//
// A task must not be freed from its own OnTerminate: the thread that delivers it still
// finishes its work on the task afterwards.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ConvertThread.h"
#include "EngineRecords.h"
#include "FFmpegException.h"
#include "FormatConverter.h"
#include "FrameHook.h"
#include "ManualResetEvent.h"
#include "OptionState.h"
#include "OutputContainer.h"

// Process-wide locks of the engine. CodecRegistryLock guards OpenEncoders and OpenDecoders
// of every task while codecs are opened or closed; it is taken before the codec lock
// (TCodecLock). PreviewLock guards PreviewFlags and the preview work of every task.
extern std::mutex CodecRegistryLock;
extern std::mutex PreviewLock;

// The task sizes its file tables to a capacity from 1 to 512.
constexpr int MinTaskCapacity = 1;
constexpr int MaxTaskCapacity = 512;

class TCustomFFmpeg;
using TTaskNotifyEvent = std::function<void(TCustomFFmpeg* Sender)>;

class TCustomFFmpeg : public TOptionState {
public:
    explicit TCustomFFmpeg(int capacity);
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- life cycle (Task.cpp, TaskStop.cpp)

    // Starts the task once. Threaded: returns the created, suspended worker (the caller
    // resumes it). Not threaded: runs on the caller's thread and returns null. A task
    // without outputs or inputs terminates at once and null is returned.
    TConvertThread* Start(bool threaded, TThreadPriority priority = tpNormal);
    // The run: the transcode, then closing the codecs, releasing the files and the
    // termination; every step runs even when an earlier one failed.
    void Execute();
    // Asks the run to stop (any state). With wait, returns once the worker has ended.
    void Stop(bool wait);
    // Stops a running task; delivers the termination of a task that never ran from a
    // termination thread. A terminated task is left alone.
    void Cancel(bool wait);
    void DoTerminate();
    void ReleaseFiles();
    void ResetOptions();
    void ReportException(const std::exception& e);
    void ReportException(const std::string& message);

    // ---- interruption (Interrupt.cpp)

    // The I/O interrupt check: param is this task, a timeout is set and IOStartTime lies
    // more than IOTimeout milliseconds back (IOStartTime 0: the open was cancelled).
    bool CheckIOTimeout(void* param);
    // The stop check of a running task's blocking reads.
    bool CheckStopRequest(void* param);
    // The protocol around a blocking open: Arm registers CheckIOTimeout for the calling
    // thread and starts the clock, Rearm restarts it, Disarm unregisters.
    void ArmIOWatchdog();
    void RearmIOWatchdog();
    void DisarmIOWatchdog();
    // CheckStopRequest for the calling thread (a run that is not on the main thread).
    void RegisterStopCheck();
    void UnregisterStopCheck();

    // ---- options (OptionTable.cpp, OptionHandlers.cpp)

    // Applies one option, or raises FFmpegException (EConvertError for malformed numbers
    // and tags). Names are case-sensitive.
    void ParseOption(const std::string& name, const std::string& value);
    // The codec handler: "copy" sets the kind's stream-copy flag, any other value becomes
    // the kind's codec name; an empty value changes nothing.
    void ApplyCodecName(AVMediaType kind, const std::string& value);
    // The tag handler of "atag", "vtag", "stag".
    void SetCodecTag(const std::string& optionName, const std::string& value);

    // ---- library option store (OptionStore.cpp, OptionPresets.cpp, CodecLookup.cpp)

    void InitOptionContext();
    void FreeOptionContext();
    // Records a library option; false with LastOptionError set when no context takes it.
    bool SetLibraryOption(const std::string& name, const std::string& value);
    // Copies the recorded options into a real codec context (with the codec's private
    // options when a codec is given) or container context.
    void ApplyLibraryOptions(AVCodecContext* target, AVCodecContext* holder, const AVCodec* codec,
                             int mask);
    void ApplyLibraryOptions(AVFormatContext* target, AVFormatContext* holder, int mask);
    // kindName "apre", "vpre", "spre" or "fpre": applies a built-in or file preset.
    void ApplyPreset(const std::string& kindName, const std::string& value);
    // Turns a codec name into a codec id; false with LastError set.
    bool FindCodecByName(const std::optional<std::string>& name, AVMediaType type, bool encoder,
                         int strictness, AVCodecID& codecID);
    // The "strict" option of the store's codec context of that media type.
    int Strictness(AVMediaType type) const;

    // ---- inputs (input/)

    // Opens one input with the pending options; false with LastError set on the ordinary
    // failures.
    bool OpenInputFile(const std::string& fileName);
    // Whether the first opened input (firstOnly) or all opened inputs have video, audio and
    // subtitle streams.
    void CheckInputStreamKinds(bool firstOnly, bool& hasVideo, bool& hasAudio,
                               bool& hasSubtitle) const;

    // ---- outputs (output/)

    // Creates an output with the pending options: the new number of output slots, or -1 with
    // LastError set.
    int CreateOutputFile(const std::string& fileName, bool join);
    // Completes join mode after a successful CreateOutputFile.
    void JoinInputs();
    // The target presets of option "target".
    void ApplyTarget(const std::string& type, const std::string& norm,
                     const std::string& fallbackNorm);
    // Handler of "newvideo", "newaudio", "newsubtitle".
    void AddStreamToLastOutput(AVMediaType kind);
    void NewVideoStream(AVFormatContext* container, int outputIndex);
    void NewAudioStream(AVFormatContext* container, int outputIndex);
    void NewSubtitleStream(AVFormatContext* container, int outputIndex);

    // ---- the run (run/)

    // The transcode run over the task's files: set-up, main loop, end of run.
    void Transcode();

    // ---- audio path (audio/)

    // ---- files

    int InputCount() const { return static_cast<int>(InputFiles.size()); }
    int OutputCount() const { return static_cast<int>(OutputFiles.size()); }

    // ---- published state

    const int Capacity;
    std::atomic<bool> Running{false};
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Finished{false};
    std::atomic<bool> Terminated{false};
    std::atomic<int> IOTimeout{10000};           // milliseconds
    std::atomic<int64_t> IOStartTime{INT64_MAX}; // microseconds of av_gettime
    std::atomic<bool> ErrorOccurred{false};
    std::string ErrorMessage;
    int64_t ProgressInterval = 500000; // microseconds
    int64_t PreviewInterval = 100000;  // microseconds
    uint8_t PreviewFlags = 0;          // 1 preview window, 2 bitmap event
    bool PreviewFlagsChanged = false;

    // Called with the task as sender on the thread that ends the task.
    TTaskNotifyEvent OnTerminate;

protected:
    // The input files in the order of opening, the output slots in the order of creation
    // (in join mode several slots share one container) and each slot's stream records.
    std::vector<std::unique_ptr<EngineInputFile>> InputFiles;
    std::vector<TOutputContainerPtr> OutputFiles;
    std::vector<std::vector<std::unique_ptr<EngineOutputStream>>> OutputStreams;
    // The input stream records of a run (the stream table).
    std::vector<std::unique_ptr<EngineInputStream>> InputStreams;
    // Stream records whose codec is open; changed only under CodecRegistryLock.
    std::list<EngineOutputStream*> OpenEncoders;
    std::list<EngineInputStream*> OpenDecoders;
    // Frame hooks of option "vhook".
    TFrameHookChain FrameHooks;
    // The video filter graph of a run.
    TFilterGraphPtr FilterGraph;
    // The picture converters of the video hooks and of the preview, and the time of the
    // last preview picture.
    TFormatConverter HookConverter;
    TFormatConverter PreviewConverter;
    int64_t LastPreviewTime = 0;
    // Counters of a run, read by the progress report: bytes of encoded or copied video and
    // audio, bytes of the encoders' global headers, duplicated and dropped video frames, and
    // the run's start time (microseconds of av_gettime).
    int64_t VideoSize = 0;
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;
    int DupFrames = 0;
    int DropFrames = 0;
    int64_t RunStartTime = 0;

    // Appends an output slot (output creation).
    void AppendOutputFile(TOutputContainerPtr container);
    // Closes the codecs still registered as open (Execute, ReleaseFiles).
    void CloseOpenEncoders();
    void CloseOpenDecoders();
    // Frees the allocated parts of the option state (ReleaseFiles).
    void ReleaseOptionState();

private:
    friend class TConvertThread;
    friend class TDoTerminateThread;
    friend struct TOptionHandlers;

    // Runs `step`, reporting what it raises.
    void Guarded(const std::function<void()>& step);
    // Waits for an event; on the main thread keeps serving queued main-thread calls.
    void WaitForEvent(const TManualResetEvent& event) const;
    bool OnWorkerThread() const;

    // The worker while one exists; guarded by threadLock_.
    std::mutex threadLock_;
    TConvertThread* Thread = nullptr;
    std::atomic<uint32_t> workerThreadID_{0};
    bool terminationPending_ = false;
    TManualResetEvent RunEvent{true};
    TManualResetEvent TerminateEvent{true};
};
