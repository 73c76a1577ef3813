#include "OutputFormats.h"

#include "OutputNaming.h"
#include "settings/ShellFolders.h"

namespace {

// Preset rows: caption, codec, channels, sample rate, bit rate, extra options. "" and -1 leave
// the field unset. The format's own codec (OutputFormats below) comes first when the row has
// none.
const std::vector<TOutputFormatInfo> Formats = {
    {"WAV",
     ".wav",
     "ImageComboBoxWAVPresets",
     "",
     false,
     "",
     {
         {"For Mobiles - PCM: 11025 Hz, Mono, 16 bits", "", 1, 11025, -1, "sample_fmt=s16"},
         {"AM Radio Quality - PCM: 22050 Hz, Mono, 16 bits", "", 1, 22050, -1, "sample_fmt=s16"},
         {"FM Radio Quality - PCM: 22050 Hz, Sterro, 24 bits", "pcm_s24le", 2, 22050, -1, ""},
         {"HiFi Quality - PCM: 48000Hz, Stereo, 32 bits", "pcm_s32le", 2, 48000, -1, ""},
         // The caption says CD quality: 44100 Hz.
         {"Uncompressed (CD Audio Quality)", "", 2, 44100, -1, "sample_fmt=s16"},
     }},
    {"MP3",
     ".mp3",
     "ImageComboBoxMP3Presets",
     "libmp3lame",
     false,
     "",
     {
         {"For Mobile - MP3: 44100 Hz, Stereo, 112 kbps", "", 2, 44100, 112000, ""},
         {"For Media Player - MP3: 48000 Hz, Stereo, 128 kbps", "", 2, 48000, 128000, ""},
         {"Normal Quality - MP3: 48000 Hz, Stereo, 256 kbps", "", 2, 48000, 256000, ""},
         {"Best Quality - MP3: 48000 Hz, Stereo, 320 kbps", "", 2, 48000, 320000, ""},
     }},
    {"WMA",
     ".wma",
     "ImageComboBoxWMAPresets",
     "wmav2",
     true,
     "",
     {
         {"For Media Player Best Quality", "", 2, 48000, 192000, ""},
         {"For Media Player Economy Quality", "", 2, 44100, 96000, ""},
         {"For Pocket PCs/PDAs Normal Quality", "", 2, 44100, 128000, ""},
         {"For PC Normal Quality", "", 2, 44100, 128000, ""},
         {"WMA Losslesss Audio", "", 2, 48000, SourceBitRate, ""},
     }},
    {"OGG",
     ".ogg",
     "ImageComboBoxOGGPresets",
     "libvorbis",
     true,
     "libtheora",
     {
         // The channel counts follow the captions.
         {"Telephone Quality - Ogg Vorbis: Quality - 4.97; 11025 Hz, Mono", "", 1, 11025, -1,
          "aq=4.97"},
         {"AM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Mono", "", 1, 22050, -1,
          "aq=4.97"},
         {"FM Radio Quality - Ogg Vorbis: Quality - 4.97; 22050 Hz, Stereo", "", 2, 22050, -1,
          "aq=4.97"},
         {"CD Quality - Ogg Vorbis: Quality - 4.97; 44100 Hz, Stereo", "", 2, 44100, -1, "aq=4.97"},
         {"HiFi Quality - Ogg Vorbis: Quality - 8.05; 48000 Hz, Stereo", "", 2, 48000, -1,
          "aq=8.05"},
     }},
    {"AAC",
     ".aac",
     "ImageComboBoxAACPresets",
     "aac", // FFmpeg's own AAC encoder
     false,
     "",
     {
         {"For Mobiles - MPEG2/4 LC: 16000 Hz, Mono, 96 kbps", "", 1, 16000, 96000, ""},
         {"AM Quality - MPEG2/4 LC: 22500 Hz, Mono, 112 kbps", "", 1, 22050, 112000, ""},
         {"FM Quality - MPEG2/4 LC: 22500 Hz, Stereo, 224 kbps", "", 2, 22050, 224000, ""},
         {"CD Quality - MPEG2/4 LC: 44100 Hz, Stereo, 256 kbps", "", 2, 44100, 256000, ""},
         {"HiFi Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", "", 2, 48000, 256000, ""},
     }},
    {"M4A",
     ".m4a",
     "ImageComboBoxM4APresets",
     "",
     true,
     "",
     {
         {"Normal Quality - MPEG2/4 LC: 44100 Hz, Stereo, 96 kbps", "", 2, 44100, 96000, ""},
         {"Best Quality - MPEG2/4 LC: 48000 Hz, Stereo, 256 kbps", "", 2, 48000, 256000, ""},
     }},
    {"FLAC",
     ".flac",
     "ImageComboBoxFLACPresets",
     "flac",
     false,
     "",
     {
         {"Compression Level 0", "", -1, -1, -1, "compression_level=0"},
         {"Compression Level 1", "", -1, -1, -1, "compression_level=1"},
         {"Compression Level 2", "", -1, -1, -1, "compression_level=2"},
         {"Compression Level 3", "", -1, -1, -1, "compression_level=3"},
         {"Compression Level 4", "", -1, -1, -1, "compression_level=4"},
         {"Compression Level 5 (Default)", "", -1, -1, -1, "compression_level=5"},
         {"Compression Level 6", "", -1, -1, -1, "compression_level=6"},
         {"Compression Level 7", "", -1, -1, -1, "compression_level=7"},
         {"Compression Level 8", "", -1, -1, -1, "compression_level=8"},
     }},
    {"MP2",
     ".mp2",
     "ImageComboBoxMP2Presets",
     "",
     false,
     "",
     {
         {"For Mobiles - MPEG layer-2: 22050 Hz, Mono, 96 kbps", "", 1, 22050, 96000, ""},
         {"AM Quality - MPEG layer-2: 22050 Hz, Mono, 112 kbps", "", 1, 22050, 112000, ""},
         {"FM Quality - MPEG layer-2: 22050 Hz, Stereo, 128 kbps", "", 2, 22050, 128000, ""},
     }},
};

// The command line's ninth format. Channels are the source's (Opus codes up to 8).
const TOutputFormatInfo Opus = {
    "Opus",
    ".opus",
    "",
    "libopus",
    true,
    "",
    {
        {"Speech - Opus: 48000 Hz, 32 kbps", "", -1, 48000, 32000, ""},
        {"Normal Quality - Opus: 48000 Hz, 64 kbps", "", -1, 48000, 64000, ""},
        {"Good Quality - Opus: 48000 Hz, 96 kbps", "", -1, 48000, 96000, ""},
        {"High Quality - Opus: 48000 Hz, 128 kbps", "", -1, 48000, 128000, ""},
        {"Best Quality - Opus: 48000 Hz, 192 kbps", "", -1, 48000, 192000, ""},
    }};

} // namespace

