// The clocks of a run's outputs: an audio output's frame times only move forward, whatever
// stream its map names as its clock; the length a run reports for the check of short outputs
// is its audio's (its video's when it has no audio), never a subtitle track's.
#include <fstream>

#include "RunTestEnv.h"

using namespace runtest;

namespace {

// Four seconds of small pictures with AAC audio, in MP4 (video is stream 0, audio stream 1).
std::string VideoWithAac() {
    return Make("clock-av.mp4", "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 -f lavfi -i "
                                "sine=duration=4 -c:v mpeg4 -c:a aac -shortest");
}

struct TSyncCase {
    const char* Out;
    const char* Format; // "" for the one of the extension
    const char* VideoCodec;
    const char* AudioCodec;
    const char* Lines;
};

class AudioClock : public EngineRun, public ::testing::WithParamInterface<TSyncCase> {};

TEST_P(AudioClock, FollowsItsSyncStreamOnlyForward) {
    const TSyncCase& c = GetParam();
    const std::string source = VideoWithAac();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    OpenInput(task, source, "");
    TOutputOptions o;
    o.ForceFormat = c.Format;
    o.VideoCodec = c.VideoCodec;
    o.DisableVideo = std::string(c.VideoCodec).empty();
    o.AudioCodec = c.AudioCodec;
    o.ExtOptions = c.Lines;
    const std::string out = OutPath(c.Out);
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    const std::vector<std::string> times =
        ProbeLines(out, "-select_streams a:0 -show_entries packet=pts_time -of csv=p=0");
    ASSERT_GT(times.size(), 100u);
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_GT(std::stod(times[i]), std::stod(times[i - 1])) << "packet " << i;
    EXPECT_NEAR(StreamEnd(out), 4.0, 0.1);
}

// The audio follows the video stream's clock, which that output also takes; the audio
// follows a video stream that no output takes (the source's own clock stands in).
INSTANTIATE_TEST_SUITE_P(
    Maps, AudioClock,
    ::testing::Values(TSyncCase{"clock-video.mkv", "", "mpeg4", "aac", "map=0.0\nmap=0.1:0.0"},
                      TSyncCase{"clock-untaken.mka", "ogg", "", "libvorbis", "map=0.1:0.0"}));

class OutputLength : public EngineRun {};

// Three cues of SubRip, the last ending at 1.8 s, beside two seconds of tone.
std::string ToneWithShorterSubtitles() {
    const std::string srt = Dir() + "/clock-cues.srt";
    if (!fs::exists(srt)) {
        std::ofstream f(srt);
        f << "1\n00:00:00,200 --> 00:00:00,700\nfirst\n\n"
             "2\n00:00:00,900 --> 00:00:01,300\nsecond\n\n"
             "3\n00:00:01,500 --> 00:00:01,800\nthird\n";
    }
    return Make("clock-subrip.mkv", "-f lavfi -i sine=duration=2 -i " + testmedia::Quote(srt) +
                                        " -map 0:a -map 1:s -c:a pcm_s16le -c:s srt");
}

TEST_F(OutputLength, IsTheAudiosNotTheSubtitles) {
    const std::string source = ToneWithShorterSubtitles();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    OpenInput(task, source);
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.SubtitleCodec = "ass";
    const std::string out = OutPath("clock-subtitles.mkv");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    ASSERT_EQ(Packets(out, "s:0"), 3);
    EXPECT_NEAR(task.OutputDuration / 1e6, 2.0, 0.05);
}

TEST_F(OutputLength, IsTheVideosWithoutAudio) {
    const std::string source = VideoSource();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    OpenInput(task, source, "an=1");
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.DisableAudio = true;
    const std::string out = OutPath("clock-video-only.mkv");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(task.OutputDuration / 1e6, 2.0, 0.15);
}

} // namespace
