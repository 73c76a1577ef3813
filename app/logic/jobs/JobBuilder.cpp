#include "JobBuilder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "FFDecode.h"
#include "OutputFormats.h"
#include "SiblingNames.h"
#include "settings/ShellFolders.h"
#include "sources/SourceTags.h"

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

std::string OutputRelativeName(TFFDecoder& prober, const TJobSettings& settings,
                               const std::string& subFolder) {
    const std::string extension = OutputExtension(settings.OutputFormat);
    const std::string source = BaseFileName(prober.FileName());
    if (!settings.Naming.Pattern.empty()) {
        const std::string named = ExpandNamePattern(settings.Naming.Pattern, ReadSourceTags(prober),
                                                    ReplaceExtension(source, ""));
        if (!named.empty())
            return named + extension;
    }
    const std::string folder = subFolder.empty() ? "" : EnsureTrailingSeparator(subFolder);
    // Numbering depends on what the run met before; under the other policies a name must
    // follow from the source alone, so sources that share a name are told apart here.
    const std::string tag = settings.Naming.Existing == TExistingOutputs::Increment
                                ? ""
                                : SiblingNameTag(prober.FileName());
    return folder + ReplaceExtension(source, "") + tag + extension;
}

TOutputPlan BuildOutputOptions(TFFDecoder& prober, const TJobSettings& settings,
                               const std::set<std::string>& claimed, TOutputOptions& options,
                               const std::string& subFolder, const std::set<TFileId>& sources) {
    options = TOutputOptions();
    const std::string extension = OutputExtension(settings.OutputFormat);
    options.Extension = extension;

    const TOutputPlan plan =
        PlanOutputPath(settings.OutputFileDir, OutputRelativeName(prober, settings, subFolder),
                       settings.Naming.Existing, prober.FileName(), claimed, sources);
    options.FileName = plan.Path;

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
    ApplyDirectSettings(settings.Direct, options);
    options.DisableSubtitle = true;
    return plan;
}

void BuildInputOptions(TFFDecoder& prober, TInputOptions& options) {
    options = TInputOptions();
    options.FileName = prober.FileName();
    options.ForceFormat = prober.ForcedFormat();
    options.ExtOptions = "vn=1";
}

bool CheckOutputFolder(const std::string& folder) {
    return MakeOutputFolder(folder).empty();
}

std::string MakeOutputFolder(const std::string& folder) {
    if (folder.empty())
        return std::strerror(ENOENT);
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return "";
    std::filesystem::create_directories(folder, ec);
    std::error_code typeError;
    if (std::filesystem::is_directory(folder, typeError))
        return "";
    return ec ? ec.message() : std::strerror(ENOTDIR);
}
