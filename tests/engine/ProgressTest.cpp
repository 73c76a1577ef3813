// The progress report, the statistics line and the video statistics file, over hand-made
// stream records on real output containers.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "MediaOpen.h"

namespace {

class TProgressTask : public TTestTask {
public:
    explicit TProgressTask(int capacity = 2) : TTestTask(capacity) {}
    using TCustomFFmpeg::AudioSize;
    using TCustomFFmpeg::DropFrames;
    using TCustomFFmpeg::DupDropChanged;
    using TCustomFFmpeg::DupFrames;
    using TCustomFFmpeg::ExtraSize;
    using TCustomFFmpeg::OutputFiles;
    using TCustomFFmpeg::OutputStreams;
    using TCustomFFmpeg::RunStartTime;
    using TCustomFFmpeg::VideoSize;
    using TCustomFFmpeg::VstatsFile;
};

// One OnProgress call.
struct TReport {
    int File;
    int64_t Total;
    int64_t Current;
    int64_t Size;
    float BitRate;
    float Quality;
    int FPS;
    int Frame;
};

class EngineProgressTest : public TEngineTest {
protected:
    void SetUp() override {
        TEngineTest::SetUp();
        dir_ = testmedia::TempDir("progress");
        // A run clock still within its first second (whatever the test machine's pace), so
        // the rate is 0; tests of the rate set their own start.
        task_.RunStartTime = ff::av_gettime() + 3600 * int64_t(1000000);
    }

    std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

    // A file name of this test alone (test processes may run in parallel).
    std::string TestFileName(const std::string& extension) const {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        return name + extension;
    }

    // A new output slot on a real container (format from the extension), its file open.
    AVFormatContext* AddOutput(const std::string& extension) {
        AVFormatContext* oc = nullptr;
        const std::string path = PathOf(TestFileName(extension));
        outputPath_ = path;
        EXPECT_GE(ff::avformat_alloc_output_context2(&oc, nullptr, nullptr, path.c_str()), 0);
        if (oc == nullptr)
            return nullptr;
        EXPECT_EQ(OpenOutputIO(&oc->pb, path, AVIO_FLAG_WRITE), 0);
        task_.AppendOutputFile(std::make_shared<TOutputContainer>(oc));
        return oc;
    }

    // Another slot on the same container (join mode).
    void ShareLastOutput() { task_.AppendOutputFile(task_.OutputFiles.back()); }

    // A stream record of `slot`, encoded and active, on a new muxer stream (or on `shared`).
    EngineOutputStream& AddStream(int slot, AVMediaType kind, AVRational timeBase = {1, 1000},
                                  AVStream* shared = nullptr) {
        AVFormatContext* oc = task_.OutputFiles[slot]->Context();
        AVStream* st = shared != nullptr ? shared : ff::avformat_new_stream(oc, nullptr);
        st->time_base = timeBase;
        st->codecpar->codec_type = kind;
        auto ost = std::make_unique<EngineOutputStream>();
        ost->fileIndex = slot;
        ost->streamIndex = st->index;
        ost->stream = st;
        ost->encoder.reset(ff::avcodec_alloc_context3(nullptr));
        ost->encoder->codec_type = kind;
        ost->encodingNeeded = 1;
        ost->active = 1;
        task_.OutputStreams[slot].push_back(std::move(ost));
        return *task_.OutputStreams[slot].back();
    }

    // Writes `bytes` bytes to the first output and flushes them to the file.
    void WriteBytes(size_t bytes) {
        AVIOContext* pb = task_.OutputFiles[0]->Context()->pb;
        const std::vector<unsigned char> data(bytes, 0x55);
        ff::avio_write(pb, data.data(), static_cast<int>(data.size()));
        ff::avio_flush(pb);
    }

    void CollectReports() {
        task_.OnProgress = [this](TCustomFFmpeg* sender, int file, int64_t total, int64_t current,
                                  int64_t size, float bitRate, float quality, int fps, int frame) {
            EXPECT_EQ(sender, &task_);
            reports_.push_back(TReport{file, total, current, size, bitRate, quality, fps, frame});
        };
    }

