// audioconv-cli on a small music library: .flac, .oga, .opus and .aiff files, two of them with
// the same name in different folders. The mirrored tree and --flat, each --existing policy on a
// rerun, the direct settings with their refusal, names from tags, and the messages of a folder
// that cannot be made and of a failed source.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "CliRun.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"

namespace {

namespace fs = std::filesystem;
using namespace clitest;
using TNames = std::vector<std::string>;

// One second of a tone with the given tags ("-metadata k=v ..."), made once per run.
std::string Tone(const std::string& path, const std::string& codec, const std::string& tags) {
    fs::create_directories(fs::path(path).parent_path());
    return testmedia::Make(path, "-f lavfi -i sine=frequency=440:duration=1 -ac 2 -ar 44100 " +
                                     codec + " " + tags);
}

class CliLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string made = testmedia::TempDir("app/cli-library") + "/";
        const struct {
            const char* Name;
            const char* Codec;
            const char* Tags;
        } files[] = {
            {"Artist A/Album 1/01 Intro.flac", "",
             "-metadata artist='Artist A' -metadata album='Album 1' -metadata title=Intro "
             "-metadata track=1/10"},
            {"Artist B/Album 2/01 Intro.flac", "",
             "-metadata artist='Artist B' -metadata album='Album 2' -metadata title=Intro "
             "-metadata track=1"},
            {"misc/song.oga", "-c:a libvorbis",
             "-metadata artist=AC/DC -metadata album='Back: in Black?' "
             "-metadata title='Hells Bells' -metadata track=3"},
            {"misc/voice.opus", "-c:a libopus -ar 48000", ""},
            {"misc/tone.aiff", "", ""},
        };
        lib_ = apptest::FreshDir("lib");
        for (const auto& file : files) {
            const std::string path = Tone(made + file.Name, file.Codec, file.Tags);
            ASSERT_FALSE(path.empty()) << file.Name;
            fs::create_directories(fs::path(lib_ + file.Name).parent_path());
            fs::copy_file(path, lib_ + file.Name);
        }
        apptest::WriteFile(lib_ + "notes.txt", "not audio");
        scratch_ = apptest::FreshDir("scratch");
        out_ = apptest::FreshDir("out");
    }

    TRun Convert(const std::string& options) {
        return RunCli(options + " -o " + testmedia::Quote(out_) + " " + testmedia::Quote(lib_),
                      scratch_);
    }

    // The modification times of the outputs, by name.
    std::map<std::string, fs::file_time_type> Times() {
        std::map<std::string, fs::file_time_type> times;
        for (const std::string& name : Tree(out_))
            times[name] = fs::last_write_time(out_ + name);
        return times;
    }

    std::string lib_, scratch_, out_;
};

TEST_F(CliLibrary, FoldersAreMirroredBelowTheOutputFolder) {
    const TRun run = Convert("-f mp3 -j 2");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Tree(out_), (TNames{"Artist A/Album 1/01 Intro.mp3", "Artist B/Album 2/01 Intro.mp3",
                                  "misc/song.mp3", "misc/tone.mp3", "misc/voice.mp3"}));
    for (const std::string& name : Tree(out_)) {
        SCOPED_TRACE(name);
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out_ + name);
        EXPECT_EQ(probed.AudioCodec, "mp3");
        EXPECT_NEAR(probed.Duration, 1.0, 0.2);
    }
    EXPECT_TRUE(Contains(run.Out, "Converted: " + lib_ + "Artist B/Album 2/01 Intro.flac -> " +
                                      out_ + "Artist B/Album 2/01 Intro.mp3\n"))
        << run.Out;
    EXPECT_TRUE(Contains(run.Out, "Total files: 5  Succeeded: 5  Failed: 0  Time: ")) << run.Out;

    // --info searches the folder the same way.
    const TRun info = RunCli("--info " + testmedia::Quote(lib_), scratch_);
    EXPECT_EQ(info.Status, 0) << info.Err;
    for (const char* name :
         {"Artist A/Album 1/01 Intro.flac", "misc/song.oga", "misc/voice.opus", "misc/tone.aiff"})
        EXPECT_TRUE(Contains(info.Out, lib_ + name + "\n  Duration: 00:00:01")) << name;
    EXPECT_FALSE(Contains(info.Out, "notes.txt"));
}

