// The built-in presets are the preset files, compiled in line for line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "options/BuiltinPresets.h"

namespace {

std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    std::string text = out.str();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

TEST(EngineBuiltinPresets, EqualThePresetFilesNameForNameAndLineForLine) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(ENGINE_PRESET_DIR)) {
        if (entry.path().extension() != ".ffpreset")
            continue;
        const std::string name = entry.path().stem().string();
        files.insert(name);
        const TOptionsPreset* preset = FindBuiltinPreset(name);
        ASSERT_NE(preset, nullptr) << name;
        EXPECT_EQ(preset->Text, FileText(entry.path())) << name;
    }
    EXPECT_EQ(files.size(), BuiltinPresets.size());
}

TEST(EngineBuiltinPresets, LookupIgnoresLetterCase) {
    const TOptionsPreset* preset = FindBuiltinPreset("LIBX264-Main");
    ASSERT_NE(preset, nullptr);
    EXPECT_STREQ(preset->Name, "libx264-main");
    EXPECT_STREQ(preset->Text, "flags2=-dct8x8");
    EXPECT_EQ(FindBuiltinPreset("libx264-none"), nullptr);
}

} // namespace
