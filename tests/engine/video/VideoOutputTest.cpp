// Video outputs end to end: re-encoding with the frame count, size, rate and duration read
// back with ffprobe, scaling, filter descriptions, frame-rate sync, the frame limit, forced
// key frames and the two passes.
#include <cmath>

#include "VideoRunEnv.h"

using namespace videotest;

namespace {

class TVideoTask : public TTestTask {
public:
    using TCustomFFmpeg::DropFrames;
    using TCustomFFmpeg::DupFrames;
};

// ---- encoders with their audio

struct TEncodeCase {
    const char* Name;
    const char* Codec;
    const char* AudioCodec;
    const char* Output;
    const char* Probed; // codec name as ffprobe shows it
};

class VideoEncode : public VideoRun, public ::testing::WithParamInterface<TEncodeCase> {};

TEST_P(VideoEncode, KeepsFramesSizeRateAndDurationWithTheAudio) {
    const TEncodeCase& c = GetParam();
    TTestTask task;
    const std::string out = OutPath(std::string("encode-") + c.Output);
    OpenInput(task, Source25(), "");
    TOutputOptions o;
    o.VideoCodec = c.Codec;
    o.AudioCodec = c.AudioCodec;
    o.ExtOptions = "b=400000";
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(task.Finished);
    EXPECT_EQ(VideoFact(out, "codec_name,width,height,r_frame_rate"),
              std::string(c.Probed) + ",160,120,25/1");
    EXPECT_EQ(Packets(out, "v:0"), 50);
    EXPECT_NEAR(StreamEnd(out, "v:0"), 2.0, 0.041);
    EXPECT_NEAR(PacketSeconds(out, "a:0"), 2.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, VideoEncode,
    ::testing::Values(TEncodeCase{"Mpeg4Mp3Avi", "mpeg4", "libmp3lame", "out.avi", "mpeg4"},
                      TEncodeCase{"X264AacMp4", "libx264", "aac", "out.mp4", "h264"}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- geometry: the scaler and the filter chain

struct TGeometryCase {
    const char* Name;
    const char* Lines;
    const char* Size; // "width,height" of the output
};

class VideoGeometry : public VideoRun, public ::testing::WithParamInterface<TGeometryCase> {};

TEST_P(VideoGeometry, GivesThePictureSizeAndEveryFrame) {
    const TGeometryCase& c = GetParam();
    TTestTask task;
    const std::string out = OutPath(std::string("geometry-") + c.Name + ".mkv");
    Prepare(task, Silent25(), out, "mpeg4", c.Lines);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(VideoFact(out, "width,height"), c.Size);
    EXPECT_EQ(Packets(out, "v:0"), 50);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoGeometry,
                         ::testing::Values(TGeometryCase{"Scale", "s=80x60", "80,60"},
                                           TGeometryCase{"Hflip", "vf=hflip", "160,120"},
                                           TGeometryCase{"Crop", "vf=crop=100:80:0:0", "100,80"},
                                           // gives every picture at the end of the input
                                           TGeometryCase{"Reverse", "vf=reverse", "160,120"},
                                           TGeometryCase{"ScaleThenCrop", "s=80x60\nvf=crop=40:30",
                                                         "40,30"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A flipped picture is the mirror of the source: the left column of the output's first frame
// is the right column of the source's.
TEST_F(VideoRun, FilterDescriptionChangesThePictures) {
    TTestTask task;
    const std::string out = OutPath("hflip-pixels.nut");
    Prepare(task, Silent25(), out, "rawvideo", "vf=hflip\npix_fmt=rgb24\nvframes=1");
    ASSERT_EQ(RunTask(task), "");
    const std::string flipped = Dir() + "/hflip-pixels.rgb";
    const std::string direct = Dir() + "/direct-pixels.rgb";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + testmedia::Quote(out) +
                           " -f rawvideo -pix_fmt rgb24 " + testmedia::Quote(flipped))
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + testmedia::Quote(Silent25()) +
                           " -frames:v 1 -vf hflip -f rawvideo -pix_fmt rgb24 " +
                           testmedia::Quote(direct))
                              .c_str()),
              0);
    std::ifstream a(flipped, std::ios::binary), b(direct, std::ios::binary);
    const std::string pa((std::istreambuf_iterator<char>(a)), {});
    const std::string pb((std::istreambuf_iterator<char>(b)), {});
    ASSERT_EQ(pa.size(), 160u * 120 * 3);
    ASSERT_EQ(pb.size(), pa.size());
    size_t differing = 0;
    for (size_t i = 0; i < pa.size(); ++i)
        differing += std::abs(static_cast<int>(static_cast<unsigned char>(pa[i])) -
                              static_cast<unsigned char>(pb[i])) > 24;
    EXPECT_LT(differing, pa.size() / 50);
}

TEST_F(VideoRun, BadFilterDescriptionFailsAndLeavesNoCodecOpen) {
    TTestTask task;
    const std::string out = OutPath("bad-filter.mkv");
    Prepare(task, Silent25(), out, "mpeg4", "vf=nosuchfilter");
    const std::string error = RunTask(task);
    EXPECT_EQ(error.rfind("Error opening filters: nosuchfilter: ", 0), 0u) << error;
    EXPECT_TRUE(task.OpenEncoders.empty());
    EXPECT_TRUE(task.OpenDecoders.empty());
}

// ---- frame-rate sync

struct TSyncCase {
    const char* Name;
    const char* Lines;
    int Frames;
    int Dup;
    int Drop;
};

class VideoSync : public VideoRun, public ::testing::WithParamInterface<TSyncCase> {};

TEST_P(VideoSync, WritesTheFramesOfTheOutputRate) {
    const TSyncCase& c = GetParam();
    TVideoTask task;
    const std::string out = OutPath(std::string("sync-") + c.Name + ".avi");
    Prepare(task, Silent25(), out, "mpeg4", c.Lines);
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(Packets(out, "v:0"), c.Frames, 1);
    EXPECT_NEAR(task.DupFrames, c.Dup, 1);
    EXPECT_NEAR(task.DropFrames, c.Drop, 1);
    const auto reports = log.Matching(" dup=");
    ASSERT_FALSE(reports.empty());
    const std::string& last = reports.back().Msg;
    EXPECT_NE(last.find(" dup=" + std::to_string(task.DupFrames) +
                        " drop=" + std::to_string(task.DropFrames)),
              std::string::npos)
        << last;
}

INSTANTIATE_TEST_SUITE_P(Rates, VideoSync,
                         ::testing::Values(TSyncCase{"To10", "r=10", 20, 0, 30},
                                           TSyncCase{"To50", "r=50", 98, 48, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A source whose pictures pause for a second after the first 25: a constant rate fills the
// gap with duplicates, vsync 0 passes the pictures with their own times.
std::string GapSource() {
    return Make("gap25.mkv", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -vf "
                             "\"setpts='if(gte(N,25),PTS+25,PTS)'\" -fps_mode passthrough "
                             "-c:v mpeg4 -q:v 4");
}

TEST_F(VideoRun, ConstantRateFillsAGapWithDuplicates) {
    TVideoTask task;
    const std::string out = OutPath("gap-vsync1.avi");
    Prepare(task, GapSource(), out, "mpeg4", "vsync=1");
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(Packets(out, "v:0"), 75, 1);
    EXPECT_NEAR(task.DupFrames, 25, 1);
}

TEST_F(VideoRun, NoSyncKeepsThePicturesTimes) {
    TVideoTask task;
    const std::string out = OutPath("gap-vsync0.mkv");
    Prepare(task, GapSource(), out, "mpeg4", "vsync=0");
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(Packets(out, "v:0"), 50);
    EXPECT_EQ(task.DupFrames, 0);
    EXPECT_NEAR(StreamEnd(out, "v:0"), 3.0, 0.05);
}

// ---- limits and key frames

// The frame limit, also for an encoder that holds pictures back (drained at the end).
TEST_F(VideoRun, FrameLimitStopsTheOutput) {
    for (const char* codec : {"mpeg4", "libx264"}) {
        SCOPED_TRACE(codec);
        TTestTask task;
        const std::string out = OutPath(std::string("vframes-") + codec + ".mkv");
        Prepare(task, Silent25(), out, codec, "vframes=10");
        ASSERT_EQ(RunTask(task), "");
        EXPECT_EQ(Packets(out, "v:0"), 10);
    }
}

// A stop request ends a burst of duplicates: nothing is encoded after the frame during which
// it came, also not while the run drains its decoder.
TEST_F(VideoRun, StopRequestEndsTheDuplicates) {
    TTestTask task;
    int last = 0;
    task.OnVideoOutputHook = [&](TCustomFFmpeg* sender, TBitmap*, int64_t, int number, bool& update,
                                 bool&) {
        last = number;
        update = false;
        if (number == 11) // the first of two frames of its picture at twice the rate
            sender->StopRequested = true;
    };
    const std::string out = OutPath("stop-dups.mkv");
    Prepare(task, Silent25(), out, "mpeg4", "r=50\nvsync=1");
    RunTask(task);
    EXPECT_EQ(last, 11);
    EXPECT_EQ(Packets(out, "v:0"), 11);
}

// An encoder that refuses its settings (an odd size for 4:2:0 H.264) fails the run with the
// opening message and leaves no codec open.
TEST_F(VideoRun, EncoderThatDoesNotOpenFailsTheRun) {
    TTestTask task;
    Prepare(task, Silent25(), OutPath("odd-size.mkv"), "libx264", "s=161x121");
    TLogCapture log;
    const std::string error = RunTask(task);
    EXPECT_EQ(error.rfind("Error while opening encoder for output stream #0.0 (Video) - maybe "
                          "incorrect parameters",
                          0),
              0u)
        << error;
    EXPECT_FALSE(log.Matching("Error while opening encoder").empty());
    EXPECT_TRUE(task.OpenEncoders.empty());
    EXPECT_TRUE(task.OpenDecoders.empty());
}

TEST_F(VideoRun, ForcedKeyFramesLieWhereAsked) {
    TTestTask task;
    const std::string out = OutPath("keys.mkv");
    Prepare(task, Silent25(), out, "mpeg4", "g=250\nforce_key_frames=0.5,1.2");
    ASSERT_EQ(RunTask(task), "");
    const std::vector<double> keys = KeyFrameTimes(out);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_NEAR(keys[0], 0.0, 0.001);
    EXPECT_NEAR(keys[1], 0.52, 0.001);
    EXPECT_NEAR(keys[2], 1.2, 0.001);
}

// Both passes with the encoder's statistics in the pass log: mpeg4's through the engine,
// libx264's written and read by the library under the same name (never "x264_2pass.log" in
// the current folder, which parallel jobs would share).
TEST_F(VideoRun, TwoPassesWriteAndReadTheStatistics) {
    for (const char* codec : {"mpeg4", "libx264"}) {
        SCOPED_TRACE(codec);
        const std::string prefix = Dir() + "/twopass-" + codec;
        const std::string log = prefix + "-0.log";
        fs::remove(log);
        fs::remove("x264_2pass.log");
        {
            TTestTask first;
            Prepare(first, Silent25(), OutPath("pass1.mkv"), codec,
                    "b=200000\npass=1\npasslogfile=" + prefix);
            ASSERT_EQ(RunTask(first), "");
        }
        ASSERT_TRUE(fs::exists(log));
        EXPECT_GT(fs::file_size(log), 1000u);
        EXPECT_FALSE(fs::exists("x264_2pass.log"));
        TTestTask second;
        const std::string out = OutPath("pass2.mkv");
        Prepare(second, Silent25(), out, codec, "b=200000\npass=2\npasslogfile=" + prefix);
        ASSERT_EQ(RunTask(second), "");
        EXPECT_EQ(Packets(out, "v:0"), 50);
    }
}

TEST_F(VideoRun, SecondPassWithoutTheFirstFails) {
    TTestTask task;
    const std::string prefix = Dir() + "/nopass";
    Prepare(task, Silent25(), OutPath("pass2-alone.avi"), "mpeg4", "pass=2\npasslogfile=" + prefix);
    EXPECT_EQ(RunTask(task), "Cannot read file: Error reading log file \"" + prefix +
                                 "-0.log\" for pass-2 encoding");
}

} // namespace

namespace {

// ---- statistics of a real run

TEST_F(VideoRun, StatisticsFileHasALinePerEncodedFrame) {
    TTestTask task;
    const std::string stats = Dir() + "/vstats.log";
    fs::remove(stats);
    Prepare(task, Silent25(), OutPath("vstats.avi"), "mpeg4", "qscale=3\nvstats_file=" + stats);
    ASSERT_EQ(RunTask(task), "");
    std::ifstream f(stats);
    std::vector<std::string> lines;
    for (std::string line; std::getline(f, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 50u);
    EXPECT_EQ(lines.front().rfind("frame=     1 q= 3.0 f_size= ", 0), 0u) << lines.front();
    EXPECT_NE(lines.front().find("type= I"), std::string::npos) << lines.front();
    EXPECT_NE(lines[1].find("type= P"), std::string::npos) << lines[1];
    EXPECT_EQ(lines.back().rfind("frame=    50 ", 0), 0u) << lines.back();
}

TEST_F(VideoRun, ReportLineCarriesFramesQuantiserAndPsnr) {
    TTestTask task;
    Prepare(task, Silent25(), OutPath("psnr.avi"), "mpeg4", "qscale=3\npsnr=1");
    TLogCapture log;
    ASSERT_EQ(RunTask(task), "");
    const auto lines = log.Matching("frame=   50 ");
    ASSERT_FALSE(lines.empty());
    const std::string& last = lines.back().Msg;
    EXPECT_EQ(last.rfind("frame=   50 fps=", 0), 0u) << last;
    EXPECT_NE(last.find("q=3.0 LPSNR=Y:"), std::string::npos) << last;
    // A quantiser of 3 on this picture gives well above 30 dB.
    const double psnr = std::stod(last.substr(last.find("Y:") + 2));
    EXPECT_GT(psnr, 30.0);
    EXPECT_LT(psnr, 99.0);
}

} // namespace

namespace {

// ---- interlaced coding

struct TFieldCase {
    const char* Name;
    const char* Lines;
    const char* Frame; // "interlaced,top field first" of the first output frame
};

class VideoFields : public VideoRun, public ::testing::WithParamInterface<TFieldCase> {};

TEST_P(VideoFields, TopFieldFirstFollowsTheOptionOrTheInput) {
    const TFieldCase& c = GetParam();
    TTestTask task;
    const std::string out = OutPath(std::string("fields-") + c.Name + ".mkv");
    Prepare(task, Interlaced25(), out, "mpeg4", c.Lines);
    ASSERT_EQ(RunTask(task), "");
    const std::string frames = Probe(out, "-read_intervals %+#1 -select_streams v:0 -show_entries "
                                          "frame=interlaced_frame,top_field_first -of csv=p=0");
    EXPECT_EQ(frames.substr(0, frames.find('\n')), c.Frame);
}

INSTANTIATE_TEST_SUITE_P(Cases, VideoFields,
                         ::testing::Values(TFieldCase{"FromTheInput", "flags=+ildct+ilme", "1,1"},
                                           TFieldCase{"BottomFirst", "flags=+ildct+ilme\ntop=0",
                                                      "1,0"},
                                           TFieldCase{"Progressive", "", "0,0"}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace

namespace {

// Formats that want raw pictures take them as rawvideo or wrapped_avframe packets.
TEST_F(VideoRun, RawPictureFormatsGetEveryPicture) {
    for (const char* name : {"raw.y4m", "raw-rawvideo.nut"}) {
        SCOPED_TRACE(name);
        TTestTask task;
        const std::string out = OutPath(name);
        OpenInput(task, Silent25(), "an=1");
        TOutputOptions o;
        o.DisableAudio = true;
        if (std::string(name).find("rawvideo") != std::string::npos)
            o.VideoCodec = "rawvideo";
        CreateOutput(task, out, o);
        ASSERT_EQ(RunTask(task), "");
        EXPECT_EQ(VideoFact(out, "width,height"), "160,120");
        EXPECT_EQ(Probe(out, "-count_frames -select_streams v:0 -show_entries "
                             "stream=nb_read_frames -of csv=p=0"),
                  "50");
    }
}

} // namespace

namespace {

// libx264 runs threads of its own: it gets half as many again as the task's available
// threads, as frame threads; an explicit `threads` option wins.
TEST_F(VideoRun, X264TakesTheAvailableThreads) {
    const struct {
        int Available;
        const char* Threads;
        int Expected;
    } cases[] = {{1, "", 1}, {2, "", 3}, {4, "", 6}, {2, "1", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Available) + " available, threads \"" + c.Threads + "\"");
        TTestTask task;
        task.ThreadsAvailable = c.Available;
        int seen = 0;
        task.OnVideoOutputHook = [&](TCustomFFmpeg*, TBitmap*, int64_t, int, bool& update, bool&) {
            seen = task.OutputStreams[0][0]->encoder->thread_count;
            update = false;
        };
        Prepare(task, Silent25(), OutPath("x264-threads.mp4"), "libx264",
                std::string("vframes=2") +
                    (*c.Threads ? std::string("\nthreads=") + c.Threads : ""));
        ASSERT_EQ(RunTask(task), "");
        EXPECT_EQ(seen, c.Expected);
    }
}

} // namespace
