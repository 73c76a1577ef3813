#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "AppLog.h"
#include "AppTestEnv.h"
#include "brand/ButtonRow.h"
#include "brand/StartUp.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

// The files in `dir`, by name.
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SaveLog, WritesUtf8LinesWithCrLfReplacingTheFile) {
    const std::string dir = FreshDir("save");
    const std::string file = dir + "out.log";
    WriteFile(file, "an older and much longer content that must disappear entirely\n");
    const std::vector<std::string> lines = {"#12.3: first", "",
                                            "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x99\xaa"};
    std::string error;
    ASSERT_TRUE(SaveLogLines(file, lines, error)) << error;
    EXPECT_EQ(ReadFile(file), "#12.3: first\r\n\r\nGr\xc3\xbc\xc3\x9f\x65 \xe2\x99\xaa\r\n");
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"out.log"});

    ASSERT_TRUE(SaveLogLines(file, {}, error)) << error;
    EXPECT_EQ(ReadFile(file), "");
}

TEST(SaveLog, AFailedSaveNamesTheFileAndLeavesNothingBehind) {
    const std::string dir = FreshDir("fail");
    fs::create_directory(dir + "taken.log");
    struct TCase {
        std::string FileName;
        const char* Reason;
    };
    const TCase cases[] = {
        {dir + "missing/x.log", "No such file or directory"},
        {dir + "taken.log", "Is a directory"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.FileName);
        std::string error;
        EXPECT_FALSE(SaveLogLines(c.FileName, {"line"}, error));
        EXPECT_EQ(error, "Cannot create file \"" + c.FileName + "\". " + c.Reason);
    }
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"taken.log"});
    EXPECT_TRUE(fs::is_empty(dir + "taken.log"));
}

TEST(OldLog, AnOldLogThatCannotBeReadEmptiesTheLog) {
    const std::string dir = FreshDir("unreadable");
    fs::create_directory(dir + "audioconv.log");
    std::vector<std::string> lines = {"stale"};
    LoadOldLog(dir + "audioconv.log", lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(fs::is_directory(dir + "audioconv.log"));
}

TEST(ButtonRow, GroupIsCentredWithItsGaps) {
    struct TCase {
        int PanelWidth;
        int GroupWidth;
        std::vector<int> Lefts;
    };
    const TCase cases[] = {
        {483, 241, {121, 204, 287}}, // the window's first size
        {265, 241, {12, 95, 178}},   // its smallest size
        {241, 241, {0, 83, 166}},    // exactly as wide as the group
        {200, 241, {-20, 63, 146}},  // narrower: the group overhangs both edges alike
        {484, 250, {117, 200, 283}}, // a group measured wider than the buttons and gaps
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.PanelWidth);
        EXPECT_EQ(CentredButtonLefts(c.PanelWidth, c.GroupWidth, {75, 75, 75}, 8), c.Lefts);
    }
}

} // namespace
