// The video side of the statistics: the quantiser histogram, PSNR, coded-frame facts, the
// video statistics file, and whole audio runs with their reports.
#include "ProgressTestEnv.h"

using namespace progresstest;

namespace {

TEST_F(EngineProgressTest, QuantiserHistogram) {
    AddOutput(".mkv");
    EngineOutputStream& video = AddStream(0, AVMEDIA_TYPE_VIDEO);
    video.frameNumber = 1;
    video.codedQuality = 5 * FF_QP2LAMBDA;
    video.lastEndTime = 1000;
    task_.QpHistogram = true;
    TCustomFFmpeg::ResetQuantHistogram();
    TLogCapture log;

    task_.ProgressReport(false, 0);
    video.codedQuality = 31 * FF_QP2LAMBDA;
    task_.ProgressReport(false, 0);
    video.codedQuality = 5 * FF_QP2LAMBDA;
    task_.ProgressReport(false, 0);
    TCustomFFmpeg::ResetQuantHistogram();

    // round(log2(count + 1)) of the first 32 quantisers: counts 1 -> 1, 2 -> 2 (log2 3).
    const std::vector<std::string> lines = Logged(log);
    ASSERT_EQ(lines.size(), 3u);
    const std::string line = "size=       0kB time=1.00 bitrate=   0.0kbits/s";
    EXPECT_EQ(lines[0], "frame=    1 fps=  0 q=5.0 00000100000000000000000000000000" + line);
    EXPECT_EQ(lines[1], "frame=    1 fps=  0 q=31.0 00000100000000000000000000000001" + line);
    EXPECT_EQ(lines[2], "frame=    1 fps=  0 q=5.0 00000200000000000000000000000001" + line);
}

TEST_F(EngineProgressTest, PsnrOfTheLastFrameAndOfTheRun) {
    AddOutput(".mkv");
    EngineOutputStream& video = AddStream(0, AVMEDIA_TYPE_VIDEO);
    video.frameNumber = 10;
    video.codedQuality = 2 * FF_QP2LAMBDA;
    video.lastEndTime = 1000;
    AVCodecContext* enc = video.encoder.get();
    enc->flags |= AV_CODEC_FLAG_PSNR;
    enc->width = 16;
    enc->height = 16;
    const double lumaScale = 16.0 * 16 * 255 * 255;
    const double chromaScale = lumaScale / 4;
    // Squared errors giving 20, 30 and 10 dB.
    video.codedError[0] = static_cast<uint64_t>(lumaScale / 100);
    video.codedError[1] = static_cast<uint64_t>(chromaScale / 1000);
    video.codedError[2] = static_cast<uint64_t>(chromaScale / 10);
    // The run's accumulated errors over its 10 frames: 10, 20 and 40 dB.
    enc->error[0] = static_cast<uint64_t>(lumaScale * 10 / 10);
    enc->error[1] = static_cast<uint64_t>(chromaScale * 10 / 100);
    enc->error[2] = static_cast<uint64_t>(chromaScale * 10 / 10000);
    TLogCapture log;

    task_.ProgressReport(false, 0);
    task_.ProgressReport(true, -1);

    auto total = [&](double e0, double e1, double e2, double frames) {
        char text[32];
        std::snprintf(text, sizeof(text), "*:%2.2f ",
                      -10 * std::log10((e0 + e1 + e2) / ((lumaScale + 2 * chromaScale) * frames)));
        return std::string(text);
    };
    const std::vector<std::string> lines = Logged(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find("size=")),
              "frame=   10 fps=  0 q=2.0 PSNR=Y:20.00 U:30.00 V:10.00 " +
                  total(static_cast<double>(video.codedError[0]),
                        static_cast<double>(video.codedError[1]),
                        static_cast<double>(video.codedError[2]), 1));
    EXPECT_EQ(lines[1].substr(0, lines[1].find("size=")),
              "frame=   10 fps=  0 q=2.0 LPSNR=Y:10.00 U:20.00 V:40.00 " +
                  total(static_cast<double>(enc->error[0]), static_cast<double>(enc->error[1]),
                        static_cast<double>(enc->error[2]), 10));
}

