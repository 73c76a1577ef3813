// Shared media helpers: readable texts for error codes, media types, codecs and times; a
// whole-file reader; the time-stamp correction of decoded video; and the picture converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/dict.h>
}

#include "FormatConverter.h"
#include "PtsCorrection.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFormatContext;

// "HH:MM:SS.mmm" of a time in microseconds (hours are not reduced modulo 24); "N/A" for
// AV_NOPTS_VALUE.
std::string DurationToStr(int64_t microseconds);

// The text of an error code: the fixed table first, then FFmpeg's own text for a negative
// code FFmpeg knows, else "Error number %d occurred".
std::string ErrorCodeText(int code);
// prefix + ": " + ErrorCodeText(code).
std::string FormatErrorMessage(const std::string& prefix, int code);
// Number of codes the fixed error table holds.
size_t ErrorCodeTableSize();

// "Video", "Audio", "Data", "Subtitle", "Attachment" for 0..4, otherwise "Unknown".
std::string MediaTypeToStr(int mediaType);

// Display name of a stream's codec, looked up among encoders or decoders.
std::string CodecDisplayName(AVCodecID codecID, uint32_t codecTag, bool encoder);
std::string CodecDisplayName(const AVCodecContext* context, bool encoder);
std::string CodecDisplayName(const AVCodecParameters* parameters, bool encoder);

// Value of the first entry whose key matches without regard to letter case, else `def`.
std::string MetadataValue(const AVDictionary* metadata, const std::string& key,
                          const std::string& def);

// True when the audio of a container can be decoded: it has no audio stream, or one of its
// audio streams (not discarded) has channels, a sample rate and a sample format.
bool AudioParametersUsable(const AVFormatContext* container);

// True for a byte from 32 to 126.
bool IsPrintableChar(uint8_t c);

// Memory from av_malloc, released with av_free.
struct TAVMallocDeleter {
    void operator()(void* p) const;
};
using TAVMallocBuffer = std::unique_ptr<uint8_t[], TAVMallocDeleter>;

// Reads a whole regular file into a new buffer followed by one zero byte; `size` is the
// number of bytes read plus one. Returns 0, -1 when the file cannot be opened or read, or
// -12 (AVERROR(ENOMEM)) when the buffer cannot be allocated. Ownership of the buffer may be
// handed to FFmpeg (release()), which frees it with av_free.
int ReadFileToBuffer(const std::string& fileName, TAVMallocBuffer& buffer, size_t& size);
