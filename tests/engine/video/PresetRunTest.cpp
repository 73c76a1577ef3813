// The built-in libx264 presets (old option names, taken under today's) in runs: each converts
// a clip, and their settings reach x264, read back from the settings text x264 writes into
// its stream and from ffprobe.
#include <fstream>
#include <sstream>

#include "VideoRunEnv.h"
#include "options/BuiltinPresets.h"

using namespace videotest;

namespace {

// Ten pictures.
std::string ShortClip() {
    return Make("preset-clip.mkv",
                "-f lavfi -i testsrc=size=96x64:rate=25:duration=0.4 -c:v mpeg4 -q:v 4");
}

// The value of `key` in the settings text x264 writes into its stream ("... key=value ..."),
// or "" when the file has none.
std::string X264Setting(const std::string& path, const std::string& key) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    const size_t options = text.find("options: ");
    if (options == std::string::npos)
        return "";
    const std::string field = " " + key + "=";
    const size_t at = text.find(field, options);
    if (at == std::string::npos)
        return "";
    const size_t start = at + field.size();
    return text.substr(start, text.find_first_of(std::string(" \0", 2), start) - start);
}

class PresetRun : public VideoRun {
protected:
    static std::string Convert(const std::string& name, const std::string& lines) {
        TTestTask task;
        const std::string out = OutPath(name);
        Prepare(task, ShortClip(), out, "libx264", lines);
        const std::string error = RunTask(task);
        EXPECT_EQ(error, "") << lines;
        return out;
    }
};

TEST_F(PresetRun, EveryBuiltinPresetConvertsAClip) {
    ASSERT_FALSE(ShortClip().empty());
    for (const TOptionsPreset& preset : BuiltinPresets) {
        const std::string out = Convert("preset.mkv", std::string("vpre=") + preset.Name);
        EXPECT_EQ(Packets(out, "v:0"), 10) << preset.Name;
        EXPECT_NE(X264Setting(out, "subme"), "") << preset.Name;
    }
}

struct TPresetFacts {
    const char* Preset;
    const char* Profile; // ffprobe's profile of the stream
    const char* Cabac;   // x264's "cabac"
    const char* BFrames; // x264's "bframes"
    const char* Analyse; // x264's "analyse": the partitions
    const char* Weightp; // x264's "weightp"
    const char* Dct8x8;  // x264's "8x8dct"
};

class PresetSettings : public PresetRun, public ::testing::WithParamInterface<TPresetFacts> {};

TEST_P(PresetSettings, ReachX264) {
    const TPresetFacts& f = GetParam();
    // Each case writes its own file: ctest runs the cases side by side.
    const std::string out =
        Convert(std::string("facts-") + f.Preset + ".mkv", std::string("vpre=") + f.Preset);
    EXPECT_EQ(VideoFact(out, "profile"), f.Profile);
    EXPECT_EQ(X264Setting(out, "cabac"), f.Cabac);
    EXPECT_EQ(X264Setting(out, "bframes"), f.BFrames);
    EXPECT_EQ(X264Setting(out, "analyse"), f.Analyse);
    EXPECT_EQ(X264Setting(out, "weightp"), f.Weightp);
    EXPECT_EQ(X264Setting(out, "8x8dct"), f.Dct8x8);
    const std::vector<std::string> types =
        ProbeLines(out, "-select_streams v:0 -show_entries frame=pict_type -of csv=p=0");
    EXPECT_EQ(types.size(), 10u);
    const bool bFrames = std::find(types.begin(), types.end(), "B") != types.end();
    EXPECT_EQ(bFrames, std::string(f.BFrames) != "0") << f.Preset;
}

// Baseline: CAVLC, no B-frames, no weighted prediction, no 8x8 transform. Medium: CABAC,
// B-frames and every partition but p4x4. The first pass of "fast": no inter partitions (the
// old "-parti8x8..." words; intra 4x4 stays, as today's list does not reach it).
INSTANTIATE_TEST_SUITE_P(
    Presets, PresetSettings,
    ::testing::Values(TPresetFacts{"libx264-baseline", "Constrained Baseline", "0", "0",
                                   "0x1:0x111", "0", "0"},
                      TPresetFacts{"libx264-medium", "High", "1", "3", "0x3:0x113", "2", "1"},
                      TPresetFacts{"libx264-fast_firstpass", "Main", "1", "3", "0x1:0", "2", "0"}));

// A user's preset file of the old generation: every old name is taken under today's.
TEST_F(PresetRun, AnOldUserPresetFileConverts) {
    const std::string path = Dir() + "/old-user.ffpreset";
    std::ofstream(path, std::ios::binary)
        << "coder=1\nflags=+loop\ncmp=+chroma\npartitions=+parti4x4+partp8x8\n"
           "me_method=umh\nsubq=5\ndirectpred=2\nflags2=+mixed_refs-wpred+dct8x8-fastpskip\n"
           "wpredp=1\nrc_lookahead=7\naq_mode=0\nbf=2\n";
    TLogCapture log;
    const TLogLevel level = FFLogger()->LogLevel();
    FFLogger()->SetLogLevel(llVerbose);
    const std::string out = Convert("old-user.mkv", "fpre=" + path);
    FFLogger()->SetLogLevel(level);
    EXPECT_EQ(Packets(out, "v:0"), 10);
    // The old partition words reached the intra analysis too; today's list reaches the inter
    // analysis only.
    EXPECT_EQ(X264Setting(out, "analyse"), "0x3:0x11");
    EXPECT_EQ(X264Setting(out, "me"), "umh");
    EXPECT_EQ(X264Setting(out, "subme"), "5");
    EXPECT_EQ(X264Setting(out, "direct"), "2");
    EXPECT_EQ(X264Setting(out, "mixed_ref"), "1");
    EXPECT_EQ(X264Setting(out, "weightb"), "0");
    EXPECT_EQ(X264Setting(out, "8x8dct"), "1");
    EXPECT_EQ(X264Setting(out, "fast_pskip"), "0");
    EXPECT_EQ(X264Setting(out, "weightp"), "1");
    EXPECT_EQ(X264Setting(out, "rc_lookahead"), "7");
    // x264 keeps its adaptive quantizer on at strength 0 where the macroblock tree needs it.
    EXPECT_EQ(X264Setting(out, "aq"), "1:0.00");
    EXPECT_EQ(X264Setting(out, "chroma_me"), "1");
    EXPECT_EQ(X264Setting(out, "bframes"), "2");
    // One line for each translated line; the names still known are taken as they are.
    EXPECT_EQ(log.Matching("of older libraries taken as").size(), 5u);
    EXPECT_EQ(log.Matching("Option \"flags2=+mixed_refs-wpred+dct8x8-fastpskip\" of older "
                           "libraries taken as \"mixed-refs=1 weightb=0 8x8dct=1 fast-pskip=0\"")
                  .size(),
              1u);
}

} // namespace
