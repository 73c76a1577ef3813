#include "JobBuilder.h"

#include <filesystem>
#include <system_error>

#include "FFDecode.h"
#include "OutputFormats.h"
#include "ShellFolders.h"

namespace {

// The file name part of a path.
std::string BaseFileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TJobSettings JobSettingsOf(const TGlobalVars& vars) {
    TJobSettings settings;
    settings.OutputFormat = vars.OutputFormat;
    settings.PresetIndex =
        vars.OutputFormat < OutputFormatCount ? vars.PresetIndex[vars.OutputFormat] : -1;
    settings.OutputFileDir = vars.OutputFileDir;
    return settings;
}

void BuildOutputOptions(TFFDecoder& prober, const TJobSettings& settings,
                        const std::set<std::string>& claimed, TOutputOptions& options) {
    options = TOutputOptions();
    const std::string extension = OutputExtension(settings.OutputFormat);
    options.Extension = extension;

    const std::string folder = EnsureTrailingSeparator(settings.OutputFileDir);
    const std::string name = ReplaceExtension(BaseFileName(prober.FileName()), extension);
    options.FileName = folder + UniqueOutputName(name, settings.OutputFileDir, claimed);

    if (const TOutputFormatInfo* format = OutputFormatInfo(settings.OutputFormat)) {
        options.AudioCodec = format->Codec;
        options.VideoCodec = format->VideoCodec;
        options.DisableVideo = format->DisableVideo;
    }
    if (const TPresetSettings* preset =
            PresetSettings(settings.OutputFormat, settings.PresetIndex)) {
        if (*preset->Codec)
            options.AudioCodec = preset->Codec;
        options.AudioChannels = preset->Channels;
        options.AudioSampleRate = preset->SampleRate;
        if (preset->BitRate == SourceBitRate) {
            TAudioStreamInfo audio;
            prober.GetAudioStreamInfo(prober.FirstAudioStreamIndex(), audio);
            options.AudioBitrate = audio.BitRate;
        } else {
            options.AudioBitrate = preset->BitRate;
        }
        options.ExtOptions = preset->ExtOptions;
    }
    options.DisableSubtitle = true;
}

void BuildInputOptions(TFFDecoder& prober, TInputOptions& options) {
    options = TInputOptions();
    options.FileName = prober.FileName();
    options.ForceFormat = prober.ForcedFormat();
    options.ExtOptions = "vn=1";
}

bool CheckOutputFolder(const std::string& folder) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return true;
    if (folder.empty())
        return false;
    std::filesystem::create_directories(folder, ec);
    return !ec && std::filesystem::is_directory(folder, ec);
}
