// audioconv-cli run as a program on generated files: a mixed batch with an unreadable file,
// an all-good batch, bad usage, the format list and the file facts.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// Runs the program with `args` (already quoted where needed); stdout is not a terminal.
TRun RunCli(const std::string& args, const std::string& scratch) {
    const std::string out = scratch + "stdout.txt";
    const std::string err = scratch + "stderr.txt";
    const std::string command = testmedia::Quote(AUDIOCONV_CLI) + " " + args + " >" +
                                testmedia::Quote(out) + " 2>" + testmedia::Quote(err) +
                                " </dev/null";
    TRun run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = apptest::ReadFile(out);
    run.Err = apptest::ReadFile(err);
    return run;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliProgram : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = testmedia::TempDir("app/cli-program");
        tone_ = testmedia::Make(media_ + "/tone.wav",
                                "-f lavfi -i sine=frequency=440:duration=1 -ac 2 -ar 44100");
        flac_ = testmedia::Make(media_ + "/tone.flac",
                                "-f lavfi -i sine=frequency=660:duration=1 -ac 1 -ar 48000");
        clip_ = testmedia::Make(media_ + "/clip.mkv",
                                "-f lavfi -i testsrc=size=160x120:rate=10:duration=1 "
                                "-f lavfi -i sine=frequency=330:duration=1 -c:v mpeg4 -shortest");
        ASSERT_FALSE(tone_.empty());
        ASSERT_FALSE(flac_.empty());
        ASSERT_FALSE(clip_.empty());
        scratch_ = apptest::FreshDir("scratch");
    }

    std::string media_, tone_, flac_, clip_, scratch_;
};

TEST_F(CliProgram, MixedFolderConvertsTheGoodFilesAndNamesTheBadOne) {
    // batch/tone.wav, batch/sub/tone.flac (the same output name), batch/sub/clip.mkv (with
    // video), batch/broken.mp3 (unreadable), batch/notes.txt (not a source type).
    const std::string batch = apptest::FreshDir("batch");
    fs::create_directories(batch + "sub");
    fs::copy_file(tone_, batch + "tone.wav");
    fs::copy_file(flac_, batch + "sub/tone.flac");
    fs::copy_file(clip_, batch + "sub/clip.mkv");
    apptest::WriteFile(batch + "broken.mp3", std::string(8192, '\x33'));
    apptest::WriteFile(batch + "notes.txt", "not audio");
    const std::string out = apptest::FreshDir("out");

    const TRun run = RunCli(
        "-f mp3 -p 0 -j 2 -o " + testmedia::Quote(out) + " " + testmedia::Quote(batch), scratch_);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err, "broken.mp3")) << run.Err;
    EXPECT_TRUE(Contains(run.Out, "Total files: 4  Succeeded: 3  Failed: 1")) << run.Out;

    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(out))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    // The folder is searched in path order: broken.mp3, sub/clip.mkv, sub/tone.flac, tone.wav.
    EXPECT_EQ(written, (std::vector<std::string>{"clip.mp3", "tone(1).mp3", "tone.mp3"}));
    for (const std::string& name : written) {
        SCOPED_TRACE(name);
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out + name);
        ASSERT_TRUE(probed.Read);
        EXPECT_EQ(probed.AudioCodec, "mp3");
        EXPECT_EQ(probed.SampleRate, 44100);
        EXPECT_EQ(probed.Channels, 2);
        EXPECT_EQ(probed.VideoStreams, 0);
        EXPECT_NEAR(probed.Duration, 1.0, 0.2);
    }
    EXPECT_TRUE(Contains(run.Out, "Converted: " + batch + "sub/tone.flac -> " + out + "tone.mp3\n"))
        << run.Out;
    EXPECT_TRUE(Contains(run.Out, "Converted: " + batch + "tone.wav -> " + out + "tone(1).mp3\n"))
        << run.Out;
}

TEST_F(CliProgram, AllGoodBatchExitsWithZero) {
    const std::string out = apptest::FreshDir("out");
    const TRun run = RunCli("--format OGG --preset 0 --quiet -o " + testmedia::Quote(out + "new/") +
                                " " + testmedia::Quote(tone_) + " " + testmedia::Quote(clip_),
                            scratch_);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(run.Out, "") << "--quiet prints nothing but errors";
    EXPECT_EQ(run.Err, "");
    for (const char* name : {"tone.ogg", "clip.ogg"}) {
        SCOPED_TRACE(name);
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out + "new/" + name);
        ASSERT_TRUE(probed.Read);
        EXPECT_EQ(probed.AudioCodec, "vorbis");
        EXPECT_EQ(probed.SampleRate, 11025);
        EXPECT_EQ(probed.Channels, 1);
        EXPECT_EQ(probed.VideoStreams, 0);
    }
}

TEST_F(CliProgram, MissingSourceFailsAndLeavesNothingBehind) {
    const std::string out = apptest::FreshDir("out");
    const TRun run =
        RunCli("-f wav -o " + testmedia::Quote(out) + " " + testmedia::Quote(media_ + "/none.wav"),
               scratch_);
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Contains(run.Err, "none.wav: No such file or directory")) << run.Err;
    EXPECT_TRUE(Contains(run.Out, "Total files: 1  Succeeded: 0  Failed: 1")) << run.Out;
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(CliProgram, BadUsageExitsWithTwo) {
    for (const std::string args : {"", "-f xyz a.wav", "-p 7 a.wav", "-j 0 a.wav"}) {
        const TRun run = RunCli(args, scratch_);
        EXPECT_EQ(run.Status, 2) << args;
        EXPECT_TRUE(Contains(run.Err, "--help")) << args << ": " << run.Err;
    }
}

TEST_F(CliProgram, ListShowsEveryFormatWithItsPresets) {
    const TRun run = RunCli("--list", scratch_);
    EXPECT_EQ(run.Status, 0);
    for (const char* line : {"WAV (-f wav)\n", "MP3 (-f mp3)\n", "MP2 (-f mp2)\n",
                             "   0  For Mobile - MP3: 44100 Hz, Stereo, 112 kbps\n",
                             "   4  WMA Losslesss Audio\n", "   8  Compression Level 8\n"})
        EXPECT_TRUE(Contains(run.Out, line)) << line;
}

TEST_F(CliProgram, InfoShowsTheSourceListFactsAndNamesUnreadableFiles) {
    const std::string bad = scratch_ + "bad.wav";
    apptest::WriteFile(bad, "RIFF....garbage");
    const TRun run = RunCli("--info " + testmedia::Quote(tone_) + " " + testmedia::Quote(bad) +
                                " " + testmedia::Quote(clip_),
                            scratch_);
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Contains(run.Err, "File load error: ")) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "bad.wav")) << run.Err;
    EXPECT_TRUE(Contains(run.Out, tone_ +
                                      "\n  Duration: 00:00:01.000\n  Audio Bit rate: 1411 Kbps\n"
                                      "  Audio Encoder: "))
        << run.Out;
    for (const char* text : {"  Channels: 2\n", "  Sample rate: 44100 Hz\n", "  Frame rate: 1.00\n",
                             "  Video encoder: \n", "  Frame rate: 10.00\n", "  Channels: 1\n"})
        EXPECT_TRUE(Contains(run.Out, text)) << text << "\n" << run.Out;
}

} // namespace
