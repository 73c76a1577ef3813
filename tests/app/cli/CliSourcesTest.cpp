// The sources of a command line: folders searched with their subfolders for the accepted
// types, files taken as named, and paths that name nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "CliSearch.h"
#include "sources/SourceExtensions.h"

namespace {

namespace fs = std::filesystem;

TEST(AcceptedExtensions, TheFortyOneTypesInLowerCase) {
    const std::vector<std::string> expected = {
        ".mp3", ".aac", ".wav",  ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2", ".mpa",
        ".mpc", ".ape", ".ofr",  ".ogg", ".ra",  ".wv",   ".tta", ".ac3", ".dts", ".avi", ".avm",
        ".asf", ".wmv", ".avs",  ".flv", ".mkv", ".mov",  ".3gp", ".mp4", ".mpg", ".dat", ".ogm",
        ".vob", ".rm",  ".rmvb", ".ts",  ".tp",  ".ifo",  ".nsv", ".swf"};
    EXPECT_EQ(AcceptedSourceExtensions(), expected);
    const struct {
        const char* Path;
        bool Accepted;
    } cases[] = {
        {"a/song.MP3", true}, {"clip.RmVb", true},     {"film.mpeg", false}, {"x.tar.gz", false},
        {"noext", false},     {"dir.mp3/file", false}, {"a.b/c.flac", true}, {".wav", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HasAcceptedSourceExtension(c.Path), c.Accepted) << c.Path;
}

TEST(AcceptedExtensions, DroppedFoldersAreSkipped) {
    const std::string dir = apptest::FreshDir("drop");
    fs::create_directories(dir + "album.mp3");
    apptest::WriteFile(dir + "song.mp3", "x");
    EXPECT_FALSE(IsAcceptedDroppedFile(dir + "album.mp3"));
    EXPECT_TRUE(IsAcceptedDroppedFile(dir + "song.mp3"));
    EXPECT_FALSE(IsAcceptedDroppedFile(dir + "film.mpeg"));
}

TEST(CliSources, FoldersAreSearchedFilesTakenAsNamedAndOnce) {
    const std::string dir = apptest::FreshDir("tree");
    fs::create_directories(dir + "music/b/deep");
    fs::create_directories(dir + "music/a.mp3"); // a folder, not a source
    for (const char* name : {"music/z.wav", "music/b/x.MP3", "music/b/deep/y.mkv",
                             "music/notes.txt", "music/cover.jpg", "single.bin"})
        apptest::WriteFile(dir + name, "x");
    fs::create_symlink(dir + "music", dir + "music/b/loop");

    std::vector<TSourceProblem> problems;
    const std::vector<TCliSource> sources =
        CollectSources({dir + "music/", dir + "single.bin", dir + "gone.wav",
                        dir + "music/b/../z.wav", dir + "music/b"},
                       problems);
    std::vector<std::string> found;
    for (const TCliSource& source : sources)
        found.push_back(source.Path + " in '" + source.SubFolder + "'");
    EXPECT_EQ(found, (std::vector<std::string>{
                         dir + "music/b/deep/y.mkv in 'b/deep'", dir + "music/b/x.MP3 in 'b'",
                         dir + "music/z.wav in ''", dir + "single.bin in ''"}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].Path, dir + "gone.wav");
    EXPECT_EQ(problems[0].Message, "No such file or directory");
}

// Desktop types are found too; the output folder inside a searched folder is not searched.
TEST(CliSources, DesktopTypesAreFoundAndTheOutputFolderIsNot) {
    const std::string dir = apptest::FreshDir("lib");
    fs::create_directories(dir + "lib/out/Album");
    for (const char* name : {"lib/a.oga", "lib/b.OPUS", "lib/c.aiff", "lib/d.m4b", "lib/e.webm",
                             "lib/f.caf", "lib/g.xyz", "lib/out/Album/a.mp3"})
        apptest::WriteFile(dir + name, "x");
    std::vector<TSourceProblem> problems;
    std::vector<std::string> found;
    for (const TCliSource& source : CollectSources({dir + "lib"}, problems, dir + "lib/./out/"))
        found.push_back(source.Path.substr(dir.size()));
    EXPECT_EQ(found, (std::vector<std::string>{"lib/a.oga", "lib/b.OPUS", "lib/c.aiff", "lib/d.m4b",
                                               "lib/e.webm", "lib/f.caf"}));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(CollectSources({dir + "lib"}, problems).size(), 7u) << "without an output folder";
}

} // namespace
