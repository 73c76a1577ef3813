// The built-in presets: the libx264 preset texts, compiled into the program from
// engine/options/presets/*.ffpreset. Each text is lines of the form name=value separated by LF.
#pragma once

#include <array>
#include <string>

struct TOptionsPreset {
    const char* Name;
    const char* Text;
};

extern const std::array<TOptionsPreset, 36> BuiltinPresets;

// The preset of that name (letter case ignored), or null.
const TOptionsPreset* FindBuiltinPreset(const std::string& name);