TEST_F(CliLibrary, FlatNumbersTheSameNames) {
    const TRun run = Convert("-f ogg --flat");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Tree(out_),
              (TNames{"01 Intro(1).ogg", "01 Intro.ogg", "song.ogg", "tone.ogg", "voice.ogg"}));
    EXPECT_TRUE(Contains(run.Out, "Converted: " + lib_ + "Artist A/Album 1/01 Intro.flac -> " +
                                      out_ + "01 Intro.ogg\n"))
        << run.Out;
    EXPECT_TRUE(Contains(run.Out, "Converted: " + lib_ + "Artist B/Album 2/01 Intro.flac -> " +
                                      out_ + "01 Intro(1).ogg\n"))
        << run.Out;
}

// The same command run again under each policy, flat so that the two same-named sources meet.
TEST_F(CliLibrary, EachExistingPolicyOnARerun) {
    const TNames first = {"01 Intro(1).wav", "01 Intro.wav", "song.wav", "tone.wav", "voice.wav"};
    ASSERT_EQ(Convert("-f wav --flat").Status, 0);
    ASSERT_EQ(Tree(out_), first);
    const auto before = Times();

    const TRun skip = Convert("-f wav --flat --existing skip");
    EXPECT_EQ(skip.Status, 0) << skip.Err;
    EXPECT_TRUE(Contains(skip.Out, "Skipped: " + lib_ + "Artist B/Album 2/01 Intro.flac (" + out_ +
                                       "01 Intro(1).wav exists)\n"))
        << skip.Out;
    EXPECT_TRUE(Contains(skip.Out, "Total files: 5  Succeeded: 0  Skipped: 5  Failed: 0"))
        << skip.Out;
    EXPECT_EQ(Times(), before);

    // Only the source made newer than its output is converted again.
    const std::string changed = lib_ + "misc/tone.aiff";
    fs::last_write_time(changed, fs::file_time_type::clock::now() + std::chrono::seconds(5));
    const TRun newer = Convert("-f wav --flat --existing newer");
    EXPECT_EQ(newer.Status, 0) << newer.Err;
    EXPECT_TRUE(Contains(newer.Out, "Converted: " + changed + " -> " + out_ + "tone.wav\n"))
        << newer.Out;
    EXPECT_TRUE(Contains(newer.Out, "(" + out_ + "song.wav is up to date)\n")) << newer.Out;
    EXPECT_TRUE(Contains(newer.Out, "Succeeded: 1  Skipped: 4  Failed: 0")) << newer.Out;
    auto after = Times();
    EXPECT_NE(after["tone.wav"], before.at("tone.wav"));
    after["tone.wav"] = before.at("tone.wav");
    EXPECT_EQ(after, before);

    const TRun overwrite = Convert("-f wav --flat --existing overwrite");
    EXPECT_EQ(overwrite.Status, 0) << overwrite.Err;
    EXPECT_TRUE(Contains(overwrite.Out, "Succeeded: 5  Failed: 0")) << overwrite.Out;
    EXPECT_EQ(Tree(out_), first);
    for (const auto& [name, time] : Times())
        EXPECT_NE(time, before.at(name)) << name;

    EXPECT_EQ(Convert("-f wav --flat --existing increment").Status, 0);
    EXPECT_EQ(Tree(out_), (TNames{"01 Intro(1).wav", "01 Intro(2).wav", "01 Intro(3).wav",
                                  "01 Intro.wav", "song(1).wav", "song.wav", "tone(1).wav",
                                  "tone.wav", "voice(1).wav", "voice.wav"}));
}