    // The report lines and statistics lines the task logged.
    std::vector<std::string> Logged(const TLogCapture& log) const {
        std::vector<std::string> texts;
        for (const TLogCapture::TEntry& e : log.Entries())
            if (e.Sender == &task_ &&
                (e.Msg.find("bitrate=") != std::string::npos || e.Msg.rfind("video:", 0) == 0)) {
                EXPECT_EQ(e.Level, llVerbose) << e.Msg;
                texts.push_back(e.Msg);
            }
        return texts;
    }

    std::string dir_;
    std::string outputPath_; // of the last AddOutput
    TProgressTask task_;
    std::vector<TReport> reports_;
};

TEST_F(EngineProgressTest, AudioOnlyReportCarriesNoVideoFields) {
    AddOutput(".wav");
    AddStream(0, AVMEDIA_TYPE_AUDIO, {1, 44100}).lastEndTime = 2 * 44100;
    WriteBytes(3000);
    task_.ExpectedDuration = 7000000;
    CollectReports();
    TLogCapture log;

    task_.ProgressReport(false, 3);

    ASSERT_EQ(reports_.size(), 1u);
    const TReport& r = reports_[0];
    EXPECT_EQ(r.File, 3);
    EXPECT_EQ(r.Total, 7000000);
    EXPECT_EQ(r.Current, 2000000);
    EXPECT_EQ(r.Size, 3000);
    EXPECT_EQ(r.Size, static_cast<int64_t>(std::filesystem::file_size(outputPath_)));
    EXPECT_FLOAT_EQ(r.BitRate, 3000 * 8 / 2.0f / 1000);
    EXPECT_FLOAT_EQ(r.Quality, -1.0f);
    EXPECT_EQ(r.FPS, -1);
    EXPECT_EQ(r.Frame, -1);
    // A routine report with a callback goes to the callback only.
    EXPECT_TRUE(Logged(log).empty());
}

TEST_F(EngineProgressTest, NoOutputContainerCountsSizeZero) {
    CollectReports();
    task_.ProgressReport(false, 0);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].Size, 0);
    EXPECT_EQ(reports_[0].Current, 10000);
}

// The output time is the smallest positive stream time, at least 0.01 s.
struct TOutputTimeCase {
    const char* Name;
    std::vector<int64_t> Ends; // milliseconds; AV_NOPTS_VALUE: nothing written yet
    int64_t Expected;          // microseconds
};
void PrintTo(const TOutputTimeCase& c, std::ostream* os) {
    *os << c.Name;
}

class EngineProgressTimeTest : public EngineProgressTest,
                               public ::testing::WithParamInterface<TOutputTimeCase> {};

TEST_P(EngineProgressTimeTest, OutputTimeIsTheSlowestStream) {
    const TOutputTimeCase& c = GetParam();
    AddOutput(".mka");
    for (int64_t end : c.Ends)
        AddStream(0, AVMEDIA_TYPE_AUDIO).lastEndTime = end;
    WriteBytes(2000);
    CollectReports();

    task_.ProgressReport(false, 0);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].Current, c.Expected);
    EXPECT_FLOAT_EQ(reports_[0].BitRate, 2000 * 8 / (c.Expected / 1e6f) / 1000);
}

INSTANTIATE_TEST_SUITE_P(
    EngineProgress, EngineProgressTimeTest,
    ::testing::Values(
        // Before any output time exists the report uses 0.01 s (bit rate 0.8 x size).
        TOutputTimeCase{"nothing_written", {AV_NOPTS_VALUE}, 10000},
        TOutputTimeCase{"no_streams", {}, 10000}, TOutputTimeCase{"below_minimum", {5}, 10000},
        TOutputTimeCase{"slowest_of_three", {3000, 1500, AV_NOPTS_VALUE}, 1500000},
        TOutputTimeCase{"zero_ignored", {0, 2000}, 2000000}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(EngineProgressTest, JoinGroupsShareTheMuxerClock) {
    AddOutput(".mka");
    ShareLastOutput();
    EngineOutputStream& first = AddStream(0, AVMEDIA_TYPE_AUDIO);
    first.lastEndTime = 3000;
    first.active = 0;
    AddStream(1, AVMEDIA_TYPE_AUDIO, {1, 1000}, first.stream).lastEndTime = 5000;
    CollectReports();

    task_.ProgressReport(false, 1);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].File, 1);
    EXPECT_EQ(reports_[0].Current, 5000000);
}

