// The library option store: FFmpeg's own options recorded by a task and copied into real
// codec contexts; presets built in and from files.
#include <filesystem>
#include <fstream>

#include "EngineTestEnv.h"

namespace {

class EngineOptionStore : public TEngineTest {
protected:
    AVCodecContext* Holder(AVMediaType type) {
        return task.OptionContext->CodecContexts[type].get();
    }
    int64_t IntOption(void* obj, const char* name) {
        int64_t v = 0;
        EXPECT_GE(ff::av_opt_get_int(obj, name, 0, &v), 0) << name;
        return v;
    }
    static std::string TempFile(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(AUDIOCONV_TEST_TMP_DIR);
        const std::string path = std::string(AUDIOCONV_TEST_TMP_DIR) + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    TTestTask task;
};

TEST_F(EngineOptionStore, PrefixedNamesReachTheirKindsContext) {
    task.ParseOption("vb", "64000");
    task.ParseOption("abt", "3000");
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->bit_rate, 64000);
    EXPECT_NE(Holder(AVMEDIA_TYPE_AUDIO)->bit_rate, 64000);
    EXPECT_EQ(Holder(AVMEDIA_TYPE_AUDIO)->bit_rate_tolerance, 3000);
    EXPECT_NE(Holder(AVMEDIA_TYPE_VIDEO)->bit_rate_tolerance, 3000);
    // Accepted by a context: the option's own name is recorded, without a value.
    EXPECT_EQ(task.OptionContext->Names, (std::vector<std::string>{"b", "bt"}));
    EXPECT_FALSE(task.OptionContext->Values[0].has_value());
}

TEST_F(EngineOptionStore, AnOptionOfSeveralKindsGoesToEachKindsContext) {
    ASSERT_TRUE(task.SetLibraryOption("g", "33"));
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->gop_size, 33);
    ASSERT_TRUE(task.SetLibraryOption("b", "96000"));
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->bit_rate, 96000);
    EXPECT_EQ(Holder(AVMEDIA_TYPE_AUDIO)->bit_rate, 96000);
    EXPECT_NE(Holder(AVMEDIA_TYPE_SUBTITLE)->bit_rate, 96000);
}

TEST_F(EngineOptionStore, ContainerOptionsGoToTheFormatContext) {
    ASSERT_TRUE(task.SetLibraryOption("packetsize", "2324"));
    EXPECT_EQ(task.OptionContext->FormatContext->packet_size, 2324u);
}

TEST_F(EngineOptionStore, RejectedValuesAndUnknownNamesLeaveTheirMessage) {
    EXPECT_FALSE(task.SetLibraryOption("g", "many"));
    EXPECT_EQ(LastOptionError, "Invalid value \"many\" for option \"g\"");
    EXPECT_FALSE(task.SetLibraryOption("nosuchoption", "1"));
    EXPECT_EQ(LastOptionError, "Unrecognized option \"nosuchoption\"");
    LastOptionError = "kept";
    EXPECT_FALSE(task.SetLibraryOption("  ", "1"));
    EXPECT_EQ(LastOptionError, "kept");
    EXPECT_TRUE(task.OptionContext->Names.empty());
}

TEST_F(EngineOptionStore, RecordedOptionsReachARealEncoderByMask) {
    task.ParseOption("vb", "64000");
    task.ParseOption("g", "12");
    const AVCodec* mpeg4 = ff::avcodec_find_encoder_by_name("mpeg4");
    ASSERT_NE(mpeg4, nullptr);
    TCodecContextPtr video(ff::avcodec_alloc_context3(mpeg4));
    task.ApplyLibraryOptions(video.get(), Holder(AVMEDIA_TYPE_VIDEO), mpeg4, VideoEncoderMask);
    EXPECT_EQ(video->bit_rate, 64000);
    EXPECT_EQ(video->gop_size, 12);
    // A decoder mask leaves encoding options alone.
    TCodecContextPtr decoder(ff::avcodec_alloc_context3(nullptr));
    const int64_t defaultRate = decoder->bit_rate;
    task.ApplyLibraryOptions(decoder.get(), Holder(AVMEDIA_TYPE_VIDEO), nullptr, VideoDecoderMask);
    EXPECT_EQ(decoder->bit_rate, defaultRate);
}

// "lpc_passes" is known only to the FLAC encoder's private options.
TEST_F(EngineOptionStore, APrivateOptionIsRecordedAndReachesThatEncodersPrivateContext) {
    ASSERT_TRUE(task.SetLibraryOption("lpc_passes", "5"));
    ASSERT_EQ(task.OptionContext->Names.back(), "lpc_passes");
    EXPECT_EQ(task.OptionContext->Values.back(), std::optional<std::string>("5"));
    const AVCodec* flac = ff::avcodec_find_encoder_by_name("flac");
    ASSERT_NE(flac, nullptr);
    TCodecContextPtr audio(ff::avcodec_alloc_context3(flac));
    ASSERT_NE(audio->priv_data, nullptr);
    const int64_t before = IntOption(audio->priv_data, "lpc_passes");
    ASSERT_NE(before, 5);
    task.ApplyLibraryOptions(audio.get(), Holder(AVMEDIA_TYPE_AUDIO), flac, AudioEncoderMask);
    EXPECT_EQ(IntOption(audio->priv_data, "lpc_passes"), 5);
}

