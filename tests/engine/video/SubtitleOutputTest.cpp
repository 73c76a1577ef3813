// Subtitle output: SubRip decoded and encoded as ASS into Matroska in a run; DVB subtitles
// (two packets per subtitle, the clearing one at the end display time) and subtitles without
// pts at the level of the output step.
#include <cstdlib>
#include <fstream>

#include "../run/RunTestEnv.h"
#include "video/SubtitleOutput.h"

using namespace runtest;

namespace {

// Three cues over two seconds of tone, in Matroska as SubRip.
std::string SubRipSource() {
    const std::string srt = Dir() + "/cues.srt";
    if (!fs::exists(srt)) {
        std::ofstream f(srt);
        f << "1\n00:00:00,200 --> 00:00:00,700\nfirst\n\n"
             "2\n00:00:00,900 --> 00:00:01,300\nsecond\n\n"
             "3\n00:00:01,500 --> 00:00:01,800\nthird\n";
    }
    return Make("subrip.mkv", "-f lavfi -i sine=duration=2 -i " + testmedia::Quote(srt) +
                                  " -map 0:a -map 1:s -c:a pcm_s16le -c:s srt");
}

// One line per packet: "pts_time,duration_time".
std::vector<std::string> PacketLines(const std::string& path, const std::string& stream) {
    return ProbeLines(path, "-select_streams " + stream +
                                " -show_entries packet=pts_time,duration_time -of csv=p=0");
}

// The subtitles of a file as SubRip text, read back with the ffmpeg program.
std::string SubtitleText(const std::string& path) {
    const std::string cmd = "ffmpeg -nostdin -v error -i " + testmedia::Quote(path) +
                            " -map 0:s:0 -f srt - 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    char buf[512];
    while (pipe && fgets(buf, sizeof buf, pipe.get()) != nullptr)
        out += buf;
    return out;
}

TEST_F(EngineRun, SubRipIntoMatroskaBecomesAssWithItsTimes) {
    const std::string source = SubRipSource();
    ASSERT_FALSE(source.empty());
    TLogCapture log;
    TTestTask task;
    OpenInput(task, source);
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.SubtitleCodec = "ass";
    const std::string out = OutPath("subtitles.mkv");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(Probe(out, "-select_streams s:0 -show_entries stream=codec_name -of csv=p=0"), "ass");
    EXPECT_EQ(
        PacketLines(out, "s:0"),
        (std::vector<std::string>{"0.200000,0.500000", "0.900000,0.400000", "1.500000,0.300000"}));
    // The texts arrive, in order.
    const std::string text = SubtitleText(out);
    const size_t first = text.find("first");
    const size_t second = text.find("second");
    const size_t third = text.find("third");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::string::npos);
    EXPECT_NEAR(PacketSeconds(out, "a:0"), 2.0, 0.05);
    for (const auto& entry : log.Entries())
        EXPECT_GT(entry.Level, llError) << entry.Msg;
}

struct THeaderCase {
    const char* Out;
    const char* Codec;
    const char* ProbedName;
};

// SubRip re-encoded: the encoder takes the header its source's decoder builds when it opens,
// so each output carries the codec data the ffmpeg program writes for the same conversion.
class SubtitleHeader : public EngineRun, public ::testing::WithParamInterface<THeaderCase> {
protected:
    static std::string CodecData(const std::string& path) {
        return Probe(path, "-select_streams s:0 -show_data -show_entries stream=extradata -of "
                           "default=nw=1");
    }
};

