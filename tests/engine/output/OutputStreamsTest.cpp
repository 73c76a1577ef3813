// The streams of an output: the encoder contexts made from the pending options, the format
// choices, stream copy, and the per-kind options each stream uses up.
#include <filesystem>
#include <string>

#include "../common/MediaFixture.h"
#include "EngineTestEnv.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

const char* const RateWarning = "Requested sampling rate unsupported using closest supported";

class EngineOutputStreams : public TEngineTest {
protected:
    static std::string OutPath(const std::string& name) {
        const std::string path = testmedia::TempDir("engine-output") + "/" + name;
        fs::remove(path);
        return path;
    }

    // The single stream of the task's first output.
    static EngineOutputStream& OnlyStream(TTestTask& task) {
        EXPECT_EQ(task.OutputStreams.size(), 1u);
        EXPECT_EQ(task.OutputStreams.at(0).size(), 1u);
        return *task.OutputStreams.at(0).at(0);
    }
};

TEST_F(EngineOutputStreams, SampleRateBecomesTheClosestListedRateWithAWarning) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("ar", "44000");
    TLogCapture log;
    ASSERT_EQ(task.CreateOutputFile(OutPath("rate.mp3"), false), 1) << task.LastError;
    const AVCodecContext* enc = OnlyStream(task).encoder.get();
    EXPECT_STREQ(enc->codec->name, "libmp3lame");
    EXPECT_EQ(enc->sample_rate, 44100);
    // Sample counts are the time stamps of the rate the encoder gets.
    EXPECT_EQ(enc->time_base.num, 1);
    EXPECT_EQ(enc->time_base.den, 44100);
    const auto warnings = log.Matching(RateWarning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Msg, std::string(RateWarning) + " (44100)");
    EXPECT_EQ(warnings[0].Level, llWarning);
    EXPECT_EQ(warnings[0].Sender, &task);
}

TEST_F(EngineOutputStreams, ListedSampleRateStandsWithoutWarning) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("ar", "48000");
    TLogCapture log;
    ASSERT_EQ(task.CreateOutputFile(OutPath("rate48.mp3"), false), 1) << task.LastError;
    EXPECT_EQ(OnlyStream(task).encoder->sample_rate, 48000);
    EXPECT_TRUE(log.Matching(RateWarning).empty());
}

// The choices on encoders described by hand: what each list makes of a requested value.
TEST_F(EngineOutputStreams, FormatChoicesFollowTheEncodersLists) {
    TCodecContextPtr enc(ff::avcodec_alloc_context3(nullptr));
    ASSERT_TRUE(enc);

    AVCodec rates{};
    const int rateList[] = {48000, 44100, 8000, 0};
    rates.supported_samplerates = rateList;
    const struct {
        int Requested, Chosen;
    } rateCases[] = {{44000, 44100},
                     {46050, 48000} /* equals: the first listed */,
                     {8000, 8000},
                     {1000, 8000},
                     {96000, 48000}};
    for (const auto& c : rateCases) {
        enc->sample_rate = c.Requested;
        ChooseSampleRate(enc.get(), &rates, nullptr);
        EXPECT_EQ(enc->sample_rate, c.Chosen) << c.Requested;
    }

    AVCodec formats{};
    const AVSampleFormat formatList[] = {AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_NONE};
    formats.sample_fmts = formatList;
    const struct {
        AVSampleFormat Requested, Chosen;
    } formatCases[] = {{AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16},
                       // The packed twin of a planar request comes before the first listed.
                       {AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S16},
                       {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_S32},
                       {AV_SAMPLE_FMT_NONE, AV_SAMPLE_FMT_S32}};
    for (const auto& c : formatCases) {
        enc->sample_fmt = c.Requested;
        ChooseSampleFormat(enc.get(), &formats);
        EXPECT_EQ(enc->sample_fmt, c.Chosen) << c.Requested;
    }

    const AVPixelFormat jpegList[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_NONE};
    const AVPixelFormat plainList[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24, AV_PIX_FMT_NONE};
    const struct {
        AVCodecID Id;
        const AVPixelFormat* List;
        int Strictness;
        AVPixelFormat Requested, Chosen;
    } pixelCases[] = {
        {AV_CODEC_ID_RAWVIDEO, plainList, 0, AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB24},
        {AV_CODEC_ID_RAWVIDEO, plainList, 0, AV_PIX_FMT_NONE, AV_PIX_FMT_YUV420P},
        {AV_CODEC_ID_RAWVIDEO, plainList, -1, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P},
        // Outside strict compliance the JPEG encoders have fixed candidates.
        {AV_CODEC_ID_MJPEG, jpegList, -1, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV422P},
        {AV_CODEC_ID_MJPEG, jpegList, -1, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUVJ420P},
        {AV_CODEC_ID_MJPEG, jpegList, 0, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVJ420P},
        {AV_CODEC_ID_LJPEG, jpegList, -1, AV_PIX_FMT_BGRA, AV_PIX_FMT_BGRA},
        {AV_CODEC_ID_LJPEG, jpegList, 0, AV_PIX_FMT_BGRA, AV_PIX_FMT_YUVJ420P},
    };
    for (const auto& c : pixelCases) {
        AVCodec pictures{};
        pictures.id = c.Id;
        pictures.pix_fmts = c.List;
        enc->strict_std_compliance = c.Strictness;
        enc->pix_fmt = c.Requested;
        ChoosePixelFormat(enc.get(), &pictures);
        EXPECT_EQ(enc->pix_fmt, c.Chosen) << c.Id << " " << c.Strictness << " " << c.Requested;
    }
}

