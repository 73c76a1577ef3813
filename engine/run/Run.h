// The transcode run of a task: the set-up that turns the opened inputs and the created outputs
// into a pipeline (stream tables, mapping, copy or encode parameters, codecs, metadata, headers),
// the main loop that reads, corrects, decodes and routes packets, the join switch, the end of
// the run and the clean-up. One TTranscodeRun lives for one call of TCustomFFmpeg::Transcode;
// its destructor runs the clean-up, so every way out of the run releases what it made.
//
// Files: Transcode.cpp (entry), RunSetup.cpp (stream tables, stream parameters, codecs,
// initial times, headers), StreamMapping.cpp (which input feeds each output; the mapping
// dump), RunMetadata.cpp (metadata and chapter maps), MainLoop.cpp, DecodeRoute.cpp,
// CopyOutput.cpp, SubtitleRoute.cpp, JoinSwitch.cpp, RunEnd.cpp, RunCleanup.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FFmpeg.h"
#include "audio/Audio.h" // TFramePtr, TPacketPtr

struct TCodecParametersDeleter {
    void operator()(AVCodecParameters* p) const { ff::avcodec_parameters_free(&p); }
};
using TCodecParametersPtr = std::unique_ptr<AVCodecParameters, TCodecParametersDeleter>;

// The media type of an output stream: its encoder context's, else its stream parameters'.
AVMediaType OutputStreamType(const EngineOutputStream& ost);
AVMediaType InputStreamType(const EngineInputStream& ist);

// An unopened encoder context for `codec` with the settings of `src` (JoinSwitch.cpp).
TCodecContextPtr CloneEncoderSettings(const AVCodecContext* src, const AVCodec* codec);

// Before a codec opens: its thread count and kind from the task's `threads` option or, without
// one, from the threads available to the task (CodecThreads.cpp).
void ShareCodecThreads(AVCodecContext* ctx, const AVCodec* codec, bool encoder,
                       const TCustomFFmpeg& task);

class TTranscodeRun {
public:
    explicit TTranscodeRun(TCustomFFmpeg& task);
    ~TTranscodeRun();
    TTranscodeRun(const TTranscodeRun&) = delete;
    TTranscodeRun& operator=(const TTranscodeRun&) = delete;

    // Set-up, loop and end of the run; failures raise FFmpegException (the clean-up runs in
    // the destructor either way).
    void Run();

private:
    // ---- set-up (RunSetup.cpp)
    void Setup();
    void BuildInputTable();
    void ConfigureOutputStreams();
    void ApplyCopyParameters(EngineOutputStream& ost, EngineInputStream& ist);
    void ApplyEncodeParameters(EngineOutputStream& ost, EngineInputStream& ist, int position);
    void OpenPassLog(EngineOutputStream& ost, int position);
    void OpenEncoders();
    void OpenDecoders();
    void InitInputTimes();
    void WriteHeaders();
    // The encoder thread of a job whose only output is one re-encoded audio stream, when a
    // spare core is there for it; finished before the trailers, stopped first by the clean-up
    // (EncodeThreads.cpp).
    // The output stream to encode on a thread of its own, if the job has one.
    EngineOutputStream* EncodeThreadStream() const;
    void StartEncodeThreads();
    void FinishEncodeThreads();
    void StopEncodeThreads();
    // Logs the output formats and the stream mapping, then `message` at llError, and raises it.
    [[noreturn]] void FailAfterDump(const std::string& message);

    // ---- mapping (StreamMapping.cpp)
    void MapStreams();
    int FindSourceWithoutMaps(const EngineOutputStream& ost, int outputFile) const;
    void DumpOutputFormat(int outputFile) const;
    void DumpFormatsAndMapping() const;

    // ---- metadata and chapters (RunMetadata.cpp)
    void CopyMetadataAndChapters();
    void CopyChapters(int inputFile, int outputFile);