// ---- coded frame statistics and the video statistics file

TEST_F(EngineProgressTest, CodedFrameStatsOfARealEncoder) {
    const AVCodec* codec = ff::avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    ASSERT_NE(codec, nullptr);
    TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
    enc->width = 64;
    enc->height = 48;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, 25};
    enc->framerate = {25, 1};
    enc->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_PSNR;
    enc->global_quality = 4 * FF_QP2LAMBDA;
    ASSERT_EQ(ff::avcodec_open2(enc.get(), codec, nullptr), 0);

    AVFrame* frame = ff::av_frame_alloc();
    frame->width = enc->width;
    frame->height = enc->height;
    frame->format = enc->pix_fmt;
    ASSERT_EQ(ff::av_frame_get_buffer(frame, 0), 0);
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < (plane ? enc->height / 2 : enc->height); ++y)
            for (int x = 0; x < (plane ? enc->width / 2 : enc->width); ++x)
                frame->data[plane][y * frame->linesize[plane] + x] =
                    static_cast<uint8_t>(plane ? 128 : (x * 7 + y * 13) & 0xff);
    frame->pts = 0;
    frame->quality = enc->global_quality;
    ASSERT_EQ(ff::avcodec_send_frame(enc.get(), frame), 0);
    ASSERT_EQ(ff::avcodec_send_frame(enc.get(), nullptr), 0);
    AVPacket* packet = ff::av_packet_alloc();
    ASSERT_EQ(ff::avcodec_receive_packet(enc.get(), packet), 0);

    EngineOutputStream ost;
    TCustomFFmpeg::KeepCodedFrameStats(ost, *packet);
    EXPECT_EQ(ost.codedQuality, 4 * FF_QP2LAMBDA);
    EXPECT_EQ(ost.codedPictType, AV_PICTURE_TYPE_I);
    // The packet's error is the encoder's accumulated error after its only frame.
    EXPECT_GT(ost.codedError[0], 0u);
    EXPECT_EQ(ost.codedError[0], enc->error[0]);
    EXPECT_EQ(ost.codedError[1], enc->error[1]);

    ff::av_packet_free(&packet);
    ff::av_frame_free(&frame);
}

TEST_F(EngineProgressTest, VideoStatisticsFileLines) {
    const std::string path = PathOf("vstats_test.log");
    std::filesystem::remove(path);
    task_.VstatsFileName = path;
    AddOutput(".mkv");
    EngineOutputStream& video = AddStream(0, AVMEDIA_TYPE_VIDEO);
    AVCodecContext* enc = video.encoder.get();
    enc->time_base = {1, 25};
    enc->width = 16;
    enc->height = 16;
    enc->flags |= AV_CODEC_FLAG_PSNR;
    video.frameNumber = 7;
    video.codedQuality = 4 * FF_QP2LAMBDA;
    video.codedPictType = AV_PICTURE_TYPE_P;
    video.codedError[0] = static_cast<uint64_t>(16.0 * 16 * 255 * 255 / 100);
    video.syncOpts = 50;
    task_.VideoSize = 20480;

    task_.WriteVideoStats(video, 1000);
    video.frameNumber = 8;
    video.codedPictType = AV_PICTURE_TYPE_I;
    video.syncOpts = 0;
    enc->flags &= ~AV_CODEC_FLAG_PSNR;
    task_.WriteVideoStats(video, 500);
    // An audio stream writes no line.
    task_.WriteVideoStats(AddStream(0, AVMEDIA_TYPE_AUDIO), 100);
    task_.VstatsFile.reset();

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "frame=     7 q= 4.0 PSNR=  20.00 f_size=   1000 s_size=       20kB "
                          "time= 2.000 br=   200.0kbits/s avg_br=    81.9kbits/s type= P\n"
                          "frame=     8 q= 4.0 f_size=    500 s_size=       20kB time= 0.010 "
                          "br=   100.0kbits/s avg_br= 16384.0kbits/s type= I\n");
}