// LAME lists s32p first; the source's own samples in planar form are taken when listed.
TEST_F(EngineOutputStreams, Mp3KeepsTheSourcesSampleFormatInPlanarForm) {
    const struct {
        const char* Name;
        const char* Codec;
        AVSampleFormat Expected;
    } cases[] = {{"s16.flac", "flac -sample_fmt s16", AV_SAMPLE_FMT_S16P},
                 {"s16.wav", "pcm_s16le", AV_SAMPLE_FMT_S16P},
                 {"flt.wav", "pcm_f32le", AV_SAMPLE_FMT_FLTP},
                 {"dbl.wav", "pcm_f64le", AV_SAMPLE_FMT_S32P}};
    for (const auto& c : cases) {
        const std::string input =
            testmedia::Make(testmedia::TempDir("engine-output") + "/" + c.Name,
                            std::string("-f lavfi -i sine=frequency=1000:duration=1 -ac 2 "
                                        "-ar 44100 -c:a ") +
                                c.Codec);
        ASSERT_FALSE(input.empty()) << c.Name;
        TTestTask task;
        ASSERT_TRUE(task.OpenInputFile(input)) << task.LastError;
        task.ParseOption("vn", "1");
        ASSERT_EQ(task.CreateOutputFile(OutPath("planar.mp3"), false), 1) << task.LastError;
        const AVCodecContext* enc = OnlyStream(task).encoder.get();
        EXPECT_STREQ(enc->codec->name, "libmp3lame");
        EXPECT_EQ(enc->sample_fmt, c.Expected) << c.Name;
    }
}

TEST_F(EngineOutputStreams, ChannelLayoutIsKeptOnlyForItsChannelCount) {
    const struct {
        uint64_t SourceLayout; // 0: the source had none (as a plain WAV file)
        int Channels;
        uint64_t Expected;
    } cases[] = {{AV_CH_LAYOUT_STEREO, 1, AV_CH_LAYOUT_MONO},
                 {AV_CH_LAYOUT_STEREO, 2, AV_CH_LAYOUT_STEREO},
                 {AV_CH_LAYOUT_5POINT1, 2, AV_CH_LAYOUT_STEREO},
                 {0, 2, AV_CH_LAYOUT_STEREO}};
    for (const auto& c : cases) {
        TTestTask task;
        task.ChannelLayout = c.SourceLayout; // as opening the source leaves it
        task.ParseOption("vn", "1");
        task.ParseOption("ac", std::to_string(c.Channels));
        ASSERT_EQ(task.CreateOutputFile(OutPath("layout.wav"), false), 1) << task.LastError;
        const AVChannelLayout& layout = OnlyStream(task).encoder->ch_layout;
        EXPECT_EQ(layout.nb_channels, c.Channels);
        EXPECT_EQ(layout.order, AV_CHANNEL_ORDER_NATIVE);
        EXPECT_EQ(layout.u.mask, c.Expected) << c.SourceLayout << " " << c.Channels;
        // The stream shows the encoder's settings before the run.
        EXPECT_EQ(OnlyStream(task).stream->codecpar->ch_layout.nb_channels, c.Channels);
    }
}

