// Output names and the format table's lookups.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <unistd.h>

#include "AppTestEnv.h"
#include "jobs/OutputClaim.h"
#include "jobs/OutputFormats.h"

namespace {

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(OutputNames, NumbersPastExistingFiles) {
    const std::string dir = apptest::FreshDir("out");
    Touch(dir + "song.wav");
    Touch(dir + "song(1).wav");
    EXPECT_EQ(UniqueOutputName("song.wav", dir), "song(2).wav");
    EXPECT_EQ(UniqueOutputName("other.wav", dir), "other.wav");
}

// A job that is still writing holds its final name through its temporary one.
TEST(OutputNames, TemporaryNamesOfRunningJobsCountAsTaken) {
    const std::string dir = apptest::FreshDir("out");
    EXPECT_EQ(TemporaryOutputName(dir + "song.mp3"), dir + ".song.audioconv-part.mp3");
    EXPECT_EQ(TemporaryOutputName("song(1).m4a"), ".song(1).audioconv-part.m4a");
    // Another process's job (the test's parent process is running) writes "song.mp3".
    Touch(ClaimTemporaryName(dir + "song.mp3", static_cast<long>(getppid()), 7));
    Touch(dir + "song(1).mp3");
    EXPECT_EQ(UniqueOutputName("song.mp3", dir), "song(2).mp3");
}

TEST(OutputNames, NamesClaimedInTheRunCountAsTaken) {
    const std::string dir = apptest::FreshDir("out");
    std::set<std::string> claimed;
    const std::string first = UniqueOutputName(ReplaceExtension("song.mp3", ".wma"), dir, claimed);
    claimed.insert(dir + first);
    const std::string second = UniqueOutputName(ReplaceExtension("song.ogg", ".wma"), dir, claimed);
    EXPECT_EQ(first, "song.wma");
    EXPECT_EQ(second, "song(1).wma");
}

TEST(OutputNames, FolderWithoutTrailingSeparator) {
    std::string dir = apptest::FreshDir("out");
    Touch(dir + "a.mp3");
    dir.pop_back();
    EXPECT_EQ(UniqueOutputName("a.mp3", dir), "a(1).mp3");
}

TEST(OutputNames, ExtensionReplacement) {
    const struct {
        const char* name;
        const char* ext;
        const char* expected;
    } cases[] = {
        {"song.mp3", ".flac", "song.flac"},
        {"song", ".flac", "song.flac"},
        {"a.b.c", ".wav", "a.b.wav"},
        {"song.mp3", "", "song"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceExtension(c.name, c.ext), c.expected) << c.name;
}

TEST(OutputFormatTable, ExtensionsAndBounds) {
    EXPECT_EQ(OutputExtension(ofWAV), ".wav");
    EXPECT_EQ(OutputExtension(ofMP2), ".mp2");
    EXPECT_EQ(OutputExtension(-1), "");
    EXPECT_EQ(OutputExtension(ofOpus), ".opus");
    EXPECT_EQ(OutputExtension(9), "");
    EXPECT_EQ(OutputFormats().size(), 8u) << "Opus is the command line's only";
    EXPECT_EQ(PresetSettings(ofMP3, -1), nullptr);
    EXPECT_EQ(PresetSettings(ofM4A, 2), nullptr);
    ASSERT_NE(PresetSettings(ofFLAC, 8), nullptr);
    EXPECT_STREQ(PresetSettings(ofFLAC, 8)->ExtOptions, "compression_level=8");
}

} // namespace
