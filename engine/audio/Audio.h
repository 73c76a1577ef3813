// The audio path: pre-processing of decoded audio (OnAudioHook, volume), the audio output of
// every re-encoding output stream (resampler, sample-format converter, sync with the input
// clock, FIFO framing, encoding) and the audio encoder drain. The task members are declared in
// FFmpeg.h (section "audio path"); this header holds the working objects they keep per output
// stream and the helpers that the files of this folder share.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EngineRecords.h"
#include "FFPtr.h"

class TCustomFFmpeg;
class TEncodeThread;

// What an output stream keeps between chunks (EngineOutputStream::work), so that steady-state
// conversion allocates nothing: frames only grow.
struct TOutputStreamWork {
    TOutputStreamWork();
    ~TOutputStreamWork();
    TOutputStreamWork(const TOutputStreamWork&) = delete;
    TOutputStreamWork& operator=(const TOutputStreamWork&) = delete;
    // Resampled or converted samples in the encoder's format; holds `convertedCapacity`
    // samples per channel.
    TFramePtr converted;
    int convertedCapacity = 0;
    // One encoder frame (frame_size samples) read from the FIFO.
    TFramePtr encoderFrame;
    int encoderFrameCapacity = 0;
    // The decoded frame handed unchanged to an unframed encoder.
    TFramePtr reference;
    // Silence followed by the chunk, in the decoder's format (hard sync correction).
    TFramePtr padding;
    int paddingCapacity = 0;
    // Receives the encoder's packets.
    TPacketPtr packet;
    // Per bitstream filter: a reference to its input packet, written in place of the filter's
    // output when filtering fails.
    std::vector<TPacketPtr> filterInputs;
    // Plane pointers of the chunk after samples were dropped from its start.
    std::vector<uint8_t*> planes;
    // The stream's encoder thread while one runs (audio/EncodeThread.h); frames then go to it
    // instead of the encoder.
    std::unique_ptr<TEncodeThread> encodeThread;
};

// Plane pointer arrays as the FFmpeg calls take them.
inline void** FifoPlanes(uint8_t* const* planes) {
    return static_cast<void**>(static_cast<void*>(const_cast<uint8_t**>(planes)));
}
inline const uint8_t** InputPlanes(uint8_t* const* planes) {
    return static_cast<const uint8_t**>(static_cast<void*>(const_cast<uint8_t**>(planes)));
}

// The stream's working objects, created on first use.
TOutputStreamWork& StreamWork(EngineOutputStream& ost);

// Makes `frame` a writable frame of `format`, `layout` and `sampleRate` holding at least
// `samples` samples per channel; `capacity` is what it holds. Keeps the frame when it fits
// already. False when memory runs out.
bool EnsureAudioFrame(TFramePtr& frame, int& capacity, AVSampleFormat format,
                      const AVChannelLayout& layout, int sampleRate, int samples);

// A sample buffer seen by the audio path: plane pointers (one for packed formats), the
// sample count per channel, the format, channel count and rate.
struct TSampleRun {
    uint8_t* const* planes = nullptr;
    int samples = 0;
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    int channels = 0;
    int sampleRate = 0;
};

// Multiplies every sample by volume / 256 in its own format; integer formats are rounded
// and clipped to their range as s16 samples are (v = (s x volume + 128) >> 8).
void ApplyVolume(uint8_t* const* planes, AVSampleFormat format, int channels, int samples,
                 int volume);

// The channel layout to describe `layout` with to the resampler: the layout itself when its
// order is known, else the default layout of its channel count.
void ResamplerLayout(const AVChannelLayout& layout, int channels, AVChannelLayout& out);

// The encoder's time base, or 1/sample rate when the encoder has none.
AVRational EncoderTimeBase(const AVCodecContext* enc);
// A position of the output clock (samples) in the encoder's time base: a frame's pts.
int64_t FramePts(const AVCodecContext* enc, int64_t syncOpts);

// Sends one frame (null: the end of the stream) to the stream's encoder and writes every
// packet it returns; the result is the number of bytes encoded. Raises "Audio encoding failed".
int64_t EncodeAudioFrame(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                         AVFrame* frame);

// Hands samples in the encoder's format to the encoder: through the FIFO in frames of
// frame_size for framed encoders, at once for the others (PCM); keeps ost.syncOpts. `source`
// is the decoded frame when `data` are its samples unchanged (they are then passed by
// reference). The result is the number of bytes encoded.
int64_t EncodeSamples(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                      const TSampleRun& data, const AVFrame* source);

// Steps of one chunk's audio output.
//
// The resampler (channel count, rate, or the decoder's parameters changed) and the
// sample-format converter, created or dropped as the chunk needs them.
void PrepareResampler(TCustomFFmpeg& task, EngineOutputStream& ost, const EngineInputStream& ist,
                      const AVFrame& decoded, const TSampleRun& in);
