// The direct settings of the command line, -b/--bitrate, -q/--quality, -r/--rate and
// -c/--channels: their options, and their texts read into the job settings that replace the
// preset's values.
#pragma once

#include <string>

#include "jobs/DirectSettings.h"

namespace CLI {
class App;
}

// The texts given to the options, empty when not given.
struct TDirectSettingTexts {
    std::string BitRate;
    std::string Quality;
    std::string Rate;
    std::string Channels;
};

// Adds the four options, storing into `texts`.
void AddDirectSettingOptions(CLI::App& app, TDirectSettingTexts& texts);

// Reads `texts` into `settings`; empty, or the reason a text is wrong ("--rate takes ...").
std::string ReadDirectSettings(const TDirectSettingTexts& texts, TDirectSettings& settings);

// A bit rate such as "192k", "192000" or "192" (below 1000: kilobits); -1 when it is none.
int ParseBitRate(const std::string& text);
// A rate in Hz such as "44100" or "44.1k", KeepSourceValue for "keep"; -1 when it is none.
int ParseSampleRate(const std::string& text);
// 1 to 8, "mono", "stereo", KeepSourceValue for "keep"; -1 when it is none.
int ParseChannels(const std::string& text);