TEST_F(CliLibrary, OverwriteKeepsTheOldOutputWhenTheConversionFailsAndNeverASource) {
    const std::string source = lib_ + "Artist A/Album 1/01 Intro.flac";
    ASSERT_EQ(
        RunCli("-f mp3 -o " + testmedia::Quote(out_) + " " + testmedia::Quote(source), scratch_)
            .Status,
        0);
    const std::string old = apptest::ReadFile(out_ + "01 Intro.mp3");
    ASSERT_FALSE(old.empty());
    // The source now opens but holds no frame that decodes: its conversion starts and fails.
    apptest::WriteFile(source, WithoutFrames(apptest::ReadFile(source)));
    const TRun failed = RunCli("-f mp3 --existing overwrite -o " + testmedia::Quote(out_) + " " +
                                   testmedia::Quote(source),
                               scratch_);
    EXPECT_EQ(failed.Status, 1);
    EXPECT_TRUE(Contains(failed.Err, "Failed: " + source + ": ")) << failed.Err;
    EXPECT_EQ(apptest::ReadFile(out_ + "01 Intro.mp3"), old);
    EXPECT_EQ(Listing(out_), TNames{"01 Intro.mp3"}) << "no temporary file is left";

    // Converted into its own folder to its own format: the source stays, the output is numbered.
    const std::string flac = lib_ + "Artist B/Album 2/01 Intro.flac";
    const std::string original = apptest::ReadFile(flac);
    const std::string folder = lib_ + "Artist B/Album 2";
    const TRun beside = RunCli("-f flac --existing overwrite -o " + testmedia::Quote(folder) + " " +
                                   testmedia::Quote(flac),
                               scratch_);
    EXPECT_EQ(beside.Status, 0) << beside.Err;
    EXPECT_EQ(apptest::ReadFile(flac), original);
    EXPECT_TRUE(fs::exists(folder + "/01 Intro(1).flac"));
}

TEST_F(CliLibrary, DirectSettingsReplaceThePresetsValues) {
    // Mono at 32000 Hz, so that kept values differ from every preset's.
    const std::string source =
        testmedia::Make(testmedia::TempDir("app/cli-library") + "/mono32k.wav",
                        "-f lavfi -i sine=frequency=440:duration=1 -ac 1 -ar 32000");
    ASSERT_FALSE(source.empty());
    const struct {
        const char* Args;
        const char* Codec;
        int Rate;
        int Channels;
        int64_t BitRate; // -1: not checked
    } cases[] = {
        {"-f mp3 -b 64k", "mp3", 44100, 2, 64000},
        {"-f mp3 -r 22050 -c 1", "mp3", 22050, 1, 112000},
        {"-f mp3 -r keep -c keep", "mp3", 32000, 1, 112000},
        {"-f ogg -p 4 -b 96k", "vorbis", 48000, 2, 96000},
        {"-f wav -r keep -c stereo", "pcm_s16le", 32000, 2, -1},
        {"-f flac -r 16000", "flac", 16000, 1, -1},
        {"-f opus -p 2", "opus", 48000, 1, -1},
        {"-f opus -c 2 -b 48", "opus", 48000, 2, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        const std::string out = apptest::FreshDir("direct");
        const TRun run = RunCli(std::string(c.Args) + " -o " + testmedia::Quote(out) + " " +
                                    testmedia::Quote(source),
                                scratch_);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const TNames names = Listing(out);
        ASSERT_EQ(names.size(), 1u);
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out + names[0]);
        EXPECT_EQ(probed.AudioCodec, c.Codec);
        EXPECT_EQ(probed.SampleRate, c.Rate);
        EXPECT_EQ(probed.Channels, c.Channels);
        if (c.BitRate > 0) {
            EXPECT_EQ(probed.BitRate, c.BitRate);
        }
    }

    // A quality on the encoder's own scale: the best gives a much larger file than the least.
    const std::string noise = testmedia::Make(testmedia::TempDir("app/cli-library") + "/noise.wav",
                                              "-f lavfi -i anoisesrc=d=2:c=pink -ac 2 -ar 44100");
    ASSERT_FALSE(noise.empty());
    for (const auto& [format, best, least] :
         {std::tuple{"mp3", "0", "9"}, std::tuple{"ogg -p 3", "10", "-1"}}) {
        uintmax_t size[2] = {};
        for (int i = 0; i < 2; ++i) {
            const std::string out = apptest::FreshDir("quality");
            const TRun run =
                RunCli(std::string("-f ") + format + " -q " + (i == 0 ? best : least) + " -o " +
                           testmedia::Quote(out) + " " + testmedia::Quote(noise),
                       scratch_);
            ASSERT_EQ(run.Status, 0) << format << run.Err;
            size[i] = fs::file_size(out + Listing(out).at(0));
        }
        EXPECT_GT(size[0], 2 * size[1]) << format;
    }

    // What the encoder cannot do is refused before anything is written.
    const std::string out = apptest::FreshDir("refused");
    const TRun refused = RunCli("-f mp2 -r 11025 -o " + testmedia::Quote(out + "new") + " " +
                                    testmedia::Quote(source),
                                scratch_);
    EXPECT_EQ(refused.Status, 2);
    EXPECT_EQ(refused.Err, "audioconv-cli: mp2 does not support 11025 Hz; it supports 16000, "
                           "22050, 24000, 32000, 44100, 48000\n"
                           "Run with --help for more information.\n");
    EXPECT_EQ(Listing(out), TNames{});
}