TEST_P(SubtitleHeader, IsTheOneTheDecoderBuilds) {
    const THeaderCase& c = GetParam();
    const std::string source = SubRipSource();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    OpenInput(task, source);
    TOutputOptions o;
    o.AudioCodec = "aac";
    o.SubtitleCodec = c.Codec;
    const std::string out = OutPath(std::string("header-") + c.Out);
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(Probe(out, "-select_streams s:0 -show_entries stream=codec_name -of csv=p=0"),
              c.ProbedName);
    const std::string reference = OutPath(std::string("header-ref-") + c.Out);
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i " + testmedia::Quote(source) +
                           " -map 0 -c:a aac -c:s " + c.Codec + " " + testmedia::Quote(reference))
                              .c_str()),
              0);
    // mov_text in MP4 fills the gaps between cues with empty samples.
    EXPECT_EQ(Packets(out, "s:0"), Packets(reference, "s:0"));
    EXPECT_GE(Packets(out, "s:0"), 3);
    const std::string expected = CodecData(reference);
    EXPECT_EQ(CodecData(out), expected);
    // ASS and mov_text keep their header as codec data; SubRip has none.
    EXPECT_EQ(expected.find("00000000:") != std::string::npos, std::string(c.Codec) != "srt")
        << expected;
}

INSTANTIATE_TEST_SUITE_P(SubRip, SubtitleHeader,
                         ::testing::Values(THeaderCase{"srt.mkv", "srt", "subrip"},
                                           THeaderCase{"mov_text.mp4", "mov_text", "mov_text"},
                                           THeaderCase{"ass.mkv", "ass", "ass"}));

