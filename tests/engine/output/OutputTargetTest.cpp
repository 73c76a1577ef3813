// The target presets: the norm (given, detected or the fallback) and the settings of each
// target, as far as the output that follows them.
#include <filesystem>
#include <string>

#include "../common/MediaFixture.h"
#include "EngineTestEnv.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

class EngineOutputTarget : public TEngineTest {
protected:
    static std::string OutPath(const std::string& name) {
        const std::string path = testmedia::TempDir("engine-output") + "/" + name;
        fs::remove(path);
        return path;
    }

    static int64_t HolderInt(TTestTask& task, AVMediaType type, const char* name) {
        int64_t value = -1;
        EXPECT_GE(
            ff::av_opt_get_int(task.OptionContext->CodecContexts[type].get(), name, 0, &value), 0);
        return value;
    }

    static std::string Kept(TTestTask& task, const char* name) {
        const AVDictionaryEntry* e =
            ff::av_dict_get(*task.OutputFiles.at(0)->HeaderOptions(), name, nullptr, 0);
        return e != nullptr ? e->value : "(none)";
    }
};

TEST_F(EngineOutputTarget, VcdWithAnNtscRateSetsTheNtscVcd) {
    TTestTask task;
    task.ParseOption("r", "30000/1001");
    TLogCapture log;
    task.ParseOption("target", "vcd");

    EXPECT_EQ(log.Matching("Assuming NTSC for target.").size(), 1u);
    EXPECT_EQ(task.FrameWidth, 352);
    EXPECT_EQ(task.FrameHeight, 240);
    EXPECT_EQ(task.FrameRate.num, 30000);
    EXPECT_EQ(task.FrameRate.den, 1001);
    EXPECT_EQ(task.ForcedFormat, "vcd");
    EXPECT_EQ(task.VideoCodecName, "mpeg1video");
    EXPECT_EQ(task.AudioCodecName, "mp2");
    EXPECT_EQ(task.AudioSampleRate, 44100);
    EXPECT_EQ(task.AudioChannels, 2);
    EXPECT_FLOAT_EQ(task.MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(task.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_EQ(log.Matching("Assuming 4:3 for aspect ratio").size(), 1u);
    EXPECT_EQ(HolderInt(task, AVMEDIA_TYPE_VIDEO, "g"), 18);
    EXPECT_EQ(HolderInt(task, AVMEDIA_TYPE_VIDEO, "b"), 1150000);
    EXPECT_EQ(HolderInt(task, AVMEDIA_TYPE_AUDIO, "b"), 224000);

    // The output follows the target.
    ASSERT_EQ(task.CreateOutputFile(OutPath("target.mpg"), false), 1) << task.LastError;
    AVFormatContext* ctx = task.OutputFiles[0]->Context();
    EXPECT_STREQ(ctx->oformat->name, "vcd");
    EXPECT_EQ(ctx->packet_size, 2324u);
    EXPECT_EQ(Kept(task, "muxrate"), "1411200");
    EXPECT_EQ(Kept(task, "preload"), "440000");
    ASSERT_EQ(task.OutputStreams[0].size(), 2u);
    const AVCodecContext* video = task.OutputStreams[0][0]->encoder.get();
    const AVCodecContext* audio = task.OutputStreams[0][1]->encoder.get();
    EXPECT_EQ(video->codec_id, AV_CODEC_ID_MPEG1VIDEO);
    EXPECT_EQ(video->bit_rate, 1150000);
    EXPECT_EQ(video->gop_size, 18);
    EXPECT_EQ(video->time_base.num, 1001);
    EXPECT_EQ(video->time_base.den, 30000);
    EXPECT_EQ(audio->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(audio->bit_rate, 224000);
    EXPECT_EQ(audio->sample_rate, 44100);
}

TEST_F(EngineOutputTarget, AutoNormNeedsAFrameRateOrAnInput) {
    TTestTask task;
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("target", "vcd"); }), "frame_rate is invalid.");
    EXPECT_TRUE(task.ForcedFormat.empty());
    // An undetectable rate falls back to the target option's NTSC.
    task.ParseOption("r", "10");
    task.ParseOption("target", "vcd");
    EXPECT_EQ(task.FrameHeight, 240);
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("target", "pal-cdi"); }), "Unknown target type");
}

TEST_F(EngineOutputTarget, AutoNormIsDetectedFromTheInputsVideo) {
    const std::string video =
        testmedia::Make(testmedia::TempDir("engine-output") + "/pal25.mkv",
                        "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4");
    ASSERT_FALSE(video.empty());
    TTestTask task;
    ASSERT_TRUE(task.OpenInputFile(video)) << task.LastError;
    task.ParseOption("r", "10"); // says nothing: the input's video decides
    task.ApplyTarget("svcd", "auto", "ntsc");
    EXPECT_EQ(task.FrameWidth, 480);
    EXPECT_EQ(task.FrameHeight, 576);
    EXPECT_EQ(task.FrameRate.num, 25);
    EXPECT_EQ(task.FrameRate.den, 1);
}

TEST_F(EngineOutputTarget, EachTargetSetsItsSizesRatesAndAudio) {
    const struct {
        const char* Target;
        int Width, Height, RateNum, RateDen;
        int PixFmt; // -1: unchanged
        int SampleRate;
        const char* Format;
    } cases[] = {
        {"pal-dvd", 720, 576, 25, 1, -1, 48000, "dvd"},
        {"ntsc-svcd", 480, 480, 30000, 1001, -1, 44100, "svcd"},
        {"film-dvd", 720, 480, 24000, 1001, -1, 48000, "dvd"},
        {"pal-dv", 720, 576, 25, 1, AV_PIX_FMT_YUV420P, 48000, "dv"},
        {"ntsc-dv", 720, 480, 30000, 1001, AV_PIX_FMT_YUV411P, 48000, "dv"},
        {"pal-dv50", 720, 576, 25, 1, AV_PIX_FMT_YUV422P, 48000, "dv"},
    };
    for (const auto& c : cases) {
        TTestTask task;
        task.ParseOption("ac", "1");
        task.ParseOption("target", c.Target);
        EXPECT_EQ(task.FrameWidth, c.Width) << c.Target;
        EXPECT_EQ(task.FrameHeight, c.Height) << c.Target;
        EXPECT_EQ(task.FrameRate.num, c.RateNum) << c.Target;
        EXPECT_EQ(task.FrameRate.den, c.RateDen) << c.Target;
        EXPECT_EQ(task.FramePixFmt, c.PixFmt) << c.Target;
        EXPECT_EQ(task.AudioSampleRate, c.SampleRate) << c.Target;
        EXPECT_EQ(task.AudioChannels, 2) << c.Target; // mono becomes stereo
        EXPECT_EQ(task.ForcedFormat, c.Format) << c.Target;
    }
}

} // namespace