TEST_F(EngineOutputStreams, ChannelLayoutChoiceFollowsTheEncodersList) {
    auto native = [](uint64_t mask, int channels) {
        AVChannelLayout layout{};
        layout.order = AV_CHANNEL_ORDER_NATIVE;
        layout.nb_channels = channels;
        layout.u.mask = mask;
        return layout;
    };
    auto unspecified = [](int channels) {
        AVChannelLayout layout{};
        layout.order = AV_CHANNEL_ORDER_UNSPEC;
        layout.nb_channels = channels;
        return layout;
    };
    const AVChannelLayout listed[] = {native(AV_CH_LAYOUT_MONO, 1), native(AV_CH_LAYOUT_STEREO, 2),
                                      native(AV_CH_LAYOUT_2_1, 3), AVChannelLayout{}};
    AVCodec withList{};
    withList.ch_layouts = listed;
    AVCodec withoutList{};
    AVCodec opus{}; // lists none, takes the Vorbis orders only
    opus.name = "libopus";
    const struct {
        const AVCodec* Codec;
        AVChannelLayout Requested;
        uint64_t Chosen;
    } cases[] = {
        {&withList, unspecified(3), AV_CH_LAYOUT_2_1}, // the listed layout of 3
        // Not listed: the listed layout of the count, which the resampler maps to.
        {&withList, native(AV_CH_LAYOUT_SURROUND, 3), AV_CH_LAYOUT_2_1},
        {&withoutList, unspecified(2), AV_CH_LAYOUT_STEREO}, // the default layout of 2
        {&withoutList, native(AV_CH_LAYOUT_2_1, 3), AV_CH_LAYOUT_2_1},
        {&opus, native(AV_CH_LAYOUT_5POINT1, 6), AV_CH_LAYOUT_5POINT1_BACK},
        {&opus, native(AV_CH_LAYOUT_7POINT1, 8), AV_CH_LAYOUT_7POINT1},
        {&opus, unspecified(2), AV_CH_LAYOUT_STEREO},
    };
    for (const auto& c : cases) {
        TCodecContextPtr enc(ff::avcodec_alloc_context3(nullptr));
        ASSERT_TRUE(enc);
        enc->ch_layout = c.Requested;
        ChooseChannelLayout(enc.get(), c.Codec);
        EXPECT_EQ(enc->ch_layout.order, AV_CHANNEL_ORDER_NATIVE);
        EXPECT_EQ(enc->ch_layout.nb_channels, c.Requested.nb_channels);
        EXPECT_EQ(enc->ch_layout.u.mask, c.Chosen);
    }

    // No layout of the count: the encoder and its layouts are named.
    AVCodec named{};
    named.name = "up_to_three";
    named.ch_layouts = listed;
    TCodecContextPtr enc(ff::avcodec_alloc_context3(nullptr));
    ASSERT_TRUE(enc);
    enc->ch_layout = native(AV_CH_LAYOUT_5POINT1, 6);
    try {
        ChooseChannelLayout(enc.get(), &named);
        ADD_FAILURE() << "six channels were taken";
    } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "Encoder up_to_three does not take the channel layout 5.1(side); "
                               "it takes mono, stereo, 3.0(back)");
    }
}

TEST_F(EngineOutputStreams, SampleFormatNotListedBecomesTheFirstListed) {
    TTestTask task(2);
    task.ParseOption("vn", "1");
    task.ParseOption("sample_fmt", "fltp");
    ASSERT_EQ(task.CreateOutputFile(OutPath("format.wav"), false), 1) << task.LastError;
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->sample_fmt, AV_SAMPLE_FMT_S16);

    task.ParseOption("sample_fmt", "s32");
    ASSERT_EQ(task.CreateOutputFile(OutPath("format.flac"), false), 2) << task.LastError;
    EXPECT_EQ(task.OutputStreams[1][0]->encoder->sample_fmt, AV_SAMPLE_FMT_S32);
}

