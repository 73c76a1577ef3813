#include "CliSettings.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>

namespace {

constexpr const char* Group = "Settings replacing the preset's";
constexpr int MaxChannels = 8;

// `text` as a number with an optional suffix "k" (thousands) or "M" (millions); false when it
// is none.
bool ParseScaled(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    const std::string suffix = end;
    if (end == text.c_str() || !std::isfinite(value))
        return false;
    if (suffix == "k" || suffix == "K")
        value *= 1e3;
    else if (suffix == "M" || suffix == "m")
        value *= 1e6;
    else if (!suffix.empty())
        return false;
    return true;
}

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value);
}

std::string Wrong(const char* option, const char* takes, const std::string& text) {
    return std::string(option) + " takes " + takes + ", not \"" + text + "\"";
}

} // namespace

int ParseBitRate(const std::string& text) {
    double value = 0;
    if (!ParseScaled(text, value) || value <= 0 || value > 1e8)
        return -1;
    if (value < 1000)
        value *= 1000;
    return static_cast<int>(std::lround(value));
}

int ParseSampleRate(const std::string& text) {
    if (text == "keep")
        return KeepSourceValue;
    double value = 0;
    if (!ParseScaled(text, value) || value < 1 || value > 1e6 || value != std::floor(value))
        return -1;
    return static_cast<int>(value);
}

int ParseChannels(const std::string& text) {
    if (text == "keep")
        return KeepSourceValue;
    if (text == "mono")
        return 1;
    if (text == "stereo")
        return 2;
    double value = 0;
    if (!ParseNumber(text, value) || value < 1 || value > MaxChannels || value != std::floor(value))
        return -1;
    return static_cast<int>(value);
}

void AddDirectSettingOptions(CLI::App& app, TDirectSettingTexts& texts) {
    app.add_option("-b,--bitrate", texts.BitRate,
                   "Bit rate, e.g. 192k (a number below 1000 counts in kbps)")
        ->type_name("RATE")
        ->group(Group);
    app.add_option("-q,--quality", texts.Quality,
                   "The encoder's quality (VBR): mp3 0 to 9 (0 is the best), ogg -1 to 10 "
                   "(10 is the best)")
        ->type_name("Q")
        ->group(Group);
    app.add_option("-r,--rate", texts.Rate, "Sample rate in Hz, e.g. 44100, or keep (the source's)")
        ->type_name("HZ|keep")
        ->group(Group);
    app.add_option("-c,--channels", texts.Channels,
                   "Channels: 1 to 8, mono, stereo, or keep (the source's)")
        ->type_name("N|keep")
        ->group(Group);
}

std::string ReadDirectSettings(const TDirectSettingTexts& texts, TDirectSettings& settings) {
    settings = TDirectSettings();
    if (!texts.BitRate.empty() && !texts.Quality.empty())
        return "--bitrate and --quality exclude each other: give one of them";
    if (!texts.BitRate.empty()) {
        settings.BitRate = ParseBitRate(texts.BitRate);
        if (settings.BitRate < 0)
            return Wrong("--bitrate", "a bit rate such as 192k or 192000", texts.BitRate);
    }
    if (!texts.Quality.empty()) {
        if (!ParseNumber(texts.Quality, settings.Quality))
            return Wrong("--quality", "a number on the encoder's scale", texts.Quality);
        settings.HasQuality = true;
    }
    if (!texts.Rate.empty()) {
        settings.SampleRate = ParseSampleRate(texts.Rate);
        if (settings.SampleRate == -1)
            return Wrong("--rate", "a rate in Hz such as 44100, or keep", texts.Rate);
    }
    if (!texts.Channels.empty()) {
        settings.Channels = ParseChannels(texts.Channels);
        if (settings.Channels == -1)
            return Wrong("--channels", "1 to 8, mono, stereo or keep", texts.Channels);
    }
    return "";
}
