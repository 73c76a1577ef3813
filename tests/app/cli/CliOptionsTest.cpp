// The command line of audioconv-cli: defaults, the format and preset choices, the modes, and
// the exit status of bad usage.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace {

struct TParsed {
    int Status;
    TCliOptions Options;
    std::string Out;
    std::string Err;
};

TParsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "audioconv-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    TParsed p;
    std::ostringstream out, err;
    p.Status = ParseCliOptions(static_cast<int>(argv.size()), argv.data(), p.Options, out, err);
    p.Out = out.str();
    p.Err = err.str();
    return p;
}

TEST(CliOptions, DefaultsConvertToMp3PresetZeroHere) {
    const TParsed p = Parse({"a.wav", "music"});
    ASSERT_EQ(p.Status, -1) << p.Err;
    EXPECT_EQ(p.Options.Mode, TCliMode::Convert);
    EXPECT_EQ(p.Options.Format, 1);
    EXPECT_EQ(p.Options.Preset, 0);
    EXPECT_EQ(p.Options.OutputDir, "");
    EXPECT_EQ(p.Options.Jobs, 0);
    EXPECT_FALSE(p.Options.Quiet);
    EXPECT_FALSE(p.Options.Log);
    EXPECT_EQ(p.Options.Paths, (std::vector<std::string>{"a.wav", "music"}));
}

TEST(CliOptions, EveryOptionReachesItsField) {
    const TParsed p = Parse({"-f", "FLAC", "-p", "8", "-o", "out", "-j", "3", "--quiet", "--log",
                             "--log-level", "debug", "x.ogg"});
    ASSERT_EQ(p.Status, -1) << p.Err;
    EXPECT_EQ(p.Options.Format, 6);
    EXPECT_EQ(p.Options.Preset, 8);
    EXPECT_EQ(p.Options.OutputDir, "out");
    EXPECT_EQ(p.Options.Jobs, 3);
    EXPECT_TRUE(p.Options.Quiet);
    EXPECT_TRUE(p.Options.Log);
    EXPECT_EQ(p.Options.LogLevel, "debug");
    EXPECT_EQ(p.Options.Paths, std::vector<std::string>{"x.ogg"});
}

TEST(CliOptions, FormatNamesInAnyCase) {
    const char* const names[] = {"wav", "MP3", "Wma", "ogg", "AAC", "m4a", "flac", "Mp2", "OPUS"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(FormatIndexOf(names[i]), i) << names[i];
        EXPECT_EQ(Parse({"--format", names[i], "a"}).Options.Format, i) << names[i];
    }
    EXPECT_EQ(FormatIndexOf("mpeg"), -1);
    EXPECT_EQ(FormatIndexOf(""), -1);
}

TEST(CliOptions, ModesListAndInfo) {
    EXPECT_EQ(Parse({"--list"}).Status, -1);
    EXPECT_EQ(Parse({"--list"}).Options.Mode, TCliMode::List);
    const TParsed info = Parse({"--info", "a.wav", "b.mkv"});
    EXPECT_EQ(info.Status, -1);
    EXPECT_EQ(info.Options.Mode, TCliMode::Info);
    EXPECT_EQ(info.Options.Paths.size(), 2u);
}

TEST(CliOptions, BadUsageExitsWithTwoAndSaysWhy) {
    const struct {
        std::vector<std::string> Args;
        const char* Reason;
    } cases[] = {
        {{}, "no FILE or DIR"},
        {{"-f", "mpeg", "a.wav"}, "unknown format \"mpeg\""},
        {{"-f", "mp3", "-p", "4", "a.wav"}, "has no preset 4 (0 to 3"},
        {{"-f", "m4a", "-p", "-1", "a.wav"}, "has no preset -1"},
        {{"-p", "first", "a.wav"}, "first"},
        {{"-j", "0", "a.wav"}, "jobs"},
        {{"--bogus", "a.wav"}, "bogus"},
        {{"--info"}, "--info needs"},
        {{"--list", "a.wav"}, "--list takes no files"},
        {{"--list", "--info", "a.wav"}, "excludes"},
    };
    for (const auto& c : cases) {
        const TParsed p = Parse(c.Args);
        std::string args;
        for (const std::string& a : c.Args)
            args += a + " ";
        EXPECT_EQ(p.Status, ExitBadUsage) << args;
        EXPECT_NE(p.Err.find(c.Reason), std::string::npos) << args << "\n" << p.Err;
    }
}

TEST(CliOptions, HelpAndVersionExitWithZero) {
    const TParsed help = Parse({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("--jobs"), std::string::npos);
    EXPECT_NE(help.Out.find("wav, mp3, wma, ogg, aac, m4a, flac, mp2, opus"), std::string::npos);
    EXPECT_NE(help.Out.find("\nExamples:\n  audioconv-cli -f flac -o ~/Music/flac ~/Recordings\n"),
              std::string::npos)
        << help.Out;
    const TParsed version = Parse({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_NE(version.Out.find("audioconv-cli"), std::string::npos);
}

} // namespace