    // ---- main loop (MainLoop.cpp)
    void Loop();
    int ChooseInput(int current) const;
    // Time offset, time scale, discontinuity; false when the packet must be dropped.
    bool AdjustTimestamps(AVPacket& pkt, EngineInputStream& ist, EngineInputFile& file);
    void MaybeReport(int currentFile);
    // ---- looped inputs (InputLoop.cpp)
    // At the end of an input opened with "loop_input": back to its start, its times going on
    // from where it ended. False when it does not loop (or cannot: no packet in the last
    // pass, a failed seek).
    bool LoopFromStart(int file);

    // ---- decode and route (DecodeRoute.cpp)
    // Returns 0, or -1 when decoding failed. `pkt` null drains the decoder.
    int DecodeAndRoute(EngineInputStream& ist, int index, const AVPacket* pkt);
    int DecodeAudio(EngineInputStream& ist, int index, const AVPacket* pkt);
    int DecodeVideo(EngineInputStream& ist, int index, const AVPacket* pkt);
    int DecodeSubtitle(EngineInputStream& ist, int index, const AVPacket* pkt);
    // A decoded chunk (null for a subtitle) to the outputs that re-encode from the stream,
    // after rate emulation; the packet to the outputs that copy it.
    void RouteDecoded(EngineInputStream& ist, int index, AVFrame* frame);
    void RouteToEncoders(EngineInputStream& ist, int index, AVFrame* frame);
    void RouteCopies(EngineInputStream& ist, int index, const AVPacket& pkt);
    // ---- subtitles (SubtitleRoute.cpp)
    // A decoded subtitle, with the pts of its packet, to the outputs that encode from the
    // stream; their encoder parameters at set-up.
    void RouteSubtitle(EngineInputStream& ist, int index, const AVSubtitle& sub, int64_t pts);
    void InitSubtitleOutput(EngineOutputStream& ost, EngineInputStream& ist);
    void AdvanceWithoutDecoding(EngineInputStream& ist, const AVPacket& pkt);
    void WarnMultipleFrames(EngineInputStream& ist, const AVPacket* pkt, int frames);
    void EmulateRate(const EngineInputStream& ist) const;
    void DrainFilters(EngineInputStream& ist, int index);
    void DrainEncoders(int index);

    // ---- copy output (CopyOutput.cpp)
    void CopyOutput(EngineOutputStream& ost, const EngineInputStream& ist, const AVPacket& pkt);

    // ---- join switch (JoinSwitch.cpp); true when the loop must end
    bool JoinSwitch(int file);
    void KeepPristineEncoder(int position);
    void ReopenEncoder(int position, int targetPosition);
    double StartBehindEncoderDelay(int group);

    // ---- end of the run (RunEnd.cpp)
    void EndOfRun();
    // True when an output of the run has an audio stream.
    bool HasAudioOutput() const;
    void CloseEncoder(EngineOutputStream& ost);
    void CloseDecoder(EngineInputStream& ist);

    // ---- clean-up (RunCleanup.cpp)
    void Cleanup();
    void RegisterReadStopCheck();
    void UnregisterReadStopCheck();
    static bool ReadStopCheck(void* data, void* param);

    AVFormatContext* OutputContext(int outputFile) const;
    AVFormatContext* InputContext(int inputFile) const;

    TCustomFFmpeg& task_;
    const bool joinMode_;
    std::vector<InputFileState> files_;
    // The output stream table: every output stream record in output-file order.
    std::vector<EngineOutputStream*> ostTable_;
    // Positions in ostTable_ of the output streams fed by each input stream.
    std::vector<std::vector<int>> fedBy_;
    std::vector<char> noPacket_;
    int noPacketCount_ = 0;
    int groupSize_ = 0;
    int64_t lastReportTime_ = 0;
    TPacketPtr packet_;
    TPacketPtr copyPacket_;
    TFramePtr frame_;
    // Join mode: the encoder settings of the first group before opening, to open a fresh
    // encoder for each next input (a drained encoder takes no more frames).
    std::vector<TCodecContextPtr> pristineEncoders_;
    std::vector<const AVCodec*> encoderCodecs_;
    // The stop check answers only while a read is in progress, so that a stopped run still
    // writes its last packets and trailers through the same interrupt-checked I/O.
    bool reading_ = false;
    bool readStopCheck_ = false;
    bool cleanedUp_ = false;
    bool sizeLimitReached_ = false; // the loop ended at the output size limit
};
