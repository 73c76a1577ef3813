// Presets: named groups of option lines, built in or read from a file.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "BuiltinPresets.h"
#include "FFmpeg.h"
#include "TextUtils.h"

namespace {

bool ReadTextFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return true;
}

} // namespace

void TCustomFFmpeg::ApplyPreset(const std::string& kindName, const std::string& value) {
    if (kindName.empty() || value.empty())
        return;
    const char kind = kindName[0];
    const TOptionsPreset* preset = nullptr;
    std::string displayName = value;
    if (kind == 'a' || kind == 'v' || kind == 's') {
        preset = FindBuiltinPreset(value);
        const std::optional<std::string>& codecName = kind == 'v'   ? VideoCodecName
                                                      : kind == 'a' ? AudioCodecName
                                                                    : SubtitleCodecName;
        if (preset == nullptr && codecName.has_value()) {
            const std::string qualified = *codecName + "-" + value;
            preset = FindBuiltinPreset(qualified);
            if (preset != nullptr)
                displayName = qualified;
        }
    }
    std::string text;
    if (preset != nullptr)
        text = preset->Text;
    else if (!ReadTextFile(value, text))
        throw FFmpegException(FormatText("Preset \"%s\" not found", value.c_str()));

    for (const std::string& rawLine : SplitLines(NormalizeLineBreaks(Trim(text)))) {
        const std::string line = Trim(rawLine);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string val = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        if (key.empty() || val.empty())
            throw FFmpegException(
                FormatText("%s: Invalid syntax: \"%s\"", displayName.c_str(), line.c_str()));
        if (SameText(key, "acodec"))
            ApplyCodecName(AVMEDIA_TYPE_AUDIO, val);
        else if (SameText(key, "vcodec"))
            ApplyCodecName(AVMEDIA_TYPE_VIDEO, val);
        else if (SameText(key, "scodec"))
            ApplyCodecName(AVMEDIA_TYPE_SUBTITLE, val);
        else if (!SetLibraryOption(key, val) && RaiseOptionErrors)
            throw FFmpegException(FormatText(
                "%s\r\n%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
                LastOptionError.c_str(), displayName.c_str(), line.c_str(), key.c_str(),
                val.c_str()));
    }
}
