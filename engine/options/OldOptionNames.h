// Option lines of the libx264 preset generation that today's libx264 wrapper no longer takes
// under their old names or values, and the settings that stand for them now. The built-in
// presets (BuiltinPresets) and users' stored preset files keep their texts word for word; each
// line goes through this table before the option store records it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TOptionSetting {
    std::string Name;
    std::string Value;
};

// What the current libraries know, asked by the translation.
struct TOptionVocabulary {
    // A codec option, or a private option of the encoder the line is meant for.
    std::function<bool(const std::string& name)> NameKnown;
    // A word of the flags option `option` (e.g. "loop" of "flags").
    std::function<bool(const std::string& option, const std::string& word)> FlagKnown;
};

// The settings for an old line, or nothing when the line needs no translation: its name is
// not in the table, the current libraries take it as it is, or (for flag words) no word of
// its value is an old one. Words that are unknown in both generations stay in the line, so
// that the store reports them as usual.
std::optional<std::vector<TOptionSetting>> TranslateOldOption(const std::string& name,
                                                              const std::string& value,
                                                              const TOptionVocabulary& vocabulary);

// "name=value name=value" of the settings, for the log line of a translation.
std::string DescribeSettings(const std::vector<TOptionSetting>& settings);

// True for the encoders whose option names the table translates ("libx264", "libx264rgb").
bool TranslatedEncoder(const std::string& codecName);