TEST_F(EngineOptionStore, BuiltinPresetByCodecQualifiedName) {
    task.RaiseOptionErrors = false;
    task.ParseOption("vcodec", "libx264");
    task.ParseOption("vpre", "slow");
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->gop_size, 250);
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->me_range, 16);
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->keyint_min, 25);
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->max_b_frames, 3);
}

// An old x264 line is taken under today's name; the preset's name may be in capitals.
TEST_F(EngineOptionStore, BuiltinPresetInCapitalsTakesItsOldLineUnderTodaysName) {
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("vpre", "LIBX264-MAIN"); }), std::nullopt);
    ASSERT_EQ(task.OptionContext->Names, (std::vector<std::string>{"8x8dct"}));
    EXPECT_EQ(task.OptionContext->Values[0], std::optional<std::string>("0"));
}

// A word unknown to both generations keeps the message of a rejected value, with the line as
// the preset has it; the old word beside it is taken.
TEST_F(EngineOptionStore, AFlagWordOfNeitherGenerationIsRejected) {
    const std::string path = TempFile("store-flags2.ffpreset", "flags2=+wpred+nosuchword\n");
    const auto raised = RaisedMessage([&] { task.ParseOption("vpre", path); });
    EXPECT_EQ(raised, std::optional<std::string>(
                          "Invalid value \"+nosuchword\" for option \"flags2\"\r\n" + path +
                          ": Invalid option or argument: \"flags2=+wpred+nosuchword\", parsed as "
                          "\"flags2\" = \"+wpred+nosuchword\""));
    EXPECT_EQ(task.OptionContext->Names, (std::vector<std::string>{"weightb"}));
}

// The table is libx264's: for another encoder an old name stays unknown.
TEST_F(EngineOptionStore, OldNamesAreTranslatedOnlyForLibx264) {
    task.ParseOption("vcodec", "mpeg4");
    EXPECT_FALSE(task.SetLibraryOption("directpred", "1"));
    EXPECT_EQ(LastOptionError, "Unrecognized option \"directpred\"");
    task.ParseOption("vcodec", "libx264");
    TLogCapture log;
    const TLogLevel level = FFLogger()->LogLevel();
    FFLogger()->SetLogLevel(llVerbose);
    EXPECT_TRUE(task.SetLibraryOption("directpred", "1"));
    FFLogger()->SetLogLevel(level);
    EXPECT_EQ(task.OptionContext->Names.back(), "direct-pred");
    EXPECT_EQ(task.OptionContext->Values.back(), std::optional<std::string>("1"));
    const auto lines = log.Matching("directpred=1");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Level, llVerbose);
    EXPECT_EQ(lines[0].Msg,
              "Option \"directpred=1\" of older libraries taken as \"direct-pred=1\"");
}

TEST_F(EngineOptionStore, FilePresetMissing) {
    const std::string path = std::string(AUDIOCONV_TEST_TMP_DIR) + "/no-such.ffpreset";
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("fpre", path); }),
              std::optional<std::string>("Preset \"" + path + "\" not found"));
}

TEST_F(EngineOptionStore, FilePresetSkipsCommentsAndKeepsLinesBeforeAFailure) {
    const std::string path =
        TempFile("store-fail.ffpreset", "# a comment\r\n g=33 \r\n\r\nacodec=flac\nbogus_xyz=1\n"
                                        "qmin=7\n");
    const auto raised = RaisedMessage([&] { task.ParseOption("fpre", path); });
    EXPECT_EQ(raised,
              std::optional<std::string>("Unrecognized option \"bogus_xyz\"\r\n" + path +
                                         ": Invalid option or argument: \"bogus_xyz=1\", parsed as "
                                         "\"bogus_xyz\" = \"1\""));
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->gop_size, 33);
    EXPECT_EQ(task.AudioCodecName, std::optional<std::string>("flac"));
    EXPECT_NE(Holder(AVMEDIA_TYPE_VIDEO)->qmin, 7);
}

TEST_F(EngineOptionStore, PresetLineWithoutEqIsInvalidSyntax) {
    const std::string path = TempFile("store-syntax.ffpreset", "g=10\nnoequals\n");
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("apre", path); }),
              std::optional<std::string>(path + ": Invalid syntax: \"noequals\""));
    EXPECT_EQ(Holder(AVMEDIA_TYPE_VIDEO)->gop_size, 10);
    const std::string empty = TempFile("store-empty-value.ffpreset", "g=\n");
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("spre", empty); }),
              std::optional<std::string>(empty + ": Invalid syntax: \"g=\""));
}

TEST_F(EngineOptionStore, PresetWithoutKindOrValueDoesNothing) {
    EXPECT_EQ(RaisedMessage([&] { task.ApplyPreset("vpre", ""); }), std::nullopt);
    EXPECT_EQ(RaisedMessage([&] { task.ApplyPreset("", "slow"); }), std::nullopt);
    EXPECT_TRUE(task.OptionContext->Names.empty());
}

} // namespace
