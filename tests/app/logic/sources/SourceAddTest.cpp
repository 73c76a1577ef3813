#include <gtest/gtest.h>

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AppLog.h"
#include "AppTestEnv.h"
#include "FFDecode.h"
#include "FFLoad.h"
#include "MediaFixture.h"
#include "settings/globals.h"
#include "sources/SourceAdd.h"

namespace fs = std::filesystem;

namespace {

std::string Dir() {
    return testmedia::TempDir("source-add");
}

// Two seconds of video without audio: red for the first 0.8 s, blue after; the middle
// picture is blue.
std::string RedBlueVideo() {
    return testmedia::Make(Dir() + "/redblue.mp4",
                           "-f lavfi -i \"color=c=red:s=176x96:r=25:d=0.8[a];"
                           "color=c=blue:s=176x96:r=25:d=1.2[b];[a][b]concat=n=2:v=1:a=0[out0]\" "
                           "-c:v mpeg4 -g 5");
}

std::string StereoFlac() {
    return testmedia::Make(Dir() + "/tone.flac",
                           "-f lavfi -i sine=frequency=440:duration=3 -ac 2 -ar 48000");
}

class SourceProbe : public ::testing::Test {
protected:
    void SetUp() override { testmedia::LoadLibraries(); }
};

TEST_F(SourceProbe, VideoGivesTheMiddlePictureAndItsFacts) {
    const std::string video = RedBlueVideo();
    ASSERT_FALSE(video.empty());
    TFFDecoder prober;
    const TProbedSource source = ProbeSource(prober, video);
    ASSERT_TRUE(source.Loaded) << source.Error;
    EXPECT_EQ(source.Path, video);
    EXPECT_TRUE(source.HasVideo);
    ASSERT_TRUE(source.PictureDecoded);
    ASSERT_EQ(source.Picture.Width(), 176);
    ASSERT_EQ(source.Picture.Height(), 96);
    // Blue, not the red of the start: the picture comes from the middle.
    const uint8_t* pixel = source.Picture.ScanLine(48) + 3 * 88;
    EXPECT_GT(pixel[0], 200) << "blue";
    EXPECT_LT(pixel[2], 60) << "red";
    EXPECT_EQ(source.Facts.VideoCodecName.rfind("mpeg4", 0), 0u) << source.Facts.VideoCodecName;
    EXPECT_EQ(source.Facts.FrameRateNum / std::max(1, source.Facts.FrameRateDen), 25);
    EXPECT_EQ(source.Facts.AudioCodecName, "");
    EXPECT_NEAR(static_cast<double>(source.Facts.Duration), 2e6, 1e5);
    EXPECT_EQ(source.Facts.FileSize, static_cast<int64_t>(fs::file_size(video)));
    // The prober is closed again.
    EXPECT_EQ(prober.FormatContext(), nullptr);
}

TEST_F(SourceProbe, AudioHasNoPictureAndItsStreamFacts) {
    const std::string audio = StereoFlac();
    ASSERT_FALSE(audio.empty());
    TFFDecoder prober;
    const TProbedSource source = ProbeSource(prober, audio);
    ASSERT_TRUE(source.Loaded) << source.Error;
    EXPECT_FALSE(source.HasVideo);
    EXPECT_FALSE(source.PictureDecoded);
    EXPECT_EQ(source.Facts.AudioCodecName.rfind("flac", 0), 0u) << source.Facts.AudioCodecName;
    EXPECT_EQ(source.Facts.Channels, 2);
    EXPECT_EQ(source.Facts.SampleRate, 48000);
    EXPECT_EQ(source.Facts.VideoCodecName, "");
    EXPECT_EQ(source.Facts.FrameRateNum, -1);
}

TEST_F(SourceProbe, UnreadableFileGivesTheProbersTextNamingIt) {
    const std::string bad = Dir() + "/not audio.mp3";
    apptest::WriteFile(bad, "this is no audio at all");
    TFFDecoder prober;
    const TProbedSource source = ProbeSource(prober, bad);
    EXPECT_FALSE(source.Loaded);
    EXPECT_NE(source.Error.find(bad), std::string::npos) << source.Error;
}

TEST(SourceProbeWithoutLibraries, RaisesTheLibraryError) {
    FFLoader->Unload(AllLibraries);
    TFFDecoder prober;
    EXPECT_THROW(
        {
            try {
                ProbeSource(prober, "/nowhere.mp3");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
                throw;
            }
        },
        std::runtime_error);
    testmedia::LoadLibraries();
}

TEST(SourceAddBookkeeping, FailuresAreLoggedAndListedAfterAFreshStart) {
    TGlobalVars vars;
    vars.FailedFiles = {"from the last add"};
    vars.LogLines = {"earlier"};
    BeginSourceAdd(vars);
    EXPECT_TRUE(vars.FailedFiles.empty());
    TProbedSource failed;
    failed.Error = "a.mp3: Invalid data found when processing input";
    NoteProbedSource(vars, failed);
    TProbedSource added;
    added.Loaded = true;
    NoteProbedSource(vars, added);
    EXPECT_EQ(vars.LogLines, (std::vector<std::string>{
                                 "earlier", "File load error: a.mp3: Invalid data found when "
                                            "processing input"}));
    EXPECT_EQ(vars.FailedFiles,
              std::vector<std::string>{"a.mp3: Invalid data found when processing input"});
}

// The application log of an add operation, collected as the window's log handler does.
class SourceAddLog : public SourceProbe {
protected:
    void SetUp() override {
        SourceProbe::SetUp();
        FFLogger()->SetOnLog(
            [this](void*, uint32_t threadID, TLogLevel level, const std::string& msg) {
                Vars.LogLines.push_back(FormatLogLine(threadID, level, msg));
            });
    }
    void TearDown() override { FFLogger()->SetOnLog(nullptr); }

