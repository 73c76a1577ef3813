// The progress report and the statistics line, over hand-made stream records on real output
// containers.
#include "ProgressTestEnv.h"

using namespace progresstest;

namespace {
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

// A cover picture's stream ends with its one picture: the output's time is the audio's.
TEST_F(EngineProgressTest, ACoverPictureDoesNotHoldTheOutputTimeBack) {
    AddOutput(".mka");
    AddStream(0, AVMEDIA_TYPE_AUDIO).lastEndTime = 3000;
    EngineOutputStream& cover = AddStream(0, AVMEDIA_TYPE_VIDEO);
    cover.stream->disposition |= AV_DISPOSITION_ATTACHED_PIC;
    cover.frameNumber = 1;
    cover.lastEndTime = 40;
    WriteBytes(2000);
    CollectReports();

    task_.ProgressReport(false, 0);

    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].Current, 3000000);
    EXPECT_EQ(task_.OutputDuration.load(), 3000000);
}

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

} // namespace