const TOutputFormatIndex PresetListFillOrder[OutputFormatCount] = {ofWAV, ofMP3, ofWMA, ofOGG,
                                                                   ofAAC, ofM4A, ofMP2, ofFLAC};

const std::vector<TOutputFormatInfo>& OutputFormats() {
    return Formats;
}

const std::vector<TOutputFormatInfo>& AllOutputFormats() {
    static const std::vector<TOutputFormatInfo> all = [] {
        std::vector<TOutputFormatInfo> formats = Formats;
        formats.push_back(Opus);
        return formats;
    }();
    return all;
}

const TOutputFormatInfo* OutputFormatInfo(int format) {
    const auto& all = AllOutputFormats();
    if (format < 0 || format >= static_cast<int>(all.size()))
        return nullptr;
    return &all[format];
}

const TPresetSettings* PresetSettings(int format, int preset) {
    const TOutputFormatInfo* info = OutputFormatInfo(format);
    if (!info || preset < 0 || preset >= static_cast<int>(info->Presets.size()))
        return nullptr;
    return &info->Presets[preset];
}

std::string OutputExtension(int format) {
    const TOutputFormatInfo* info = OutputFormatInfo(format);
    return info ? info->Extension : "";
}

std::string ReplaceExtension(const std::string& name, const std::string& extension) {
    const size_t dot = name.find_last_of('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    return base + extension;
}

std::string UniqueOutputName(const std::string& name, const std::string& folder,
                             const std::set<std::string>& claimed) {
    const TOutputPlan plan = PlanOutputPath(folder, name, TExistingOutputs::Increment, "", claimed);
    return plan.Path.substr(EnsureTrailingSeparator(folder).size());
}

std::string TemporaryOutputName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    return folder + "." + base + TemporaryNameMarker + ext;
}