    // The log lines without what differs between threads and probers: the "#thread."
    // prefix and the address in a library line's "[mp3 @ 0000559C8EC0A300]".
    std::vector<std::string> LogWithoutThreads() const {
        std::vector<std::string> lines;
        for (const std::string& line : Vars.LogLines) {
            const size_t dot = line.find('.');
            std::string text =
                line[0] == '#' && dot != std::string::npos ? line.substr(dot + 1) : line;
            const size_t at = text.find(" @ ");
            const size_t close = text.find(']', at);
            if (at != std::string::npos && close != std::string::npos)
                text.erase(at + 3, close - at - 3);
            lines.push_back(std::move(text));
        }
        return lines;
    }

    // A good audio file, a file that cannot be opened and a good video file, in that order.
    std::vector<std::string> GoodBadGood() {
        const std::string bad = Dir() + "/broken.mp3";
        apptest::WriteFile(bad, "this is no audio at all");
        return {StereoFlac(), bad, RedBlueVideo()};
    }

    TGlobalVars Vars;
};

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    const auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? std::string::npos : static_cast<size_t>(it - lines.begin());
}

// Each file probed and noted in turn on the main thread, as the list adds a few files.
TEST_F(SourceAddLog, EachFilesLinesAreFollowedByItsLoadError) {
    const std::vector<std::string> paths = GoodBadGood();
    ASSERT_FALSE(paths[0].empty());
    ASSERT_FALSE(paths[2].empty());
    TFFDecoder prober;
    BeginSourceAdd(Vars);
    for (const std::string& path : paths) {
        TProbedSource source = ProbeSource(prober, path);
        NoteProbedSource(Vars, source);
    }
    const std::vector<std::string> log = LogWithoutThreads();
    const size_t noVideo = IndexOf(log, "3: no video stream.");
    const size_t failure = IndexOf(log, "File load error: " + Vars.FailedFiles.at(0));
    ASSERT_NE(noVideo, std::string::npos) << ::testing::PrintToString(log);
    ASSERT_NE(failure, std::string::npos) << ::testing::PrintToString(log);
    EXPECT_EQ(Vars.FailedFiles.size(), 1u);
    EXPECT_NE(Vars.FailedFiles[0].find(paths[1]), std::string::npos) << Vars.FailedFiles[0];
    // The audio file's line comes before the broken file's; the broken file's own error
    // line from the prober comes right before its load error.
    EXPECT_LT(noVideo, failure);
    ASSERT_GT(failure, 0u);
    EXPECT_EQ(log[failure - 1], "3: " + Vars.FailedFiles[0]);
    // The video file has no audio: its "no audio stream." follows the load error.
    const size_t noAudio = IndexOf(log, "3: no audio stream.");
    ASSERT_NE(noAudio, std::string::npos) << ::testing::PrintToString(log);
    EXPECT_GT(noAudio, failure);
    // The audio file has no "no audio stream." and the video file no "no video stream.".
    EXPECT_EQ(std::count(log.begin(), log.end(), "3: no video stream."), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "3: no audio stream."), 1);
}

