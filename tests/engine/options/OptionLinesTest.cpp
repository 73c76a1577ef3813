// Option text: lines of name=value separated by line breaks or "<CRLF>".
#include <gtest/gtest.h>

#include "options/OptionLines.h"

namespace {

std::vector<std::pair<std::string, std::string>> Pairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const TOptionLine& line : ParseOptionLines(text))
        out.emplace_back(line.Name, line.Value);
    return out;
}

using P = std::vector<std::pair<std::string, std::string>>;

TEST(EngineOptionLines, EveryKindOfLineBreakSeparatesLines) {
    EXPECT_EQ(Pairs("a=1\r\nb=2\rc=3\nd=4<CRLF>e=5"),
              (P{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));
}

TEST(EngineOptionLines, NamesAreLowerCasedAndValuesKeepEverythingAfterTheFirstEq) {
    EXPECT_EQ(Pairs("VN=1\nMetadata=title=A=B\nAq="),
              (P{{"vn", "1"}, {"metadata", "title=A=B"}, {"aq", ""}}));
}

TEST(EngineOptionLines, TextIsTrimmedButLinesAreNot) {
    EXPECT_EQ(Pairs("  \r\n vn=1 \n"), (P{{"vn", "1"}}));
    EXPECT_EQ(Pairs("a=1\n b = 2"), (P{{"a", "1"}, {" b ", " 2"}}));
}

TEST(EngineOptionLines, EmptyLinesGiveEmptyNamesAndALineWithoutEqIsAName) {
    EXPECT_EQ(Pairs("a=1\n\nnewaudio<CRLF><CRLF>b=2"),
              (P{{"a", "1"}, {"", ""}, {"newaudio", ""}, {"", ""}, {"b", "2"}}));
    EXPECT_TRUE(ParseOptionLines("").empty());
    EXPECT_TRUE(ParseOptionLines(" \r\n ").empty());
}

TEST(EngineOptionLines, AMarkerAtTheEndEndsTheLastLine) {
    EXPECT_EQ(Pairs("a=1<CRLF>"), (P{{"a", "1"}}));
}

} // namespace
