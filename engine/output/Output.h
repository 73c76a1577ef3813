// Output creation of the engine task: the description of one output (TOutputOptions with its
// TStreamInfo), the format choices made for encoded streams, and what the run finds on the
// output side.
//
// The task's members live in this folder: CreateOutputFile (OutputCreate.cpp), the stream
// creation NewVideoStream/NewAudioStream/NewSubtitleStream (NewStreams.cpp),
// AddStreamToLastOutput (AddStream.cpp), ApplyTarget (Target.cpp), JoinInputs
// (JoinInputs.cpp) and ApplyOutputOptions (OutputOptions.cpp).
//
// What the run finds after a successful CreateOutputFile:
// - OutputFiles[slot] is the container. Its streams carry the codec type and id of their
//   encoder context (codecpar filled from it at creation), the stream id, the language tag and
//   the sample aspect ratio. TOutputContainer::HeaderOptions() holds the muxer's own options
//   (its private options recorded in the option store, "preload", "loop") for
//   avformat_write_header; a value the muxer refuses there makes the header fail, which the
//   run reports as "%s: Invalid encoding parameters" with the container's file name.
// - OutputStreams[slot][k] is the record of stream k: fileIndex = slot, streamIndex = k,
//   stream, streamCopy, bitstreamFilters and the encoder context `encoder`, allocated for the
//   chosen encoder (or for none) and configured, not opened.
// - OutputCodecs[i] is the encoder chosen by name for the i-th output stream of all slots in
//   order, or null (then the encoder for the context's codec id is meant).
// - In join mode the slots after the first share the first slot's container; their records
//   have fileIndex, streamIndex and stream but no encoder of their own: the stream of index k
//   is encoded by OutputStreams[first slot][k]->encoder.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

// Tags and creation time of an output.
struct TStreamInfo {
    // Days since 30 December 1899, local time: 0 = now, greater than 0 = that moment,
    // negative = no creation time.
    double Timestamp = -1;
    int32_t Year = -1;  // "year" when greater than 0
    int32_t Track = -1; // "track" when greater than 0
    std::string Title;  // the six texts: their tags when not empty
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

// The application's description of one output. -1 (or empty, false) leaves the engine's own
// value or the container's default.
struct TOutputOptions {
    std::string FileName;  // filled with the name given to ApplyOutputOptions when empty
    std::string Extension; // not read by the engine
    std::string ForceFormat;
    int32_t PacketSize = -1;
    int32_t MuxRate = -1;
    float MuxDelay = -1;
    float MuxPreload = -1;
    std::string AudioCodec; // codec name or "copy"
    std::string AudioPreset;
    bool DisableAudio = false;
    int32_t AudioVolume = -1;
    int32_t AudioChannels = -1;
    int32_t AudioSampleRate = -1;
    int32_t AudioBitrate = -1; // bits per second; ignored under a target
    int32_t AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    int32_t AudioSyncMethod = 0;
    std::string AudioTag;
    std::string VideoCodec; // codec name or "copy"
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int32_t GopSize = -1;
    int32_t VideoBitrate = -1; // ignored under a target
    int32_t VideoMaxRate = -1;
    int32_t VideoMinRate = -1;
    int32_t VideoBitrateTolerance = -1;
    int32_t VideoBufSize = -1;
    int32_t VideoSyncMethod = -1;
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec; // codec name or "copy"
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamps = false;
    int64_t StartTime = AV_NOPTS_VALUE;     // microseconds
    int64_t RecordingTime = AV_NOPTS_VALUE; // microseconds
    TStreamInfo StreamInfo;
    int32_t TargetType = 0;  // 1 "vcd", 2 "svcd", 3 "dvd"; other values: none
    int32_t NormType = 0;    // 1 "pal", 2 "ntsc", other values "auto"
    int32_t NormDefault = 1; // when "auto" finds none: 1 "pal", other values "ntsc"
    bool AudioHook = false;
    bool VideoInputHook = false;
    bool VideoOutputHook = false;
    int32_t VideoHookBitsPixel = 24;
    bool Join = false;
    std::string ExtOptions; // option lines: further options, defaults and extra streams
};

// TCustomFFmpeg::ApplyOutputOptions(fileName, options, wireHooks) applies the record to the
// task in this order and creates the output: the kept copy; the defaults of the codecs,
// presets, frame size and filters (the record's fields, else the first ExtOptions line of that
// name); the target of TargetType; the codecs and presets; the other ExtOptions lines; the
// fields; the frame size and filters; wireHooks (the caller connects its hook relays for the
// record's hook flags) and VideoHookBitsPixel; CreateOutputFile(fileName, Join). On success
// every "newaudio", "newvideo", "newsubtitle" line adds a stream, with the codec, preset, size
// and filter lines of its kind not used yet (or the defaults), and JoinInputs follows when Join
// is set. Returns the number of output slots then (join mode adds slots), or -1 with LastError
// set when CreateOutputFile fails, which also resets the kept copy. Option errors raise
// FFmpegException as ParseOption does.

// Whole seconds since 1 January 1970 of a date-time (days since 30 December 1899, local time),
// taking the local time zone's standard offset (no daylight-saving correction). 0 means now.
int64_t StreamInfoTimestampToUnix(double dateTime);

// The format choices for an encoded stream, made on its encoder context:
// - the first listed sample format when the encoder lists formats and the context's is not one;
void ChooseSampleFormat(AVCodecContext* enc, const AVCodec* codec);
// - the listed rate closest to the context's (the first of equals), with the warning
//   "Requested sampling rate unsupported using closest supported (%d)" for a changed rate
//   logged for `sender`;
void ChooseSampleRate(AVCodecContext* enc, const AVCodec* codec, void* sender);
// - the channel layout: a layout the encoder takes stands (its list, or for encoders that list
//   none but take only some, such as libopus, a table); another layout becomes the taken
//   layout of that count (5.1(side) gives 5.1, which the resampler maps), and a count the
//   encoder does not take raises "Encoder %s does not take the channel layout %s; it takes
//   %s"; without any list an unspecified layout becomes the default layout of the count,
//   since encoders such as libmp3lame, mp2 and aac refuse to open without a layout;
void ChooseChannelLayout(AVCodecContext* enc, const AVCodec* codec);
// - the encoder's first listed pixel format when the context's is not a candidate: the
//   encoder's list, or for MJPEG and lossless JPEG with a strictness below 0 fixed lists that
//   hold the full-range formats.
void ChoosePixelFormat(AVCodecContext* enc, const AVCodec* codec);