TEST_F(EngineOutputStreams, VideoStreamTakesThePendingPictureSettings) {
    TTestTask task;
    task.ParseOption("an", "1");
    task.ParseOption("s", "320x240");
    task.ParseOption("aspect", "16:9");
    task.ParseOption("qscale", "2");
    task.ParseOption("intra", "1");
    task.ParseOption("pass", "1");
    task.ParseOption("vtag", "DX50");
    task.ParseOption("vlang", "fre");
    task.ParseOption("force_key_frames", "0,1.5");
    ASSERT_EQ(task.CreateOutputFile(OutPath("picture.mpg"), false), 1) << task.LastError;

    const EngineOutputStream& ost = OnlyStream(task);
    const AVCodecContext* enc = ost.encoder.get();
    EXPECT_EQ(enc->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_STREQ(enc->codec->name, "mpeg1video");
    EXPECT_EQ(enc->width, 320);
    EXPECT_EQ(enc->height, 240);
    // No frame rate given: 25 pictures per second.
    EXPECT_EQ(enc->time_base.num, 1);
    EXPECT_EQ(enc->time_base.den, 25);
    // 16:9 on 320x240: square pixels would be 4:3, so 4:3 pixels.
    EXPECT_EQ(enc->sample_aspect_ratio.num, 4);
    EXPECT_EQ(enc->sample_aspect_ratio.den, 3);
    EXPECT_EQ(ost.stream->sample_aspect_ratio.num, 4);
    EXPECT_EQ(enc->pix_fmt, AV_PIX_FMT_YUV420P); // the encoder's first format
    EXPECT_EQ(enc->gop_size, 0);
    EXPECT_NE(enc->flags & AV_CODEC_FLAG_QSCALE, 0);
    EXPECT_EQ(enc->global_quality, 2 * FF_QP2LAMBDA);
    EXPECT_NE(enc->flags & AV_CODEC_FLAG_PASS1, 0);
    EXPECT_EQ(enc->codec_tag, MKTAG('D', 'X', '5', '0'));
    ASSERT_EQ(ost.forcedKeyFramePts.size(), 2u);
    EXPECT_EQ(ost.forcedKeyFramePts[0], 0);
    EXPECT_EQ(ost.forcedKeyFramePts[1], 38); // 1.5 s in 1/25 s, rounded
    const AVDictionaryEntry* lang = ff::av_dict_get(ost.stream->metadata, "language", nullptr, 0);
    ASSERT_NE(lang, nullptr);
    EXPECT_STREQ(lang->value, "fre");

    // Used up by the stream.
    EXPECT_EQ(task.FramePixFmt, -1);
    EXPECT_TRUE(task.ForcedKeyFrames.empty());
    EXPECT_TRUE(task.VideoLanguage.empty());
}

TEST_F(EngineOutputStreams, FrameRateSnapsToTheEncodersRatesUnlessForced) {
    const struct {
        const char* Rate;
        bool Force;
        int Num, Den; // the time base
    } cases[] = {
        {"30000/1001", false, 1001, 30000}, {"29", false, 1001, 30000}, {"29", true, 1, 29}};
    for (const auto& c : cases) {
        TTestTask task;
        task.ParseOption("an", "1");
        task.ParseOption("r", c.Rate);
        task.ParseOption("force_fps", c.Force ? "1" : "0");
        ASSERT_EQ(task.CreateOutputFile(OutPath("rate.mpg"), false), 1) << task.LastError;
        const AVCodecContext* enc = OnlyStream(task).encoder.get();
        EXPECT_EQ(enc->time_base.num, c.Num) << c.Rate;
        EXPECT_EQ(enc->time_base.den, c.Den) << c.Rate;
    }
}

TEST_F(EngineOutputStreams, StreamCopyMarksTheStreamAndTakesNoEncoder) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("sn", "1");
    task.ParseOption("acodec", "copy");
    task.ParseOption("ar", "22050");
    task.ParseOption("ac", "1");
    ASSERT_EQ(task.CreateOutputFile(OutPath("copy.mkv"), false), 1) << task.LastError;
    const EngineOutputStream& ost = OnlyStream(task);
    EXPECT_EQ(ost.streamCopy, 1);
    EXPECT_EQ(ost.encoder->codec, nullptr);
    EXPECT_EQ(ost.encoder->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(ost.encoder->sample_rate, 22050);
    EXPECT_EQ(ost.encoder->ch_layout.nb_channels, 1);
    EXPECT_EQ(task.OutputCodecs.at(0), nullptr);
    EXPECT_EQ(task.AudioStreamCopy, 0);
}

TEST_F(EngineOutputStreams, RecordedCodecOptionsReachTheEncoder) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("acodec", "flac");
    task.ParseOption("compression_level", "7");
    task.ParseOption("lpc_type", "cholesky"); // an option of the FLAC encoder only
    task.ParseOption("aq", "3");
    ASSERT_EQ(task.CreateOutputFile(OutPath("options.flac"), false), 1) << task.LastError;
    AVCodecContext* enc = OnlyStream(task).encoder.get();
    EXPECT_EQ(enc->compression_level, 7);
    int64_t lpc = -1;
    ASSERT_GE(ff::av_opt_get_int(enc->priv_data, "lpc_type", 0, &lpc), 0);
    EXPECT_EQ(lpc, 3); // FF_LPC_TYPE_CHOLESKY
    EXPECT_NE(enc->flags & AV_CODEC_FLAG_QSCALE, 0);
    EXPECT_EQ(enc->global_quality, 3 * FF_QP2LAMBDA);
}

} // namespace