// The same files probed at the same time on threads of their own, the last one first, and
// noted in the list's order afterwards: the log reads as when they were probed in turn.
TEST_F(SourceAddLog, FilesProbedOnThreadsLogInTheOrderOfTheList) {
    const std::vector<std::string> paths = GoodBadGood();
    ASSERT_FALSE(paths[0].empty());
    ASSERT_FALSE(paths[2].empty());
    {
        TFFDecoder prober;
        for (const std::string& path : paths) {
            TProbedSource source = ProbeSource(prober, path);
            NoteProbedSource(Vars, source);
        }
    }
    const std::vector<std::string> inTurn = LogWithoutThreads();
    const std::vector<std::string> failedInTurn = Vars.FailedFiles;
    Vars.LogLines.clear();
    BeginSourceAdd(Vars);

    std::vector<TProbedSource> probed(paths.size());
    std::vector<std::thread> threads;
    for (size_t i = paths.size(); i-- > 0;)
        threads.emplace_back([&, i] {
            TFFDecoder prober;
            probed[i] = ProbeSource(prober, paths[i]);
        });
    for (std::thread& thread : threads)
        thread.join();
    // Nothing reaches the log before its file takes its place.
    DeliverQueuedLogLines();
    EXPECT_TRUE(Vars.LogLines.empty()) << ::testing::PrintToString(Vars.LogLines);
    for (TProbedSource& source : probed) {
        EXPECT_FALSE(source.LogLines.empty()) << source.Path;
        NoteProbedSource(Vars, source);
        EXPECT_TRUE(source.LogLines.empty());
    }
    EXPECT_EQ(LogWithoutThreads(), inTurn);
    EXPECT_EQ(Vars.FailedFiles, failedInTurn);
    ASSERT_NE(IndexOf(inTurn, "3: no video stream."), std::string::npos);
}

TEST(SourceDrop, FoldersAndUnacceptedTypesAreSkippedAndRepeatsKept) {
    const std::string dir = apptest::FreshDir("drop");
    fs::create_directories(dir + "folder.mp3");
    const std::string song = dir + "song.MP3";
    const std::string film = dir + "film.mpeg";
    apptest::WriteFile(song, "x");
    apptest::WriteFile(film, "x");
    const std::vector<std::string> dropped = {dir + "folder.mp3", song, film, song,
                                              dir + "missing.ogg"};
    // A name that does not exist is no folder: it is kept and fails when probed.
    EXPECT_EQ(AcceptedDroppedFiles(dropped),
              (std::vector<std::string>{song, song, dir + "missing.ogg"}));
    EXPECT_TRUE(AcceptedDroppedFiles({film}).empty());
}

TEST(SourceCommandLine, FilesAreMadeAbsoluteInTheirOrder) {
    const std::vector<std::string> args = {"audioconv", "b.mp3",         "/music/a.flac",
                                           "",          "../up/c d.wav", "./e.ogg"};
    EXPECT_EQ(CommandLineSourceFiles(args, "/home/me/work"),
              (std::vector<std::string>{"/home/me/work/b.mp3", "/music/a.flac",
                                        "/home/me/up/c d.wav", "/home/me/work/e.ogg"}));
    EXPECT_TRUE(CommandLineSourceFiles({"audioconv"}, "/").empty());
    EXPECT_EQ(CommandLineSourceFiles({"audioconv", "--", "-dash.mp3", "--"}, "/w"),
              (std::vector<std::string>{"/w/-dash.mp3", "/w/--"}));
}

TEST(SourceTexts, ProgressAndFolderOfTheFirstFile) {
    EXPECT_EQ(AddingProgressText(120, 800), "Adding 120 of 800...");
    EXPECT_EQ(FolderOfFile("/music/album/one.mp3"), "/music/album/");
    EXPECT_EQ(FolderOfFile("one.mp3"), "");
}

bool Matches(const TDialogFilter& filter, const std::string& name) {
    for (const std::string& pattern : filter.Patterns)
        if (fnmatch(AnyCasePattern(pattern).c_str(), name.c_str(), 0) == 0)
            return true;
    return false;
}

TEST(SourceDialogFilter, FourEntriesMatchingInAnyCase) {
    const std::vector<TDialogFilter>& filters = OpenDialogFilters();
    ASSERT_EQ(filters.size(), 4u);
    EXPECT_EQ(filters[0].Name, "All Supported Formats");
    EXPECT_EQ(filters[1].Name, "All Video Formats (all types)");
    EXPECT_EQ(filters[2].Name, "All Audio Formats (all types)");
    EXPECT_EQ(filters[3].Name, "All Files");
    EXPECT_EQ(filters[0].Patterns.size(), 42u);
    EXPECT_EQ(filters[1].Patterns.size(), 22u);
    EXPECT_EQ(filters[2].Patterns.size(), 20u);
    EXPECT_EQ(filters[3].Patterns, std::vector<std::string>{"*.*"});

    struct TCase {
        const char* Name;
        bool Supported, Video, Audio;
    };
    const TCase cases[] = {
        {"song.mp3", true, false, true},  {"SONG.MP3", true, false, true},
        {"Song.Mp3", true, false, true},  {"clip.mpeg", true, true, false},
        {"movie.MKV", true, true, false}, {"notes.txt", false, false, false},
        {"mp3", false, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Matches(filters[0], c.Name), c.Supported);
        EXPECT_EQ(Matches(filters[1], c.Name), c.Video);
        EXPECT_EQ(Matches(filters[2], c.Name), c.Audio);
    }
    EXPECT_EQ(AnyCasePattern("*.3GP"), "*.3[gG][pP]");
}

} // namespace