// Which lines reach the log without a callback.
struct TLogCase {
    const char* Name;
    int Verbose;
    bool Last;
    bool LineLogged;
    bool StatisticsLogged;
};
void PrintTo(const TLogCase& c, std::ostream* os) {
    *os << c.Name;
}

class EngineProgressLogTest : public EngineProgressTest,
                              public ::testing::WithParamInterface<TLogCase> {};

TEST_P(EngineProgressLogTest, LogsByVerbosityAndLastReport) {
    const TLogCase& c = GetParam();
    AddOutput(".wav");
    AddStream(0, AVMEDIA_TYPE_AUDIO, {1, 44100}).lastEndTime = 2 * 44100;
    WriteBytes(4096);
    task_.AudioSize = 3072;
    task_.Verbose = c.Verbose;
    TLogCapture log;

    task_.ProgressReport(c.Last, c.Last ? -1 : 0);

    std::vector<std::string> expected;
    if (c.LineLogged)
        expected.push_back("size=       4kB time=2.00 bitrate=  16.4kbits/s");
    if (c.StatisticsLogged)
        expected.push_back("video:0kB audio:3kB global headers:0kB muxing overhead 33.333333%\r\n");
    EXPECT_EQ(Logged(log), expected);
}

INSTANTIATE_TEST_SUITE_P(EngineProgress, EngineProgressLogTest,
                         ::testing::Values(TLogCase{"verbose1", 1, false, true, false},
                                           TLogCase{"verbose1_last", 1, true, true, true},
                                           TLogCase{"verbose0", 0, false, false, false},
                                           TLogCase{"verbose0_last", 0, true, true, true},
                                           TLogCase{"quiet_last", -1, true, false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(EngineProgressTest, LastReportWithCallbackLogsOnlyTheStatistics) {
    AddOutput(".wav");
    AddStream(0, AVMEDIA_TYPE_AUDIO, {1, 44100}).lastEndTime = 44100;
    WriteBytes(1000);
    task_.AudioSize = 800;
    task_.ExtraSize = 100;
    task_.VideoSize = 0;
    CollectReports();
    TLogCapture log;

    task_.ProgressReport(true, -1);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].File, -1);
    EXPECT_EQ(reports_[0].Current, 1000000);
    EXPECT_EQ(Logged(log),
              std::vector<std::string>{
                  "video:0kB audio:1kB global headers:0kB muxing overhead 11.111111%\r\n"});
}

TEST_F(EngineProgressTest, StatisticsLineWithNothingWritten) {
    AddOutput(".wav");
    task_.Verbose = 0;
    TLogCapture log;

    task_.ProgressReport(true, -1);

    const std::vector<std::string> lines = Logged(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "video:0kB audio:0kB global headers:0kB muxing overhead unknown\r\n");
}

TEST_F(EngineProgressTest, DuplicatesAndDropsAreLoggedOnceWithACallback) {
    AddOutput(".mka");
    AddStream(0, AVMEDIA_TYPE_AUDIO).lastEndTime = 1000;
    task_.DupFrames = 2;
    task_.DropFrames = 1;
    task_.DupDropChanged = true;
    CollectReports();
    TLogCapture log;

    task_.ProgressReport(false, 0);
    task_.ProgressReport(false, 0);

    EXPECT_EQ(reports_.size(), 2u);
    const std::vector<std::string> lines = Logged(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "size=       0kB time=1.00 bitrate=   0.0kbits/s dup=2 drop=1");
    EXPECT_FALSE(task_.DupDropChanged);
}

// ---- video fields

TEST_F(EngineProgressTest, VideoBeforeItsFirstFrameReportsNothing) {
    AddOutput(".mkv");
    AddStream(0, AVMEDIA_TYPE_VIDEO).lastEndTime = 1000;
    CollectReports();
    TLogCapture log;

    task_.ProgressReport(false, 0);
    task_.ProgressReport(true, -1);

    EXPECT_TRUE(reports_.empty());
    EXPECT_TRUE(Logged(log).empty());
}

TEST_F(EngineProgressTest, VideoFrameCountRateAndQuality) {
    AddOutput(".mkv");
    EngineOutputStream& video = AddStream(0, AVMEDIA_TYPE_VIDEO);
    video.frameNumber = 50000;
    video.codedQuality = 3 * FF_QP2LAMBDA;
    video.lastEndTime = 2000;
    AddStream(0, AVMEDIA_TYPE_AUDIO).lastEndTime = 2500;
    // 50000 frames in 1000 s of run time.
    task_.RunStartTime = ff::av_gettime() - 1000 * int64_t(1000000);
    CollectReports();

    task_.ProgressReport(false, 0);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].Frame, 50000);
    EXPECT_EQ(reports_[0].FPS, 50);
    EXPECT_FLOAT_EQ(reports_[0].Quality, 3.0f);
    EXPECT_EQ(reports_[0].Current, 2000000);
}

