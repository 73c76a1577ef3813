#include <gtest/gtest.h>

#include <fnmatch.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

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
    NoteSourceLoadFailure(vars, "a.mp3: Invalid data found when processing input");
    EXPECT_EQ(vars.LogLines, (std::vector<std::string>{
                                 "earlier", "File load error: a.mp3: Invalid data found when "
                                            "processing input"}));
    EXPECT_EQ(vars.FailedFiles,
              std::vector<std::string>{"a.mp3: Invalid data found when processing input"});
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
