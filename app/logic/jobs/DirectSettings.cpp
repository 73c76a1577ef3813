#include "DirectSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "OutputFormats.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFormatStubs.h"
#include "options/OptionLines.h"
#include "output/Output.h"

namespace {

// What each format takes besides a rate and channels: a bit rate (not the lossless ones) and
// a quality on its encoder's scale (MP3 and OGG only).
const struct {
    int Format;
    bool BitRate;
    bool Quality;
    double QualityMin;
    double QualityMax;
    const char* QualityBest; // which end of the scale is the best
} FormatChoices[] = {
    {ofWAV, false, false, 0, 0, ""},  {ofMP3, true, true, 0, 9, "0"},
    {ofWMA, true, false, 0, 0, ""},   {ofOGG, true, true, -1, 10, "10"},
    {ofAAC, true, false, 0, 0, ""},   {ofM4A, true, false, 0, 0, ""},
    {ofFLAC, false, false, 0, 0, ""}, {ofMP2, true, false, 0, 0, ""},
    {ofOpus, true, false, 0, 0, ""},
};

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string List(const std::set<int>& values) {
    std::string text;
    for (const int value : values)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return text;
}

// The encoder a job of the format and preset gets: the preset's, the format's, else the
// container's default.
const AVCodec* EncoderOf(int format, int preset) {
    const TOutputFormatInfo* info = OutputFormatInfo(format);
    const TPresetSettings* settings = PresetSettings(format, preset);
    const char* name = settings && *settings->Codec ? settings->Codec : info->Codec;
    if (*name)
        return ff::avcodec_find_encoder_by_name(name);
    const std::string file = std::string("x") + info->Extension;
    const AVOutputFormat* container = ff::av_guess_format(nullptr, file.c_str(), nullptr);
    return container ? ff::avcodec_find_encoder(container->audio_codec) : nullptr;
}

std::string RateProblem(const AVCodec* codec, int rate) {
    if (rate <= 0 || codec->supported_samplerates == nullptr)
        return "";
    std::set<int> rates;
    for (const int* p = codec->supported_samplerates; *p != 0; ++p)
        rates.insert(*p);
    if (rates.count(rate) > 0)
        return "";
    return std::string(codec->name) + " does not support " + std::to_string(rate) +
           " Hz; it supports " + List(rates);
}

std::string ChannelProblem(const AVCodec* codec, int channels) {
    if (channels <= 0 || codec->ch_layouts == nullptr)
        return "";
    std::set<int> counts;
    for (const AVChannelLayout* p = codec->ch_layouts; p->nb_channels != 0; ++p)
        counts.insert(p->nb_channels);
    if (counts.count(channels) > 0)
        return "";
    return std::string(codec->name) + " does not support " + std::to_string(channels) +
           (channels == 1 ? " channel" : " channels") + "; it supports " + List(counts);
}

} // namespace

void ApplyDirectSettings(const TDirectSettings& direct, TOutputOptions& options) {
    if (direct.BitRate > 0 || direct.HasQuality) {
        // The preset's quality line goes: a bit rate or a quality of the user's replaces it.
        std::string lines;
        for (const TOptionLine& line : ParseOptionLines(options.ExtOptions))
            if (!line.Name.empty() && line.Name != "aq")
                lines += (lines.empty() ? "" : "\n") + line.Name + "=" + line.Value;
        if (direct.HasQuality) {
            lines += (lines.empty() ? "" : "\n") + ("aq=" + Number(direct.Quality));
            options.AudioBitrate = -1;
        } else {
            options.AudioBitrate = direct.BitRate;
        }
        options.ExtOptions = lines;
    }
    if (direct.SampleRate != -1)
        options.AudioSampleRate = direct.SampleRate > 0 ? direct.SampleRate : -1;
    if (direct.Channels != -1)
        options.AudioChannels = direct.Channels > 0 ? direct.Channels : -1;
}

std::string DirectSettingsProblem(int format, int preset, const TDirectSettings& direct) {
    const TOutputFormatInfo* info = OutputFormatInfo(format);
    if (info == nullptr)
        return "unknown output format";
    const std::string name = Lower(info->Name);
    const auto* choices = std::find_if(std::begin(FormatChoices), std::end(FormatChoices),
                                       [format](const auto& c) { return c.Format == format; });
    if (choices == std::end(FormatChoices))
        return "";
    if (direct.BitRate > 0 && !choices->BitRate)
        return name + " is lossless and takes no bit rate";
    if (direct.HasQuality) {
        if (!choices->Quality)
            return name + " takes no quality; give it a bit rate (--bitrate)";
        if (direct.Quality < choices->QualityMin || direct.Quality > choices->QualityMax)
            return name + " quality must be from " + Number(choices->QualityMin) + " to " +
                   Number(choices->QualityMax) + " (" + choices->QualityBest + " is the best)";
    }
    const AVCodec* codec = EncoderOf(format, preset);
    if (codec == nullptr)
        return "the media libraries have no encoder for " + name;
    const TPresetSettings* settings = PresetSettings(format, preset);
    const int rate = direct.SampleRate != -1 ? direct.SampleRate
                     : settings              ? settings->SampleRate
                                             : -1;
    const int channels = direct.Channels != -1 ? direct.Channels
                         : settings            ? settings->Channels
                                               : -1;
    std::string problem = RateProblem(codec, rate);
    if (problem.empty())
        problem = ChannelProblem(codec, channels);
    return problem;
}
