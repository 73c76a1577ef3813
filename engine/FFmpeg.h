// The engine task: one conversion job with its options, its input and output files and its
// run state. The caller sets options, opens inputs and creates outputs on its own thread,
// then starts the task, normally on a worker thread (TConvertThread). Every task ends with
// exactly one OnTerminate, whether it ran or not.
//
// The implementation is split by concern: Task.cpp (life cycle), TaskStop.cpp (stop and
// cancel), TaskRelease.cpp (codec registries and files), Interrupt.cpp (interrupt checks),
// ConvertThread.cpp, OptionTable.cpp and OptionHandlers.cpp (option table and handlers),
// OptionStore.cpp, OptionPresets.cpp and CodecLookup.cpp (library option store); then one
// folder per stage of the data flow: input/ (opening inputs), output/ (creating outputs, their
// streams and target presets), run/ (the transcode: set-up, main loop, packet output,
// progress) and audio/ (the audio output path).
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

#include "EngineRecords.h"
#include "FFmpegException.h"
#include "options/OldOptionNames.h"
#include "options/OptionState.h"
#include "output/OutputContainer.h"
#include "task/ConvertThread.h"
#include "task/ManualResetEvent.h"
#include "utils/FormatConverter.h"
#include "video/FrameHook.h"

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
    void ApplyInputOptions(const TInputOptions& options); // before OpenInputFile; keeps a copy

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
    // Applies a TOutputOptions record (output/Output.h) and creates the output; see there.
    int ApplyOutputOptions(const std::string& fileName, const struct TOutputOptions& options,
                           const std::function<void(const struct TOutputOptions&)>& wireHooks = {});
    // The record last applied by ApplyOutputOptions; null when none or reset.
    const struct TOutputOptions* KeptOutputOptions() const { return OutputOptionsCopy.get(); }
    void ResetKeptOutputOptions() { OutputOptionsCopy.reset(); }

    // ---- the run (run/)

    // The transcode run over the task's files: set-up, main loop, end of run.
    void Transcode();
    friend class TTranscodeRun; // run/Run.h: the state and steps of one run

    // ---- audio path (audio/)

    // OnAudioHook: the task, the samples, the input stream's time (microseconds), their byte
    // count, sample rate, channel count and sample format (the decoder's). The callee may
    // change the samples in place. For a planar format with several channels the pointer is
    // a copy holding the planes one after the other (channel 0 first); changes to it are
    // copied back.
    using TTaskAudioHookEvent =
        std::function<void(TCustomFFmpeg* Sender, uint8_t* ASamples, int64_t APts, int ASize,
                           int ASampleRate, int AChannels, AVSampleFormat ASampleFormat)>;
    TTaskAudioHookEvent OnAudioHook;
    // The audio encode parameters of set-up: the FIFO in the encoder's format, no converter,
    // the resampler flag and the decoder parameters the resampler is made for.
    void InitAudioOutput(EngineOutputStream& ost, const AVCodecContext* dec);
    // Every decode round of an audio input stream, before any output is fed: OnAudioHook,
    // then the volume of "vol" in the decoded format. decoded is null when not decoded.
    void AudioPreprocess(EngineInputStream& ist, AVFrame* decoded);
    // Resamples or converts one decoded chunk, keeps the output clock in step with the input
    // (async), cuts it into encoder frames and writes the packets.
    void DoAudioOut(AVFormatContext* muxer, EngineOutputStream& ost, EngineInputStream& ist,
                    const AVFrame* decoded);
    // End of stream: the resampler's and the FIFO's rest, then the encoder's delayed packets.
    void FlushAudioEncoder(AVFormatContext* muxer, EngineOutputStream& ost);
    // Passes an encoded or copied packet through the stream's bitstream filters to the muxer
    // and keeps ost.lastEndTime; pkt is left blank (run/PacketWrite.cpp).
    void WritePacket(AVFormatContext* muxer, AVPacket* pkt, EngineOutputStream& ost);
    // Initialises the bitstream filters from the stream's parameters and hands the last
    // filter's parameters to the stream; call before the header (WritePacket does it
    // otherwise on the first packet, leaving the stream's parameters alone).
    void InitBitstreamFilters(EngineOutputStream& ost, bool updateStream = true);

    // ---- video path (video/)

    // OnVideoInputHook and OnVideoOutputHook: the task, the picture as a bitmap, its time
    // (microseconds), the frame number, and two in/out flags: Update (starts true: the bitmap
    // goes back into the picture) and StopHook (starts false: call this hook no more in the
    // run). OnPreviewBitmap: the task, the bitmap, the time and the frame number.
    using TTaskVideoHookEvent =
        std::function<void(TCustomFFmpeg* Sender, TBitmap* ABitmap, int64_t APts, int AFrameNumber,
                           bool& AUpdate, bool& AStopHook)>;
    using TTaskPreviewBitmapEvent = std::function<void(TCustomFFmpeg* Sender, TBitmap* ABitmap,
                                                       int64_t APts, int AFrameNumber)>;
    TTaskVideoHookEvent OnVideoInputHook;
    TTaskVideoHookEvent OnVideoOutputHook;
    TTaskPreviewBitmapEvent OnPreviewBitmap;
    // The video encode parameters of set-up: the scaler or the filter chain, the geometry the
    // scaler is made for; marks the stream encoded and its source decoded.
    void InitVideoOutput(EngineOutputStream& ost, EngineInputStream& ist);
    // Builds the filter chain of "vf" from ist's decoder to ost's encoder: 0 or a negative
    // FFmpeg error with LastError set. At set-up the chain's own scaler brings pictures to the
    // encoder's size before the "vf" filters and the encoder takes the size that comes out;
    // a chain built anew (chainWidth, chainHeight > 0) brings them to that size, and what
    // comes out must fit the open encoder.
    int ConfigureFilters(EngineInputStream& ist, EngineOutputStream& ost, int chainWidth = 0,
                         int chainHeight = 0);
    // A picture whose size or pixel format differs from the one ist's chain was built for:
    // the pictures the chain holds back go to `each`, then the chain is built anew for the
    // new geometry (see ConfigureFilters). Nothing happens for a picture that fits.
    void FollowPictureGeometry(EngineInputStream& ist, EngineOutputStream& ost,
                               const AVFrame& picture, const std::function<void(AVFrame*)>& each);
    // Every decoded picture: the picture count, deinterlacing, OnVideoInputHook or the frame
    // hooks. `picture` may be redirected to the task's working copy.
    void VideoPreprocess(EngineInputStream& ist, AVFrame*& picture);
    // With a filter chain: pushes the picture into it and hands every picture that comes out
    // to `each`, with ist.pts set to its time. Without one `each` gets the picture itself. A
    // null picture ends the chain's input: the pictures its filters held back come out.
    void FilterVideo(EngineInputStream& ist, AVFrame* picture,
                     const std::function<void(AVFrame*)>& each);
    // Writes the picture to one re-encoding output stream as 0 or more frames; frameSize is
    // the bytes the encoder gave back for the last of them.
    void DoVideoOut(AVFormatContext* muxer, EngineOutputStream& ost, EngineInputStream& ist,
                    AVFrame* in, int& frameSize);
    // End of stream: the encoder's delayed packets.
    void FlushVideoEncoder(AVFormatContext* muxer, EngineOutputStream& ost);

    // ---- progress (run/Progress.cpp)

    // OnProgress: the task, the input last read (-1 in the last report), the expected output
    // length and the output time reached (microseconds; length -1 when unknown), bytes of the
    // first output, kbit/s, the video quantiser, video frames per second and frame count.
    using TTaskProgressEvent = std::function<void(
        TCustomFFmpeg* Sender, int CurrentFile, int64_t TotalDuration, int64_t CurrentDuration,
        int64_t CurrentSize, float BitRate, float Quality, int FPS, int FrameNumber)>;
    // Measures the run: to OnProgress when set, else to the log (verbosity above 0, or the last
    // report); the last report is followed by the statistics line.
    void ProgressReport(bool isLastReport, int currentFile);
    // One line of the video statistics file for an encoded video frame; opens it on first use.
    void WriteVideoStats(EngineOutputStream& ost, int frameSize);
    // The quality statistics of an encoded video packet, kept for the report (video output).
    static void KeepCodedFrameStats(EngineOutputStream& ost, const AVPacket& packet);
    static void ResetQuantHistogram(); // the process-wide histogram of "qphist"
    struct TStatsFileCloser {
        void operator()(FILE* file) const;
    };
    TTaskProgressEvent OnProgress;

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
    // The threads this task's codecs may share when no `threads` option was given: the
    // encoder component sets it from the cores its running jobs leave free before the task
    // starts. Decoders with frame or slice threads and encoders with frame threads get them;
    // 1 keeps every codec on one thread.
    std::atomic<int> ThreadsAvailable{1};
    // With a spare thread available, a job whose only output is one re-encoded audio stream
    // encodes it on a thread of its own, overlapping its decoding; false keeps the whole run
    // on one thread.
    bool EncodeThreads = true;
    int64_t ProgressInterval = 500000; // microseconds
    int64_t PreviewInterval = 100000;  // microseconds
    uint8_t PreviewFlags = 0;          // 1 preview window, 2 bitmap event
    bool PreviewFlagsChanged = false;

    // Microseconds of output the run wrote (its last report's time); 0 before any output.
    std::atomic<int64_t> OutputDuration{0};

    // Called with the task as sender on the thread that ends the task.
    TTaskNotifyEvent OnTerminate;
    // Set by an owner that opens the task's files only when it runs: called first on the
    // thread that runs the task, it opens the inputs and creates the outputs, raising
    // FFmpegException with the reason when one cannot be opened (the run then ends failed,
    // without a transcode). With it set, Start does not ask for files beforehand.
    std::function<void(TCustomFFmpeg& task)> OnOpenFiles;
    std::function<void(TCustomFFmpeg* Sender, AVFormatContext* AContext)> OnBeforeFindStreamInfo;

