// Applying the application's description of an input to a task, and the demuxer parameters
// made from the pending options.
#include <algorithm>
#include <array>
#include <string_view>

#include "FFmpeg.h"
#include "binding/AVUtilStubs.h"
#include "input/Input.h"
#include "options/OptionLines.h"

namespace {

// Options that only mean something once an output exists: they are applied with the output.
constexpr std::array<std::string_view, 8> OutputPhaseOptions = {
    "newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"};

int SetParameter(AVDictionary** parameters, const char* key, const std::string& value) {
    return ff::av_dict_set(parameters, key, value.c_str(), 0);
}

} // namespace

bool IsOutputPhaseOption(const std::string& name) {
    return std::find(OutputPhaseOptions.begin(), OutputPhaseOptions.end(), name) !=
           OutputPhaseOptions.end();
}

int BuildInputFormatParameters(const TOptionState& o, AVDictionary** parameters) {
    int ret = 0;
    if (ret >= 0 && o.AudioSampleRate > 0)
        ret = SetParameter(parameters, "sample_rate", std::to_string(o.AudioSampleRate));
    // A channel count without an order: the demuxers' channel-layout option takes that form.
    if (ret >= 0 && o.AudioChannels > 0)
        ret = SetParameter(parameters, "ch_layout", std::to_string(o.AudioChannels) + " channels");
    if (ret >= 0 && o.FrameWidth > 0 && o.FrameHeight > 0)
        ret = SetParameter(parameters, "video_size",
                           std::to_string(o.FrameWidth) + "x" + std::to_string(o.FrameHeight));
    if (ret >= 0 && o.FramePixFmt >= 0) {
        const char* name = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(o.FramePixFmt));
        if (name != nullptr)
            ret = SetParameter(parameters, "pixel_format", name);
    }
    // The frame rate is the inverse of the demuxer's time base; a denominator of 0 marks it
    // as unset.
    if (ret >= 0 && o.FrameRate.num > 0 && o.FrameRate.den > 0)
        ret = SetParameter(parameters, "framerate",
                           std::to_string(o.FrameRate.num) + "/" + std::to_string(o.FrameRate.den));
    if (ret >= 0 && o.VideoChannel != 0)
        ret = SetParameter(parameters, "channel", std::to_string(o.VideoChannel));
    if (ret >= 0 && o.VideoStandard.has_value() && !o.VideoStandard->empty())
        ret = SetParameter(parameters, "standard", *o.VideoStandard);
    return ret;
}

void TCustomFFmpeg::ApplyInputOptions(const TInputOptions& options) {
    PendingInputOptions = options;
    // Codec names and "s" take effect here; stream-level options wait for the output.
    for (const TOptionLine& line : ParseOptionLines(options.ExtOptions))
        if (!IsOutputPhaseOption(line.Name))
            ParseOption(line.Name, line.Value);
    ParseOption("f", options.ForceFormat);
    if (options.StartTime != AV_NOPTS_VALUE)
        StartTime = options.StartTime;
    if (options.ProgramID >= 0)
        ProgramId = options.ProgramID;
}
