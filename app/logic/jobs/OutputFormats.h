// The output formats of the converter and their presets: what each format's extension is and
// which encoder settings each preset puts into a job.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "settings/globals.h"

// The settings one preset gives a job. Empty texts and -1 numbers leave the field as it is
// (the engine then keeps the source's value or uses the container's default encoder).
struct TPresetSettings {
    const char* Caption;
    const char* Codec;
    int Channels;
    int SampleRate;
    int BitRate; // bits per second; SourceBitRate: the source's audio bit rate
    const char* ExtOptions;
};

// BitRate of a preset that takes the source's audio bit rate.
constexpr int SourceBitRate = -2;

struct TOutputFormatInfo {
    const char* Name;      // button text: "WAV", "MP3", ...
    const char* Extension; // with the dot
    const char* PresetListName;
    const char* Codec;      // the format's codec for every preset ("" = the container's default)
    bool DisableVideo;      // WMA, OGG and M4A jobs also disable video on the output side
    const char* VideoCodec; // OGG names a video codec even though video is disabled
    std::vector<TPresetSettings> Presets;
};

// The eight formats, indexed by TOutputFormatIndex.
const std::vector<TOutputFormatInfo>& OutputFormats();

// The index of Opus, the command line's ninth format (not in the application's settings).
constexpr int ofOpus = OutputFormatCount;

// The eight formats followed by Opus: what the command line offers.
const std::vector<TOutputFormatInfo>& AllOutputFormats();

// The format of an index (Opus included), or null outside 0 to 8.
const TOutputFormatInfo* OutputFormatInfo(int format);
// A preset of a format, or null when either index is outside its table.
const TPresetSettings* PresetSettings(int format, int preset);

// The order in which the preset lists are filled at start.
extern const TOutputFormatIndex PresetListFillOrder[OutputFormatCount];

// The extension of a format ("" for any other value).
std::string OutputExtension(int format);

// `name` with its last extension replaced by `extension` (appended when it has none; removed
// when `extension` is empty).
std::string ReplaceExtension(const std::string& name, const std::string& extension);

// A file name in `folder` that neither exists there (nor does its temporary name, that of a
// job writing it) nor is in `claimed` (full paths already given to earlier jobs of the same
// run): the name itself, else "base(1).ext", "base(2).ext", ..., up to 32768.
std::string UniqueOutputName(const std::string& name, const std::string& folder,
                             const std::set<std::string>& claimed = {});

// The name a job writes the output `path` under until it ends: hidden, in the same folder,
// with the same extension (the container is chosen by it): "dir/.base.audioconv-part.ext".
std::string TemporaryOutputName(const std::string& path);
inline constexpr const char* TemporaryNameMarker = ".audioconv-part";
