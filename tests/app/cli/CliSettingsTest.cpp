// The command line's direct settings and output tree options: the texts each takes, the
// fields they reach, and the reasons wrong texts are refused with.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "CliSettings.h"

namespace {

TEST(CliSettingTexts, BitRatesRatesAndChannels) {
    const struct {
        const char* Text;
        int BitRate, Rate, Channels;
    } cases[] = {
        {"192k", 192000, 192000, -1},
        {"192", 192000, 192, -1},
        {"192000", 192000, 192000, -1},
        {"44.1k", 44100, 44100, -1},
        {"1.5M", 1500000, -1, -1},
        {"2", 2000, 2, 2},
        {"8", 8000, 8, 8},
        {"9", 9000, 9, -1},
        {"keep", -1, KeepSourceValue, KeepSourceValue},
        {"mono", -1, -1, 1},
        {"stereo", -1, -1, 2},
        {"0", -1, -1, -1},
        {"-64k", -1, -1, -1},
        {"22050.5", 22051, -1, -1},
        {"fast", -1, -1, -1},
        {"128kb", -1, -1, -1},
        {"", -1, -1, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseBitRate(c.Text), c.BitRate) << c.Text;
        EXPECT_EQ(ParseSampleRate(c.Text), c.Rate) << c.Text;
        EXPECT_EQ(ParseChannels(c.Text), c.Channels) << c.Text;
    }
}

struct TParsed {
    int Status;
    TCliOptions Options;
    std::string Err;
};

TParsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), {"audioconv-cli", "a.wav"});
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    TParsed p;
    std::ostringstream out, err;
    p.Status = ParseCliOptions(static_cast<int>(argv.size()), argv.data(), p.Options, out, err);
    p.Err = err.str();
    return p;
}

TEST(CliSettingOptions, EachReachesItsField) {
    const TParsed p = Parse({"-f", "opus", "-b", "96k", "-r", "keep", "-c", "mono", "--flat",
                             "--existing", "newer", "--name", "{artist}/{title}"});
    ASSERT_EQ(p.Status, -1) << p.Err;
    EXPECT_EQ(p.Options.Format, 8);
    EXPECT_EQ(p.Options.Direct.BitRate, 96000);
    EXPECT_FALSE(p.Options.Direct.HasQuality);
    EXPECT_EQ(p.Options.Direct.SampleRate, KeepSourceValue);
    EXPECT_EQ(p.Options.Direct.Channels, 1);
    EXPECT_TRUE(p.Options.Flat);
    EXPECT_EQ(p.Options.Naming.Existing, TExistingOutputs::Newer);
    EXPECT_EQ(p.Options.Naming.Pattern, "{artist}/{title}");

    const TParsed q = Parse({"--quality", "-1", "-f", "ogg"});
    ASSERT_EQ(q.Status, -1) << q.Err;
    EXPECT_TRUE(q.Options.Direct.HasQuality);
    EXPECT_EQ(q.Options.Direct.Quality, -1);
    EXPECT_EQ(q.Options.Direct.BitRate, -1);
    EXPECT_EQ(q.Options.Direct.SampleRate, -1) << "the preset's";
    EXPECT_EQ(q.Options.Naming.Existing, TExistingOutputs::Increment);
    EXPECT_FALSE(q.Options.Flat);
}

TEST(CliSettingOptions, WrongTextsAreRefusedInPlainWords) {
    const struct {
        std::vector<std::string> Args;
        const char* Message;
    } cases[] = {
        {{"-b", "fast"},
         "audioconv-cli: --bitrate takes a bit rate such as 192k or 192000, not "
         "\"fast\"\n"},
        {{"-q", "best"},
         "audioconv-cli: --quality takes a number on the encoder's scale, not "
         "\"best\"\n"},
        {{"-r", "0"},
         "audioconv-cli: --rate takes a rate in Hz such as 44100, or keep, not "
         "\"0\"\n"},
        {{"-c", "9"}, "audioconv-cli: --channels takes 1 to 8, mono, stereo or keep, not \"9\"\n"},
        {{"-b", "128k", "-q", "2"}, "audioconv-cli: --bitrate and --quality exclude each other"},
        {{"--existing", "replace"},
         "audioconv-cli: --existing takes increment, skip, overwrite "
         "or newer, not \"replace\"\n"},
        {{"--name", "{artist}/{song}"}, "audioconv-cli: --name: unknown field {song}; "},
        {{"-j", "0"}, "audioconv-cli: --jobs must be at least 1\n"},
        {{"-j", "two"}, "audioconv-cli: --jobs takes a whole number, not \"two\"\n"},
        {{"-p", "x"},
         "audioconv-cli: --preset takes the index of a preset (see --list), not "
         "\"x\"\n"},
        {{"--bogus"}, "audioconv-cli: The following argument was not expected: --bogus\n"},
        {{"-q"}, "audioconv-cli: --quality needs a value (Q)\n"},
    };
    for (const auto& c : cases) {
        const TParsed p = Parse(c.Args);
        EXPECT_EQ(p.Status, ExitBadUsage) << c.Args[0];
        EXPECT_EQ(p.Err.rfind(c.Message, 0), 0u) << p.Err;
        EXPECT_NE(p.Err.find("Run with --help for more information.\n"), std::string::npos);
    }
}

} // namespace