protected:
    // The input files in the order of opening, the output slots in the order of creation
    // (in join mode several slots share one container) and each slot's stream records.
    std::vector<std::unique_ptr<EngineInputFile>> InputFiles;
    std::vector<const AVCodec*> InputCodecs; // input/: per input stream, decoder by name or null
    std::optional<TInputOptions> PendingInputOptions; // input/: kept for the next input
    std::vector<TOutputContainerPtr> OutputFiles;
    std::vector<std::vector<std::unique_ptr<EngineOutputStream>>> OutputStreams;
    // outputs (output/): per created output stream, in creation order, the encoder chosen by
    // name or null; the TOutputOptions record last applied.
    std::vector<const AVCodec*> OutputCodecs;
    std::shared_ptr<struct TOutputOptions> OutputOptionsCopy;
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
    std::atomic<int64_t> AudioSize{0}; // also read by other threads while a run goes on
    // Held around every write to a muxer and every read of a muxer's size by the report, so
    // that an encoder thread (audio/Audio.h) and the run's thread share the muxer. It
    // is taken after every other lock and nothing but the logger's queue is taken under it.
    std::mutex MuxerLock;
    int64_t ExtraSize = 0;
    int DupFrames = 0;
    int DropFrames = 0;
    int64_t RunStartTime = 0;
    bool DupDropChanged = false; // run/Progress.cpp: set by the video path, cleared by the report
    std::unique_ptr<FILE, TStatsFileCloser> VstatsFile; // run/Progress.cpp: opened on first use
    // The video hook run (video/VideoHooks.cpp): the picture as the converter's bitmap to
    // `hook` with Update true and StopHook false, an updated bitmap back into the picture; a
    // failed conversion logs the converter's text and clears `enabled`, as StopHook does.
    // False when the hook was not called.
    bool RunVideoHook(const TTaskVideoHookEvent& hook, TFormatConverter& converter,
                      AVFrame* picture, int64_t pts, int frameNumber, bool& enabled);
    // OnVideoOutputHook on a copy of the picture, then the preview; the picture to encode.
    AVFrame* OutputHookAndPreview(AVFrame* picture, int64_t pts, int frameNumber);
    // At most once per PreviewInterval the picture as a bitmap to OnPreviewBitmap (flag 2);
    // `hooked`: the output hook's bitmap holds this picture already.
    void Preview(AVFrame* picture, int64_t pts, int frameNumber, bool hooked);
    // The picture deinterlaced into `into` by the stream's deinterlacer ("yadif"); false when
    // that fails.
    bool DeinterlacePicture(EngineInputStream& ist, const AVFrame* picture, AVFrame* into);
    // video/: the working pictures and hook switches of a run (video/Video.h).
    std::shared_ptr<struct TVideoTaskWork> VideoWork;
    std::vector<uint8_t> AudioHookBuffer; // audio/: planar samples laid end to end for OnAudioHook

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
    // SetLibraryOption after the translation of old option names (OldOptionNames).
    bool RecordLibraryOption(const std::string& name, const std::string& value);
    // The settings of today's libraries for an old line of the encoder the option lines are
    // meant for, or nothing.
    std::optional<std::vector<TOptionSetting>> TranslateForEncoder(const std::string& name,
                                                                   const std::string& value);

    // The worker while one exists; guarded by threadLock_.
    std::mutex threadLock_;
    TConvertThread* Thread = nullptr;
    std::atomic<uint32_t> workerThreadID_{0};
    bool terminationPending_ = false;
    TManualResetEvent RunEvent{true};
    TManualResetEvent TerminateEvent{true};
};

// The threads each of `runningJobs` jobs may use so that together they fill the machine's
// cores and never ask for more: the cores divided among the jobs, at least 1.
int ThreadsPerJob(int runningJobs);