TEST_F(CliLibrary, NamesFromTagsAndTheSourcesOwnWithoutThem) {
    const TRun run = Convert("-f mp3 --name '{artist}/{album}/{track} {title}'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    // Untagged sources keep their name where they would go without a pattern.
    EXPECT_EQ(Tree(out_),
              (TNames{"AC_DC/Back_ in Black_/03 Hells Bells.mp3", "Artist A/Album 1/01 Intro.mp3",
                      "Artist B/Album 2/01 Intro.mp3", "misc/tone.mp3", "misc/voice.mp3"}));

    // Two sources on one name are numbered.
    const std::string flat = apptest::FreshDir("flat");
    const TRun titles = RunCli("-f mp3 --flat --name '{title}' -o " + testmedia::Quote(flat) + " " +
                                   testmedia::Quote(lib_),
                               scratch_);
    EXPECT_EQ(titles.Status, 0) << titles.Err;
    EXPECT_EQ(Tree(flat),
              (TNames{"Hells Bells.mp3", "Intro(1).mp3", "Intro.mp3", "tone.mp3", "voice.mp3"}));
}

TEST_F(CliLibrary, MessagesNameThePathOnceAndTheSystemsReason) {
    apptest::WriteFile(scratch_ + "blocker", "a file where a folder should be");
    const TRun blocked =
        RunCli("-o " + testmedia::Quote(scratch_ + "blocker/out") + " " + testmedia::Quote(lib_),
               scratch_);
    EXPECT_EQ(blocked.Status, 1);
    EXPECT_EQ(blocked.Err, "audioconv-cli: cannot create the output folder " + scratch_ +
                               "blocker/out: Not a directory\n");

    const std::string bogus = lib_ + "bogus.mp3";
    apptest::WriteFile(bogus, std::string(4096, '\x33'));
    const TRun run =
        RunCli("-o " + testmedia::Quote(out_) + " " + testmedia::Quote(bogus), scratch_);
    EXPECT_EQ(run.Status, 1);
    const std::string line = run.Err.substr(0, run.Err.find('\n'));
    EXPECT_EQ(line.rfind("Failed: " + bogus + ": File load error: ", 0), 0u) << line;
    EXPECT_EQ(line.find(bogus, line.find(bogus) + bogus.size()), std::string::npos) << line;
}

} // namespace