// The output step alone: an output stream on a muxer made here, with the encoder opened.
class SubtitleStep : public TEngineTest {
protected:
    void Open(const std::string& path, const char* format, AVCodecID codecId) {
        ASSERT_GE(ff::avformat_alloc_output_context2(&muxer_, nullptr, format, path.c_str()), 0);
        const AVCodec* codec = ff::avcodec_find_encoder(codecId);
        ASSERT_NE(codec, nullptr);
        AVStream* st = ff::avformat_new_stream(muxer_, nullptr);
        ASSERT_NE(st, nullptr);
        ost_.stream = st;
        ost_.encoder.reset(ff::avcodec_alloc_context3(codec));
        AVCodecContext* enc = ost_.encoder.get();
        enc->time_base = AV_TIME_BASE_Q;
        enc->width = 64;
        enc->height = 48;
        if (codec->id != AV_CODEC_ID_DVB_SUBTITLE) {
            // Text encoders start from the ASS header a decoder would give.
            static const char Header[] = "[Script Info]\r\nScriptType: v4.00+\r\n\r\n"
                                         "[Events]\r\nFormat: Layer, Start, End, Text\r\n";
            enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(sizeof Header));
            std::memcpy(enc->subtitle_header, Header, sizeof Header);
            enc->subtitle_header_size = sizeof Header - 1;
        }
        ASSERT_GE(ff::avcodec_open2(enc, codec, nullptr), 0);
        ASSERT_GE(ff::avcodec_parameters_from_context(st->codecpar, enc), 0);
        st->time_base = enc->time_base;
        ASSERT_GE(ff::avio_open2(&muxer_->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
        ASSERT_GE(ff::avformat_write_header(muxer_, nullptr), 0);
        inputStream_.time_base = AVRational{1, 1000};
        ist_.stream = &inputStream_;
    }

    void Close() {
        if (muxer_ == nullptr)
            return;
        ff::av_write_trailer(muxer_);
        ff::avio_closep(&muxer_->pb);
        ff::avformat_free_context(muxer_);
        muxer_ = nullptr;
    }

    ~SubtitleStep() override { Close(); }

    // A 16x8 picture region of two colours, shown from 100 ms to 600 ms after its packet; its
    // region lives in the fixture.
    AVSubtitle BitmapSubtitle() {
        AVSubtitleRect& rect = rect_;
        uint8_t* pixels = pixels_;
        uint32_t* palette = palette_;
        rect = AVSubtitleRect{};
        rect.type = SUBTITLE_BITMAP;
        rect.x = 8;
        rect.y = 30;
        rect.w = 16;
        rect.h = 8;
        rect.nb_colors = 4;
        for (int i = 0; i < 16 * 8; ++i)
            pixels[i] = static_cast<uint8_t>((i / 4) % 2);
        palette[0] = 0x00000000;
        palette[1] = 0xffffffff;
        palette[2] = palette[3] = 0xff000000;
        rect.data[0] = pixels;
        rect.linesize[0] = 16;
        rect.data[1] = reinterpret_cast<uint8_t*>(palette);
        AVSubtitle sub{};
        sub.format = 0;
        sub.start_display_time = 100;
        sub.end_display_time = 600;
        rects_[0] = &rect;
        sub.rects = rects_;
        sub.num_rects = 1;
        return sub;
    }

    TTestTask task_;
    AVFormatContext* muxer_ = nullptr;
    EngineOutputStream ost_;
    AVStream inputStream_{};
    EngineInputStream ist_;
    AVSubtitleRect rect_{};
    uint8_t pixels_[16 * 8] = {};
    uint32_t palette_[4] = {};
    AVSubtitleRect* rects_[1] = {};
};

TEST_F(SubtitleStep, DvbSubtitleGivesAShowAndAClearPacket) {
    const std::string out = Dir() + "/dvb.ts";
    fs::remove(out);
    Open(out, "mpegts", AV_CODEC_ID_DVB_SUBTITLE);
    AVSubtitle sub = BitmapSubtitle();
    // The subtitle is left as decoded: a further use (another output) gets the same times.
    ASSERT_NO_THROW(DoSubtitleOut(task_, muxer_, ost_, ist_, sub, 2000)); // 2 s in 1/1000
    EXPECT_EQ(sub.num_rects, 1u);
    EXPECT_EQ(sub.start_display_time, 100u);
    EXPECT_EQ(sub.end_display_time, 600u);
    ASSERT_NO_THROW(DoSubtitleOut(task_, muxer_, ost_, ist_, sub, 4000));
    Close();

    // Shown at 2.1 s, cleared 500 ms later: the shift is 90 x end display time in 1/90000.
    // (A file this small is probed as raw DVB subtitles unless the format is named.)
    const std::vector<std::string> lines =
        ProbeLines(out, "-f mpegts -select_streams s:0 -show_entries packet=pts -of csv=p=0");
    std::vector<long long> stamps;
    for (const std::string& line : lines)
        if (line != ",")
            stamps.push_back(std::stoll(line));
    EXPECT_EQ(stamps, (std::vector<long long>{90LL * 2100, 90LL * 2600, 90LL * 4100, 90LL * 4600}))
        << Probe(out, "-f mpegts -select_streams s:0 -show_entries packet=pts -of csv=p=0");
}

// A text encoder cannot take a picture.
TEST_F(SubtitleStep, EncoderFailureIsRaised) {
    const std::string out = Dir() + "/refused.srt";
    fs::remove(out);
    Open(out, "srt", AV_CODEC_ID_SUBRIP);
    AVSubtitle sub = BitmapSubtitle();
    try {
        DoSubtitleOut(task_, muxer_, ost_, ist_, sub, 0);
        ADD_FAILURE() << "not raised";
    } catch (const FFmpegException& e) {
        EXPECT_STREQ(e.what(), "Subtitle encoding failed");
    }
}

struct TNoPtsCase {
    const char* Name;
    bool ExitOnError;
};

class SubtitleNoPts : public SubtitleStep, public ::testing::WithParamInterface<TNoPtsCase> {};

TEST_P(SubtitleNoPts, IsRaisedWithXerrorElseLogged) {
    task_.ExitOnError = GetParam().ExitOnError;
    TLogCapture log;
    AVSubtitle sub{};
    // Nothing else is touched: no muxer, no encoder.
    if (GetParam().ExitOnError) {
        try {
            DoSubtitleOut(task_, nullptr, ost_, ist_, sub, AV_NOPTS_VALUE);
            ADD_FAILURE() << "not raised";
        } catch (const FFmpegException& e) {
            EXPECT_STREQ(e.what(), "Subtitle packets must have a pts");
        }
        EXPECT_TRUE(log.Matching("Subtitle packets must have a pts").empty());
    } else {
        ASSERT_NO_THROW(DoSubtitleOut(task_, nullptr, ost_, ist_, sub, AV_NOPTS_VALUE));
        const auto lines = log.Matching("Subtitle packets must have a pts");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].Level, llError);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SubtitleNoPts,
                         ::testing::Values(TNoPtsCase{"Xerror", true}, TNoPtsCase{"Plain", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
