#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "AppTestEnv.h"
#include "settings/IniFile.h"

using namespace apptest;

namespace {

// Mixed line ends, comments, a line without "=", a duplicate section and key, blanks
// around keys and values, and no line end on the last line.
const std::string Sample = "; leading comment\r\n"
                           "top=outside any section\r\n"
                           "[Alpha]\r\n"
                           "Name = First Value \r\n"
                           "no equals sign here\n"
                           "; Hidden=commented\r\n"
                           "Empty=\r\n"
                           "name=second of the same key\r\n"
                           "[ beta ]\n"
                           "Count=12\n"
                           "[ALPHA]\n"
                           "Other=in the second Alpha";

struct TReadCase {
    const char* Section;
    const char* Key;
    const char* Expected;
};

void PrintTo(const TReadCase& c, std::ostream* os) {
    *os << c.Section << "/" << c.Key;
}

class IniFileRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(IniFileRead, FindsValuesLikeTheProfileCalls) {
    const std::string dir = FreshDir("ini-read");
    WriteFile(dir + "s.ini", Sample);
    const TIniFile ini(dir + "s.ini");
    const TReadCase& c = GetParam();
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "<default>"), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniFileRead,
    ::testing::Values(TReadCase{"Alpha", "Name", "First Value"},
                      TReadCase{"aLPHA", "NAME", "First Value"}, TReadCase{"Alpha", "Empty", ""},
                      TReadCase{"Alpha", "no equals sign here", "<default>"},
                      TReadCase{"Alpha", "Hidden", "<default>"},
                      TReadCase{"Alpha", "top", "<default>"},
                      TReadCase{"Alpha", "Other", "<default>"}, // only the first section counts
                      TReadCase{"BETA", "count", "12"}, TReadCase{"Beta", "Name", "<default>"},
                      TReadCase{"Gamma", "Name", "<default>"}));

TEST(IniFile, MissingFileReadsDefaults) {
    const TIniFile ini(FreshDir("ini-missing") + "none.ini");
    EXPECT_EQ(ini.ReadString("S", "K", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("S", "K", -5), -5);
    EXPECT_TRUE(ini.ReadBool("S", "K", true));
}

TEST(IniFile, IntegersAreDecimalOrTheDefault) {
    const std::string dir = FreshDir("ini-int");
    const TIniFile ini(dir + "i.ini");
    const std::pair<const char*, int32_t> cases[] = {
        {"42", 42},    {" -7 ", -7}, {"+3", 3},   {"2147483647", 2147483647},
        {"12abc", 99}, {"", 99},     {"1.5", 99}, {"99999999999", 99},
        {"0x10", 99},  {"+-1", 99},  {"-", 99},   {"abc", 99},
    };
    for (const auto& [text, expected] : cases) {
        WriteFile(dir + "i.ini", std::string("[S]\nK=") + text + "\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", 99), expected) << "value \"" << text << "\"";
    }
}

TEST(IniFile, WritingChangesOnlyItsOwnLine) {
    const std::string dir = FreshDir("ini-write");
    WriteFile(dir + "w.ini", Sample);
    const TIniFile ini(dir + "w.ini");
    ini.WriteString("alpha", "NAME", "new");  // existing key, other case: the file's spelling stays
    ini.WriteString("Beta", "Added", "x");    // new key in a section that is not the last
    ini.WriteString("Alpha", "Other", "2nd"); // new key goes into the first Alpha
    ini.WriteString("Delta", "Fresh", "y");   // new section at the end
    EXPECT_EQ(ReadFile(dir + "w.ini"), "; leading comment\r\n"
                                       "top=outside any section\r\n"
                                       "[Alpha]\r\n"
                                       "Name=new\r\n"
                                       "no equals sign here\n"
                                       "; Hidden=commented\r\n"
                                       "Empty=\r\n"
                                       "name=second of the same key\r\n"
                                       "Other=2nd\r\n"
                                       "[ beta ]\n"
                                       "Count=12\n"
                                       "Added=x\r\n"
                                       "[ALPHA]\n"
                                       "Other=in the second Alpha\r\n"
                                       "[Delta]\r\n"
                                       "Fresh=y\r\n");
}

TEST(IniFile, NewKeysOfASectionGoBeforeTheBlankLinesThatLeadToTheNext) {
    const std::string dir = FreshDir("ini-blank");
    WriteFile(dir + "b.ini", "[A]\nk1=1\n\n; about B\n[B]\nk=2\n");
    const TIniFile ini(dir + "b.ini");
    ini.WriteInteger("A", "k2", -3);
    ini.WriteBool("B", "on", true);
    ini.WriteBool("B", "off", false);
    EXPECT_EQ(ReadFile(dir + "b.ini"), "[A]\nk1=1\nk2=-3\n\n; about B\n[B]\nk=2\non=1\noff=0\n");
}

TEST(IniFile, WritingCreatesTheFileAndEachReadSeesTheFileAsItIsNow) {
    const std::string dir = FreshDir("ini-create");
    const TIniFile ini(dir + "c.ini");
    ini.WriteString("S", "K", "one");
    EXPECT_EQ(ReadFile(dir + "c.ini"), "[S]\nK=one\n");
    WriteFile(dir + "c.ini", "[S]\nK=changed outside\n");
    EXPECT_EQ(ini.ReadString("S", "K", ""), "changed outside");
}

TEST(IniFile, WriteFailureRaises) {
    const TIniFile ini(FreshDir("ini-fail") + "no-such-folder/x.ini");
    EXPECT_THROW(ini.WriteString("S", "K", "v"), EIniFileException);
}

TEST(IniFile, BooleansAreAnyNonZeroInteger) {
    const std::string dir = FreshDir("ini-bool");
    const TIniFile ini(dir + "b.ini");
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"0", false},  {"-1", true},
                                                  {"2", true}, {"yes", true}, {"", true}};
    for (const auto& [text, expected] : cases) {
        WriteFile(dir + "b.ini", std::string("[S]\nB=") + text + "\n");
        EXPECT_EQ(ini.ReadBool("S", "B", true), expected) << "value \"" << text << "\"";
    }
    // A value that is no integer gives the default either way.
    WriteFile(dir + "b.ini", "[S]\nB=yes\n");
    EXPECT_FALSE(ini.ReadBool("S", "B", false));
}

} // namespace
