// The engine's vocabulary on the command line: -x and -X parsed and applied after the format's
// and preset's descriptions, and the program run with them and with --to.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "CliOptions.h"
#include "CliRun.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"

namespace {

namespace fs = std::filesystem;

int Parse(std::vector<std::string> args, TCliOptions& options, std::string& err) {
    args.insert(args.begin(), "audioconv-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, errors;
    const int status =
        ParseCliOptions(static_cast<int>(argv.size()), argv.data(), options, out, errors);
    err = errors.str();
    return status;
}

TEST(CliEngineOptions, RepeatedInTheirOrderWithTheSourcesAfterThem) {
    TCliOptions o;
    std::string err;
    ASSERT_EQ(
        Parse({"-x", "ab=192k", "-X", "ss=1", "-x", "vn", "-f", "flac", "a.wav", "b.wav"}, o, err),
        -1)
        << err;
    EXPECT_EQ(o.Engine.Output, (std::vector<std::string>{"ab=192k", "vn"}));
    EXPECT_EQ(o.Engine.Input, std::vector<std::string>{"ss=1"});
    EXPECT_EQ(o.Paths, (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_TRUE(o.Engine.FormatGiven);
    EXPECT_TRUE(o.Engine.To.empty());
}

struct TUsageCase {
    std::vector<std::string> Args;
    const char* Message;
};

TEST(CliEngineOptions, BadUsageOfToAndOfNamelessOptions) {
    const TUsageCase cases[] = {
        {{"--to", "x.mkv", "a.wav", "b.wav"}, "--to takes exactly one source FILE"},
        {{"--to", "x.mkv"}, "no FILE or DIR to convert"},
        {{"--to", "x.mkv", "-o", "dir", "a.wav"}, "--to names the output itself: no -o"},
        {{"--to", "x.mkv", "-p", "2", "a.wav"}, "--to takes -p only with -f"},
        {{"-x", "=5", "a.wav"}, "option \"=5\" has no NAME"},
    };
    for (const TUsageCase& c : cases) {
        TCliOptions o;
        std::string err;
        EXPECT_EQ(Parse(c.Args, o, err), ExitBadUsage) << c.Message;
        EXPECT_NE(err.find(c.Message), std::string::npos) << err;
    }
    TCliOptions o;
    std::string err;
    EXPECT_EQ(Parse({"--to", "x.mkv", "-f", "ogg", "-p", "2", "a.wav"}, o, err), -1) << err;
    EXPECT_EQ(o.Engine.To, "x.mkv");
}

// Each -x line wins over what the format and preset put into the description.
TEST(CliEngineOptions, OutputLinesTakeThePlaceOfTheDescriptionsFields) {
    testmedia::LoadLibraries();
    TCliEngineOptions engine;
    engine.Output = {"acodec=flac", "ab=64k", "ar=22050", "compression_level=2", "vn=0"};
    engine.Input = {"ss=1"};
    TEngineAdjustment adjustment;
    ASSERT_EQ(ReadEngineOptions(engine, adjustment), "");
    EXPECT_TRUE(adjustment.CutsSource);
    TInputOptions in;
    in.ExtOptions = "vn=1";
    TOutputOptions out;
    out.AudioCodec = "libmp3lame";
    out.AudioBitrate = 128000;
    out.AudioSampleRate = 44100;
    out.AudioChannels = 2;
    out.DisableVideo = true;
    out.ExtOptions = "compression_level=5";
    adjustment.Apply(in, out);
    EXPECT_EQ(in.ExtOptions, "vn=1\nss=1");
    EXPECT_EQ(out.AudioCodec, "flac");
    EXPECT_EQ(out.AudioBitrate, -1);
    EXPECT_EQ(out.AudioSampleRate, -1);
    EXPECT_EQ(out.AudioChannels, 2); // not named: stays
    EXPECT_FALSE(out.DisableVideo);
    EXPECT_EQ(out.ExtOptions, "compression_level=5\nab=64k\nar=22050\ncompression_level=2\nvn=0");
}

// The fields a description always applies (sync methods, languages, input sync) take the value
// the engine read from the -x line; without one they keep the description's own.
TEST(CliEngineOptions, AlwaysAppliedFieldsTakeTheLinesValue) {
    testmedia::LoadLibraries();
    struct TCase {
        const char* Line;
        std::function<bool(const TOutputOptions&)> Holds;
    };
    const TCase cases[] = {
        {"async=1", [](const TOutputOptions& o) { return o.AudioSyncMethod == 1; }},
        {"vsync=0", [](const TOutputOptions& o) { return o.VideoSyncMethod == 0; }},
        {"alang=fre", [](const TOutputOptions& o) { return o.AudioLanguage == "fre"; }},
        {"vlang=ger", [](const TOutputOptions& o) { return o.VideoLanguage == "ger"; }},
        {"slang=ita", [](const TOutputOptions& o) { return o.SubtitleLanguage == "ita"; }},
        {"isync", [](const TOutputOptions& o) { return o.InputSync; }},
    };
    for (const TCase& c : cases) {
        TCliEngineOptions engine;
        engine.Output = {c.Line};
        TEngineAdjustment adjustment;
        ASSERT_EQ(ReadEngineOptions(engine, adjustment), "") << c.Line;
        EXPECT_FALSE(adjustment.CutsSource);
        TInputOptions in;
        TOutputOptions out;
        out.AudioSyncMethod = 7;
        out.VideoSyncMethod = 7;
        ASSERT_FALSE(c.Holds(out)) << c.Line;
        adjustment.Apply(in, out);
        EXPECT_TRUE(c.Holds(out)) << c.Line;
    }
    // A bad value is refused with the engine's text, and nothing is kept.
    TCliEngineOptions engine;
    engine.Output = {"alang=fre", "ab=fast"};
    TEngineAdjustment adjustment;
    EXPECT_NE(ReadEngineOptions(engine, adjustment), "");
    EXPECT_TRUE(adjustment.Empty());
}

// ---- the program

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

TRun RunCli(const std::string& args, const std::string& folder) {
    const std::string out = folder + "../stdout.txt";
    const std::string err = folder + "../stderr.txt";
    const std::string command =
        "cd " + testmedia::Quote(folder) + " && " + testmedia::Quote(AUDIOCONV_CLI) + " " + args +
        " >" + testmedia::Quote(out) + " 2>" + testmedia::Quote(err) + " </dev/null";
    TRun run;
    const int raw = std::system(command.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = apptest::ReadFile(out);
    run.Err = apptest::ReadFile(err);
    return run;
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CliEngineProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string media = testmedia::TempDir("app/cli-engine");
        tone_ = testmedia::Make(media + "/tone.wav",
                                "-f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar 44100");
        ASSERT_FALSE(tone_.empty());
        work_ = apptest::FreshDir("cli-engine/work");
        fs::copy_file(tone_, work_ + "tone.wav");
    }

    std::string tone_, work_;
};

TEST_F(CliEngineProgram, OptionsAfterTheFormatAndPreset) {
    const TRun run = RunCli("-f flac -x ar=22050 -x ac=1 -X ss=1 tone.wav", work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const apptest::TProbedOutput probed = apptest::ProbeOutput(work_ + "tone.flac");
    ASSERT_TRUE(probed.Read);
    EXPECT_EQ(probed.AudioCodec, "flac");
    EXPECT_EQ(probed.SampleRate, 22050);
    EXPECT_EQ(probed.Channels, 1);
    EXPECT_NEAR(probed.Duration, 1.0, 0.05);
    EXPECT_EQ(run.Err, "") << "the start was asked for: no warning about a short output";
}

// A field the description always applies reaches the output from -x: the audio stream's
// language.
TEST_F(CliEngineProgram, LanguageFromTheCommandLineTagsTheStream) {
    const TRun run = RunCli("-f ogg -x alang=fre tone.wav", work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::string language = apptest::RunForOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream_tags=language -of "
        "default=nw=1:nk=1 " +
        testmedia::Quote(work_ + "tone.ogg"));
    EXPECT_EQ(language.substr(0, 3), "fre") << language;
}

// The video sync method from -x reaches the run: passed through, a 25 fps source at r=50
// keeps its 100 pictures, where the default sync doubles them.
TEST_F(CliEngineProgram, VideoSyncFromTheCommandLineReachesTheRun) {
    const std::string clip =
        testmedia::Make(work_ + "clip.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=4 "
                                            "-c:v mpeg4");
    ASSERT_FALSE(clip.empty());
    auto frames = [&](const std::string& file) {
        return apptest::RunForOutput(
            "ffprobe -v error -count_frames -select_streams v -show_entries "
            "stream=nb_read_frames -of csv=p=0 " +
            testmedia::Quote(work_ + file));
    };
    ASSERT_EQ(RunCli("--to kept.avi -x vcodec=mpeg4 -x vsync=0 -x r=50 clip.mp4", work_).Status, 0);
    ASSERT_EQ(RunCli("--to doubled.avi -x vcodec=mpeg4 -x r=50 clip.mp4", work_).Status, 0);
    EXPECT_EQ(frames("kept.avi"), "100\n");
    EXPECT_GT(std::stoi("0" + frames("doubled.avi")), 150);
}

// A bad name or value is refused with the engine's own text before anything is converted.
TEST_F(CliEngineProgram, BadNameOrValueGivesTheTablesText) {
    const std::pair<const char*, const char*> cases[] = {
        {"-x nosuchoption=1", "audioconv-cli: Unrecognized option \"nosuchoption\""},
        {"-x ab=fast", "audioconv-cli: Invalid value \"fast\" for option \"ab\""},
        {"-X ar=many", "audioconv-cli: 'many' is not a valid integer value"},
    };
    for (const auto& [args, message] : cases) {
        const TRun run = RunCli(std::string(args) + " tone.wav", work_);
        EXPECT_EQ(run.Status, ExitBadUsage) << args;
        EXPECT_NE(run.Err.find(message), std::string::npos) << args << ": " << run.Err;
        EXPECT_EQ(Listing(work_), std::vector<std::string>{"tone.wav"}) << args;
    }
}

// --to: the container from the extension, its own default codec without -f.
TEST_F(CliEngineProgram, ToWritesTheNamedFileWithTheContainersCodecs) {
    const TRun run = RunCli("--to sub/out.mka tone.wav", work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("Converted: tone.wav -> sub/out.mka"), std::string::npos) << run.Out;
    const apptest::TProbedOutput probed = apptest::ProbeOutput(work_ + "sub/out.mka");
    ASSERT_TRUE(probed.Read);
    EXPECT_EQ(probed.AudioCodec, "vorbis");
    EXPECT_NEAR(probed.Duration, 2.0, 0.05);
    EXPECT_EQ(Listing(work_ + "sub"), std::vector<std::string>{"out.mka"});

    // A job the encoder refuses leaves nothing.
    const TRun failed = RunCli("--to sub/bad.mka -x acodec=nosuchcodec tone.wav", work_);
    EXPECT_EQ(failed.Status, 1);
    EXPECT_NE(failed.Err.find("Unknown encoder 'nosuchcodec'"), std::string::npos) << failed.Err;
    EXPECT_EQ(Listing(work_ + "sub"), std::vector<std::string>{"out.mka"});
    EXPECT_EQ(Listing(work_), (std::vector<std::string>{"sub", "tone.wav"}));
}

// --to and an output that exists: each --existing policy as a batch applies it, the default
// the batch's (increment).
TEST_F(CliEngineProgram, ToFollowsTheExistingPolicy) {
    ASSERT_EQ(RunCli("--to out.mka tone.wav", work_).Status, 0);
    const std::string old = apptest::ReadFile(work_ + "out.mka");
    using TNames = std::vector<std::string>;
    const TNames kept = {"out.mka", "tone.wav"};
    const struct {
        const char* Policy;
        const char* Line;
        bool Replaced;
        TNames Listing;
    } cases[] = {
        {"", "Converted: tone.wav -> out(1).mka\n", false, {"out(1).mka", "out.mka", "tone.wav"}},
        {"--existing increment",
         "Converted: tone.wav -> out(1).mka\n",
         false,
         {"out(1).mka", "out.mka", "tone.wav"}},
        {"--existing skip", "Skipped: tone.wav (out.mka exists)\n", false, kept},
        {"--existing newer", "Skipped: tone.wav (out.mka is up to date)\n", false, kept},
        {"--existing overwrite", "Converted: tone.wav -> out.mka\n", true, kept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Policy);
        // The old output, written after the source: newer than it.
        fs::remove(work_ + "out(1).mka");
        apptest::WriteFile(work_ + "out.mka", old);
        const TRun run = RunCli(std::string(c.Policy) + " --to out.mka -f flac tone.wav", work_);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_NE(run.Out.find(c.Line), std::string::npos) << run.Out;
        EXPECT_EQ(Listing(work_), c.Listing);
        EXPECT_EQ(apptest::ReadFile(work_ + "out.mka") != old, c.Replaced);
        if (c.Replaced) {
            EXPECT_EQ(apptest::ProbeOutput(work_ + "out.mka").AudioCodec, "flac");
        }
    }
    EXPECT_NE(RunCli("--existing skip --to out.mka tone.wav", work_)
                  .Out.find("Total files: 1  Succeeded: 0  Skipped: 1  Failed: 0"),
              std::string::npos);

    // "newer" replaces an output older than its source.
    apptest::WriteFile(work_ + "out.mka", old);
    fs::last_write_time(work_ + "tone.wav",
                        fs::file_time_type::clock::now() + std::chrono::seconds(5));
    const TRun newer = RunCli("--existing newer --to out.mka -f flac tone.wav", work_);
    EXPECT_EQ(newer.Status, 0) << newer.Err;
    EXPECT_NE(newer.Out.find("Converted: tone.wav -> out.mka\n"), std::string::npos) << newer.Out;
    EXPECT_EQ(apptest::ProbeOutput(work_ + "out.mka").AudioCodec, "flac");
}

// A replacing --to whose conversion fails keeps the old output and leaves no temporary file.
TEST_F(CliEngineProgram, ToKeepsTheOldOutputWhenTheConversionFails) {
    const std::string flac = testmedia::Make(testmedia::TempDir("app/cli-engine") + "/tone.flac",
                                             "-f lavfi -i sine=frequency=440:duration=2");
    ASSERT_FALSE(flac.empty());
    ASSERT_EQ(RunCli("--to out.mka " + testmedia::Quote(flac), work_).Status, 0);
    const std::string old = apptest::ReadFile(work_ + "out.mka");
    // It opens but holds no frame that decodes: the conversion starts, writes, and fails.
    apptest::WriteFile(work_ + "bad.flac", clitest::WithoutFrames(apptest::ReadFile(flac)));
    for (const char* policy : {"overwrite", "newer"}) {
        SCOPED_TRACE(policy);
        const TRun run =
            RunCli(std::string("--existing ") + policy + " --to out.mka bad.flac", work_);
        EXPECT_EQ(run.Status, 1);
        EXPECT_NE(run.Err.find("Failed: bad.flac: "), std::string::npos) << run.Err;
        EXPECT_EQ(apptest::ReadFile(work_ + "out.mka"), old);
        EXPECT_EQ(Listing(work_), (std::vector<std::string>{"bad.flac", "out.mka", "tone.wav"}));
    }
}

// --to that names the source itself, also through a link to it, is refused under every policy.
TEST_F(CliEngineProgram, ToRefusesTheSourceItself) {
    fs::create_symlink("tone.wav", work_ + "link.wav");
    fs::create_hard_link(work_ + "tone.wav", work_ + "hard.wav");
    const std::string original = apptest::ReadFile(work_ + "tone.wav");
    const std::vector<std::string> listing = Listing(work_);
    for (const char* to : {"tone.wav", "./tone.wav", "link.wav", "hard.wav"})
        for (const char* policy : {"increment", "skip", "overwrite", "newer"}) {
            SCOPED_TRACE(std::string(to) + " " + policy);
            const TRun run = RunCli(
                std::string("--existing ") + policy + " --to " + to + " -f wav tone.wav", work_);
            EXPECT_EQ(run.Status, 1);
            EXPECT_NE(run.Err.find(std::string("Failed: tone.wav: the output ") + to +
                                   " is the source itself"),
                      std::string::npos)
                << run.Err;
            EXPECT_EQ(apptest::ReadFile(work_ + "tone.wav"), original);
            EXPECT_EQ(Listing(work_), listing);
        }
}

} // namespace