// The text of the video part of the line (no callback, so the line is logged).
struct TVideoLineCase {
    const char* Name;
    bool Last;
    bool FirstCopied;  // the first video stream is a stream copy
    bool FirstActive;  // the first video stream belongs to the group being transcoded
    bool SecondVideo;  // a second video stream follows
    const char* Start; // expected beginning of the line
};
void PrintTo(const TVideoLineCase& c, std::ostream* os) {
    *os << c.Name;
}

class EngineProgressVideoLineTest : public EngineProgressTest,
                                    public ::testing::WithParamInterface<TVideoLineCase> {};

TEST_P(EngineProgressVideoLineTest, VideoPartOfTheLine) {
    const TVideoLineCase& c = GetParam();
    AddOutput(".mkv");
    EngineOutputStream& first = AddStream(0, AVMEDIA_TYPE_VIDEO);
    first.frameNumber = 100;
    first.codedQuality = 3 * FF_QP2LAMBDA;
    first.encodingNeeded = c.FirstCopied ? 0 : 1;
    first.active = c.FirstActive ? 1 : 0;
    first.lastEndTime = 4000;
    if (c.SecondVideo) {
        EngineOutputStream& second = AddStream(0, AVMEDIA_TYPE_VIDEO);
        second.frameNumber = 7;
        second.codedQuality = 2 * FF_QP2LAMBDA;
        second.lastEndTime = 4000;
    }
    TLogCapture log;

    task_.ProgressReport(c.Last, 0);

    const std::vector<std::string> lines = Logged(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], std::string(c.Start) + "size=       0kB time=4.00 bitrate=   0.0kbits/s");
}

INSTANTIATE_TEST_SUITE_P(
    EngineProgress, EngineProgressVideoLineTest,
    ::testing::Values(
        TVideoLineCase{"encoded", false, false, true, false, "frame=  100 fps=  0 q=3.0 "},
        TVideoLineCase{"last", true, false, true, false, "frame=  100 fps=  0 q=3.0 L"},
        TVideoLineCase{"copied", false, true, true, false, "frame=  100 fps=  0 q=-1.0 "},
        TVideoLineCase{"second_video", false, false, true, true,
                       "frame=  100 fps=  0 q=3.0 q=2.0 "},
        TVideoLineCase{"first_inactive", false, false, false, true, "frame=    7 fps=  0 q=2.0 "}),
    [](const auto& info) { return std::string(info.param.Name); });

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
