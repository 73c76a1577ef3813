// The library option store of a task: codec, container and scaler contexts that exist only
// to hold the values of FFmpeg's own options, plus the names given, in order. When inputs
// and outputs set up their real codecs and containers, the recorded options are copied in.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "FFPtr.h"

// Media types 0 video, 1 audio, 2 data, 3 subtitle, 4 attachment.
constexpr int OptionMediaTypeCount = 5;

// The option flag mask of each media type, used when looking names up.
constexpr int OptionTypeMasks[OptionMediaTypeCount] = {
    AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Masks of the callers of ApplyLibraryOptions.
constexpr int InputContainerMask = AV_OPT_FLAG_DECODING_PARAM;
constexpr int OutputContainerMask = AV_OPT_FLAG_ENCODING_PARAM;
constexpr int VideoDecoderMask = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM;
constexpr int AudioDecoderMask = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM;
constexpr int VideoEncoderMask = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;
constexpr int AudioEncoderMask = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;
constexpr int SubtitleEncoderMask = AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM;

struct TOptionContext {
    std::vector<std::string> Names;
    // None when the name was accepted by a context (the context then holds the value).
    std::vector<std::optional<std::string>> Values;
    TCodecContextPtr CodecContexts[OptionMediaTypeCount];
    TFormatContextPtr FormatContext;
    TScalerContextPtr ScalerContext;
};

// The message of the last rejected library option; one text for the whole program.
extern std::string LastOptionError;
