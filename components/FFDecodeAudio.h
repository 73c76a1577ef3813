// Decoding the audio of a file in full, in order, into interleaved samples of one format:
// the file's own (made interleaved), or a target the samples are converted to on the way,
// resampled with the engine's own filter when the rate or the channel count differs. Used
// to compare a written output with its source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "FFPtr.h"
#include "files/MediaOpen.h"

struct AVFrame;
struct AVPacket;

// Rate, channel count and interleaved sample format of decoded audio.
struct TAudioFormat {
    int SampleRate = 0;
    int Channels = 0;
    AVSampleFormat Format = AV_SAMPLE_FMT_NONE; // always an interleaved format
    bool operator==(const TAudioFormat&) const = default;
};

// The full scale of a sample format: 128 for u8, 32768 for s16, 2^31 for s32, 2^63 for s64,
// 1 for the floating-point formats.
double SampleFullScale(AVSampleFormat format);

class TAudioDecodeReader {
public:
    TAudioDecodeReader();
    ~TAudioDecodeReader();
    TAudioDecodeReader(const TAudioDecodeReader&) = delete;
    TAudioDecodeReader& operator=(const TAudioDecodeReader&) = delete;

    // Opens the file's best audio stream (the one a conversion takes) and its decoder.
    // False with LastErrMsg set.
    bool Open(const std::string& fileName);
    // The decoder's format, made interleaved.
    const TAudioFormat& SourceFormat() const { return source_; }
    // Converts the samples to `target` from now on. False with LastErrMsg when the pair
    // cannot be converted.
    bool SetTarget(const TAudioFormat& target);
    const TAudioFormat& Format() const { return target_; }
    // Appends up to `frames` frames of the samples, interleaved, each divided by the full
    // scale of the format; returns the number appended: 0 at the end, -1 on an error
    // (LastErrMsg).
    int64_t Read(std::vector<double>& out, int64_t frames);
    const std::string& LastErrMsg() const { return lastErrMsg_; }

private:
    bool Fail(const std::string& message);
    // Decodes the next frame and converts it into pending_; false at the end or on an error.
    bool DecodeMore();
    bool ConvertFrame(const AVFrame* frame);
    bool Flush();

    std::string fileName_;
    TInputContextPtr input_;
    TCodecContextPtr decoder_;
    TResamplerPtr converter_;
    TFramePtr frame_;
    TPacketPtr packet_;
    int streamIndex_ = -1;
    TAudioFormat source_;
    TAudioFormat target_;
    bool inputEnded_ = false;
    bool decoderDrained_ = false;
    bool flushed_ = false;
    std::vector<double> pending_; // converted samples not read yet
    size_t pendingStart_ = 0;
    std::string lastErrMsg_;
};
