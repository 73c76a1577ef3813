// audioconv-cli run as a program on generated files: a mixed batch with an unreadable file,
// an all-good batch, bad usage, the format list and the file facts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "AppTestEnv.h"
#include "CliRun.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"

namespace {

namespace fs = std::filesystem;
using namespace clitest;

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

// With --flat every output goes into the output folder itself, numbered past the names taken.
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

    const TRun run = RunCli("-f mp3 -p 0 -j 2 --flat -o " + testmedia::Quote(out) + " " +
                                testmedia::Quote(batch),
                            scratch_);
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

// Sources that hold no audio that can be decoded fail, each with its reason, and leave
// nothing in the output folder.
TEST_F(CliProgram, SourcesWithoutDecodableAudioFailAndLeaveNothing) {
    const std::string mp3 = testmedia::Make(media_ + "/tone.mp3", "-f lavfi -i sine=duration=1");
    ASSERT_FALSE(mp3.empty());
    const std::string wav = apptest::ReadFile(tone_);
    const std::string flac = apptest::ReadFile(flac_);
    const struct {
        const char* Name;
        std::string Content;
        const char* Reason;
    } cases[] = {
        {"t.flac", "This is a text file and no FLAC at all.\n", "could not find codec parameters"},
        {"header.wav", wav.substr(0, 44), ""},
        {"cut31.flac", flac.substr(0, 31), ""},
        {"noframes.flac", WithoutFrames(flac), "no audio could be decoded from "},
        {"damaged.mp3", WithDamagedFrames(apptest::ReadFile(mp3)),
         "no audio could be decoded from "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string source = scratch_ + c.Name;
        apptest::WriteFile(source, c.Content);
        for (const char* format : {"mp3", "wav"}) {
            const std::string out = apptest::FreshDir("out");
            const TRun run = RunCli(std::string("-f ") + format + " -o " + testmedia::Quote(out) +
                                        " " + testmedia::Quote(source),
                                    scratch_);
            EXPECT_EQ(run.Status, 1) << format << "\n" << run.Out << run.Err;
            EXPECT_TRUE(Contains(run.Err, "Failed: " + source + ": ")) << run.Err;
            EXPECT_TRUE(Contains(run.Err, std::string(c.Reason) + (*c.Reason ? "" : source)))
                << run.Err;
            EXPECT_TRUE(Contains(run.Out, "Succeeded: 0  Failed: 1")) << run.Out;
            EXPECT_EQ(Listing(out), std::vector<std::string>{}) << format;
        }
    }
    const TRun info = RunCli("--info " + testmedia::Quote(scratch_ + "cut31.flac") + " " +
                                 testmedia::Quote(tone_),
                             scratch_);
    EXPECT_TRUE(Contains(info.Out, "  File size: 172.3 KB\n")) << info.Out;
    const std::string tiny = testmedia::Make(
        media_ + "/tiny.wav", "-f lavfi -i sine=duration=0.01 -ac 1 -ar 8000 -c:a pcm_u8");
    ASSERT_FALSE(tiny.empty());
    const uintmax_t size = fs::file_size(tiny);
    ASSERT_LT(size, 1024u);
    const TRun small = RunCli("--info " + testmedia::Quote(tiny), scratch_);
    EXPECT_TRUE(Contains(small.Out, "  File size: " + std::to_string(size) + " bytes\n"))
        << small.Out << small.Err;
}

// A running batch asked to stop by a signal ends with the documented status, counts the files
// it did not convert as cancelled, and leaves under final names only complete outputs, and no
// temporary file.
TEST_F(CliProgram, StopSignalsLeaveOnlyCompleteOutputs) {
    std::vector<std::string> sources;
    for (int i = 0; i < 4; ++i) {
        sources.push_back(testmedia::Make(media_ + "/long" + std::to_string(i) + ".wav",
                                          "-f lavfi -i sine=duration=20 -ac 2 -ar 44100"));
        ASSERT_FALSE(sources.back().empty());
    }
    const struct {
        int Signal;
        int Count; // signals sent
        int Status;
    } cases[] = {{SIGTERM, 1, 143}, {SIGHUP, 1, 143}, {SIGINT, 1, 130}, {SIGINT, 2, 130}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.Signal)) + " x" + std::to_string(c.Count));
        const std::string out = apptest::FreshDir("out");
        std::vector<std::string> args = {AUDIOCONV_CLI, "-j", "2", "-f", "mp3", "-o", out};
        args.insert(args.end(), sources.begin(), sources.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, (scratch_ + "out.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, (scratch_ + "err.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);

        // Signalled once the first conversions are writing.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto writing = [&] {
            for (const std::string& name : Listing(out))
                if (Contains(name, ".audioconv-part"))
                    return true;
            return false;
        };
        while (!writing() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (int i = 0; i < c.Count; ++i) {
            kill(pid, c.Signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        int raw = 0;
        ASSERT_EQ(waitpid(pid, &raw, 0), pid);
        ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
        const std::string errors = apptest::ReadFile(scratch_ + "err.txt");
        EXPECT_EQ(WEXITSTATUS(raw), c.Status) << errors;
        // The stopped and the never started files are cancelled, none failed.
        const std::string printed = apptest::ReadFile(scratch_ + "out.txt");
        EXPECT_TRUE(Contains(printed, "  Failed: 0  Cancelled: ")) << printed;
        EXPECT_TRUE(Contains(errors, "Cancelled: ")) << errors;
        EXPECT_FALSE(Contains(errors, "Failed")) << errors;
        for (const std::string& name : Listing(out)) {
            SCOPED_TRACE(name);
            EXPECT_NE(name[0], '.');
            const apptest::TProbedOutput probed = apptest::ProbeOutput(out + name);
            ASSERT_TRUE(probed.Read);
            EXPECT_NEAR(probed.Duration, 20.0, 0.2);
        }
    }
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