void PrepareConverter(const TCustomFFmpeg& task, EngineOutputStream& ost,
                      const EngineInputStream& ist, const TSampleRun& in);

// Audio sync (option "async"): keeps the output clock ost.syncOpts in step with the input
// clock, dropping samples from the start of `in` or putting silence before it.
enum class TSyncResult {
    Continue, // go on with `in`
    Dropped,  // nothing of the chunk is left
    Grow,     // `allocated` grew: size the buffers again and repeat
};
TSyncResult SyncAudio(TCustomFFmpeg& task, EngineOutputStream& ost, EngineInputStream& ist,
                      TSampleRun& in, int64_t& allocated);

// Dither of the last conversion to fewer bits (audio/AudioDither.cpp).
//
// The library's dither method called `name` ("none": 0, no dither); -1 for a name it lacks.
int DitherMethodByName(const std::string& name);
// The significant bits of a sample of `format`: `rawBits` when an integer format holds fewer
// (24-bit audio in 32-bit samples), the format's own size otherwise; 0 for floating point.
int SignificantBits(AVSampleFormat format, int rawBits);
// Whether samples of `inBits` significant bits (0: floating point) lose bits on their way to
// `outBits` (0: floating point): float to any integer, or more integer bits to fewer.
bool LosesBits(int inBits, int outBits);

// Encodes what the stream's active resampler still holds (its filter's delay): at the end of
// the stream, and before it is rebuilt for other input parameters. The result is the number
// of bytes encoded.
int64_t DrainResampler(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost);

// Sets up a libswresample context allocated from `in` to `out` as the audio output makes its
// own, before swr_init: the SoX filter when `resampling`, the level-keeping channel matrix
// (`lfeLevel`: the LFE's share). No dither, no drift compensation. For readers that redo a
// conversion to compare with it. False when the library refuses the matrix.
bool ConfigureConversion(SwrContext* context, const AVChannelLayout& outLayout,
                         AVSampleFormat outFormat, const AVChannelLayout& inLayout,
                         AVSampleFormat inFormat, bool resampling, float lfeLevel = 0);

// Samples held back by the stream's active resampler, in output samples.
int64_t ResamplerDelay(const EngineOutputStream& ost);

// The encoder thread of one audio output stream: the run's thread decodes, resamples and
// frames the samples; this thread encodes the frames and writes the packets, so that the two
// halves of a job overlap. Frames pass in order, gathered into batches of a few thousand
// samples so that the threads meet once per batch rather than once per frame (Vorbis frames
// hold 64 samples); the encoder sees exactly the frames of a one-thread run and the output is
// the same byte for byte (audio/EncodeThread.cpp).
//
// Locks: the queue's own lock, then nothing. The muxer is written under the task's MuxerLock,
// which is taken after no other lock and held only for one packet's write.
class TEncodeThread {
public:
    // Batches that may wait between the two threads.
    static constexpr size_t QueueLength = 4;
    // A batch is handed over once it holds this many samples per channel, or this many frames.
    static constexpr int BatchSamples = 8192;
    static constexpr size_t BatchFrames = 64;
    // Frames given back for reuse at most.
    static constexpr size_t SpareFrames = (QueueLength + 2) * BatchFrames;

    TEncodeThread(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost);
    // Drops what still waits and joins.
    ~TEncodeThread();
    TEncodeThread(const TEncodeThread&) = delete;
    TEncodeThread& operator=(const TEncodeThread&) = delete;

    // Adds a copy of `frame` to the batch being gathered; hands the batch over when it is
    // full, waiting while the queue is full. Raises the failure of the encoder thread, if it
    // failed.
    void Push(const AVFrame* frame);
    // Hands over the last batch and the encoder's drain, waits until everything is written
    // and the thread has ended, and returns the bytes it encoded. Raises its failure, if any.
    int64_t Finish();
    // Ends the thread without writing what still waits (a run that failed or was stopped).
    void Abort();
    bool Finished() const { return finished_; }

private:
    using TBatch = std::vector<TFramePtr>; // a null frame is the drain

    TFramePtr CopyOf(const AVFrame* frame);
    void HandOver();
    void Work();
    void RethrowFailure();

    TCustomFFmpeg& task_;
    AVFormatContext* muxer_;
    EngineOutputStream& ost_;

    // The batch being gathered; the run's thread alone touches it.
    TBatch gathering_;
    int gatheredSamples_ = 0;
    TBatch spares_; // frames to copy into

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<TBatch> queue_;
    TBatch returned_;       // frames the encoder thread gave back
    bool draining_ = false; // the drain was handed over (the run's thread alone)
    std::atomic<bool> aborting_{false};
    bool ended_ = false; // the thread left its loop
    std::exception_ptr failure_;
    int64_t bytes_ = 0;
    bool finished_ = false;
    std::thread thread_;
};

// Encodes `frame` (null: the drain) and writes its packets at once, on the calling thread.
int64_t EncodeAudioFrameNow(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                            AVFrame* frame);