TEST_F(EngineProgressTest, VideoStatisticsFileThatCannotBeCreated) {
    const std::string path = PathOf("no-such-folder/vstats.log");
    task_.VstatsFileName = path;
    AddOutput(".mkv");
    EngineOutputStream& video = AddStream(0, AVMEDIA_TYPE_VIDEO);
    video.encoder->time_base = {1, 25};

    EXPECT_EQ(RaisedMessage([&] { task_.WriteVideoStats(video, 10); }),
              std::optional<std::string>("fopen fail: " + path));
}

// ---- reports of real runs

class EngineProgressRunTest : public EngineProgressTest {
protected:
    // A 3-second 44.1 kHz stereo source, converted to 22.05 kHz mono PCM.
    void Prepare(const std::string& outputName) {
        const std::string source =
            testmedia::Make(PathOf("source-3s.wav"),
                            "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3 -ac 2");
        ASSERT_FALSE(source.empty());
        output_ = PathOf(outputName);
        std::filesystem::remove(output_);
        ASSERT_TRUE(task_.OpenInputFile(source)) << task_.LastError;
        inputDuration_ = task_.InputFiles[0]->Container->duration;
        task_.ParseOption("ac", "1");
        task_.ParseOption("ar", "22050");
        ASSERT_GE(task_.CreateOutputFile(output_, false), 0) << task_.LastError;
        // A report after every packet.
        task_.ProgressInterval = 0;
    }

    std::string output_;
    int64_t inputDuration_ = 0;
};

TEST_F(EngineProgressRunTest, AudioRunReportsThroughTheCallback) {
    Prepare("run-callback.wav");
    CollectReports();
    TLogCapture log;

    task_.Start(false);

    ASSERT_FALSE(task_.ErrorOccurred) << task_.ErrorMessage;
    ASSERT_TRUE(task_.Finished);
    ASSERT_GE(reports_.size(), 3u);
    for (size_t i = 0; i < reports_.size(); ++i) {
        const TReport& r = reports_[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.Frame, -1);
        EXPECT_EQ(r.FPS, -1);
        EXPECT_FLOAT_EQ(r.Quality, -1.0f);
        EXPECT_EQ(r.Total, inputDuration_);
        EXPECT_EQ(r.File, i + 1 == reports_.size() ? -1 : 0);
        if (i > 0) {
            EXPECT_GE(r.Current, reports_[i - 1].Current);
            EXPECT_GE(r.Size, reports_[i - 1].Size);
        }
    }
    EXPECT_EQ(inputDuration_, 3000000);
    EXPECT_LT(reports_.front().Current, reports_.back().Current);
    // The last report comes after the trailer: the whole output, the whole duration.
    const TReport& last = reports_.back();
    EXPECT_EQ(last.Size, static_cast<int64_t>(std::filesystem::file_size(output_)));
    EXPECT_NEAR(static_cast<double>(last.Current), 3000000.0, 50000.0);
    EXPECT_NEAR(last.BitRate, last.Size * 8 / (last.Current / 1e6) / 1000, 0.01);

    // Only the statistics line reaches the log; the sizes are those of the run.
    const std::vector<std::string> lines = Logged(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("video:0kB audio:129kB global headers:0kB muxing overhead ", 0), 0u)
        << lines[0];
}

TEST_F(EngineProgressRunTest, AudioRunWithoutCallbackLogsItsReports) {
    Prepare("run-log.wav");
    TLogCapture log;

    task_.Start(false);

    ASSERT_TRUE(task_.Finished) << task_.ErrorMessage;
    const std::vector<std::string> lines = Logged(log);
    ASSERT_GE(lines.size(), 3u);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("size=", 0), 0u) << lines[i];
    EXPECT_NE(lines[lines.size() - 2].find(" time=3.00 "), std::string::npos)
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back().rfind("video:0kB audio:129kB ", 0), 0u) << lines.back();
}

} // namespace
