// Opening input files: the application's description of one input (TInputOptions) and the
// helpers the task uses while opening. The task's own operations (ApplyInputOptions,
// OpenInputFile, CheckInputStreamKinds) are declared in FFmpeg.h and implemented in this
// folder: InputOptions.cpp, InputOpen.cpp, InputStreams.cpp.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/avutil.h>
}

#include "FFPtr.h"

struct AVCodec;
struct AVDictionary;
struct AVStream;
struct TOptionState;
class TCustomFFmpeg;

// One input of a job, as the application describes it. Passed by value; the texts are owned.
struct TInputOptions {
    // Name of the input; filled by the encoder component when empty, not read by the engine.
    std::string FileName;
    // Container format name (option "f"); empty: detect.
    std::string ForceFormat;
    // Seek position in microseconds (option "ss"); AV_NOPTS_VALUE: none.
    int64_t StartTime = AV_NOPTS_VALUE;
    // Program to keep (option "programid"); negative: all.
    int32_t ProgramID = -1;
    // Further options, as option lines ("name=value" separated by line breaks or "<CRLF>").
    std::string ExtOptions;
};

// True for the option names that ApplyInputOptions leaves to the output phase (new streams,
// stream presets, video filters).
bool IsOutputPhaseOption(const std::string& name);

// The parameters of a demuxer that reads raw or captured media (sample rate, channels, picture
// size, pixel format, frame rate, capture channel and standard) from the pending options, each
// only when it has a value. Returns a negative library error code when the dictionary cannot
// be built.
int BuildInputFormatParameters(const TOptionState& options, AVDictionary** parameters);

// One stream of a freshly opened input: its decoder context, filled from the stream's
// parameters and the task's library options, with the stream's parameters read back into the
// task's pending options and its discard level set. `byName` receives the decoder chosen by
// name for the stream's kind, or null. Raises FFmpegException for an invalid media type or
// when the context cannot be made.
TCodecContextPtr PrepareInputStream(TCustomFFmpeg& task, AVStream* stream, const AVCodec*& byName);
