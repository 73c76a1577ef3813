#include "UtilFuncs.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "IniFile.h"

namespace {

// Keys of the presets in the order they stand in the file: M4A before AAC.
struct TPresetKey {
    const char* Key;
    TOutputFormatIndex Format;
};
constexpr TPresetKey PresetKeys[] = {
    {"OutputWAVPreset", ofWAV},   {"OutputMP3Preset", ofMP3}, {"OutputWMAPreset", ofWMA},
    {"OutputOGGPreset", ofOGG},   {"OutputM4APreset", ofM4A}, {"OutputAACPreset", ofAAC},
    {"OutputFLACPreset", ofFLAC}, {"OutputMP2Preset", ofMP2},
};

// A stored format outside the eight would give output files without an extension; such a
// value keeps the current format.
uint8_t ReadOutputFormat(const TIniFile& file, uint8_t current) {
    const int32_t value = file.ReadInteger(SystemSection, "OutputFormat", current);
    return value >= 0 && value < OutputFormatCount ? static_cast<uint8_t>(value) : current;
}

// A stored size that is not positive would give a window that cannot be seen.
int ReadSize(const TIniFile& file, const std::string& section, const char* key, int current) {
    const int32_t value = file.ReadInteger(section, key, current);
    return value > 0 ? value : current;
}

// Fits one axis onto the screen: the size first, then the far edge (the near edge is
// the caller's last step). Sums are taken in 64 bits so that stored extremes cannot overflow.
void FitAxis(int& pos, int& size, int screenPos, int screenSize) {
    if (size > screenSize)
        size = screenSize;
    if (static_cast<int64_t>(pos) + size > static_cast<int64_t>(screenPos) + screenSize)
        pos = screenPos + screenSize - size;
}

// Booleans are stored as "1" or "0".
std::string BoolText(bool value) {
    return value ? "1" : "0";
}

} // namespace

int32_t SimultaneousConversionsLimit() {
    return std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

int32_t ClampSimultaneousConversions(int64_t count) {
    return static_cast<int32_t>(std::clamp<int64_t>(count, 1, SimultaneousConversionsLimit()));
}

std::string SettingsFilePath(const TGlobalVars& vars) {
    return vars.DataFolder + SettingsFileName;
}

bool LoadSettings(TGlobalVars& vars) {
    const TIniFile file(SettingsFilePath(vars));
    std::error_code ec;
    if (!std::filesystem::exists(file.FileName(), ec)) {
        try {
            SaveSettings(vars);
        } catch (const EIniFileException&) {
        }
        return false;
    }
    vars.LastOpenDir = file.ReadString(SystemSection, "LastOpenDir", vars.LastOpenDir);
    vars.OutputFileDir = file.ReadString(SystemSection, "OutputFileDir", vars.OutputFileDir);
    vars.OutputFormat = ReadOutputFormat(file, vars.OutputFormat);
    for (const auto& preset : PresetKeys)
        vars.PresetIndex[preset.Format] =
            file.ReadInteger(SystemSection, preset.Key, vars.PresetIndex[preset.Format]);
    vars.PlayASoundWhenFinished =
        file.ReadBool(SystemSection, "PlayASoundWhenFinished", vars.PlayASoundWhenFinished);
    vars.ShutDownWhenFinished =
        file.ReadBool(SystemSection, "ShutDownWhenFinished", vars.ShutDownWhenFinished);
    // A count the machine cannot run side by side (another machine's, or edited) is limited.
    vars.SimultaneousConversions = ClampSimultaneousConversions(
        file.ReadInteger(SystemSection, "SimultaneousConversions", vars.SimultaneousConversions));
    return true;
}

// One replacement of the file for all keys: a failure keeps the old settings whole.
void SaveSettings(const TGlobalVars& vars) {
    std::vector<TIniValue> values = {
        {SystemSection, "LastOpenDir", vars.LastOpenDir},
        {SystemSection, "OutputFileDir", vars.OutputFileDir},
        {SystemSection, "OutputFormat", std::to_string(vars.OutputFormat)},
    };
    for (const auto& preset : PresetKeys)
        values.push_back(
            {SystemSection, preset.Key, std::to_string(vars.PresetIndex[preset.Format])});
    values.push_back(
        {SystemSection, "PlayASoundWhenFinished", BoolText(vars.PlayASoundWhenFinished)});
    values.push_back({SystemSection, "ShutDownWhenFinished", BoolText(vars.ShutDownWhenFinished)});
    values.push_back(
        {SystemSection, "SimultaneousConversions", std::to_string(vars.SimultaneousConversions)});
    TIniFile(SettingsFilePath(vars)).WriteValues(values);
}

bool LoadPlacement(const TGlobalVars& vars, const std::string& section, TWindowPlacement& window,
                   const TScreenRect& screen) {
    const TIniFile file(SettingsFilePath(vars));
    const bool maximized = file.ReadBool(section, "maximized", false);
    int x = file.ReadInteger(section, "x", window.Left);
    int y = file.ReadInteger(section, "y", window.Top);
    int height = ReadSize(file, section, "height", window.Height);
    int width = ReadSize(file, section, "width", window.Width);
    FitAxis(x, width, screen.Left, screen.Width);
    FitAxis(y, height, screen.Top, screen.Height);
    window.Left = x < screen.Left ? screen.Left : x;
    window.Top = y < screen.Top ? screen.Top : y;
    window.Width = width;
    window.Height = height;
    window.Maximized = maximized;
    return true;
}

void SavePlacement(const TGlobalVars& vars, const std::string& section,
                   const TWindowPlacement& window) {
    TIniFile(SettingsFilePath(vars))
        .WriteValues({{section, "x", std::to_string(window.Left)},
                      {section, "y", std::to_string(window.Top)},
                      {section, "height", std::to_string(window.Height)},
                      {section, "width", std::to_string(window.Width)},
                      {section, "maximized", BoolText(window.Maximized)}});
}

void CentreWindow(TWindowPlacement& window, const TScreenRect& screen) {
    window.Left = screen.Left + (screen.Width - window.Width) / 2;
    window.Top = screen.Top + (screen.Height - window.Height) / 2;
}
