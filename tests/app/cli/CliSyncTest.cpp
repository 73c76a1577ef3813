// Keeping a copy of a library in step: --sync run again and again over a changing tree, its
// manifest, --dry-run, --base, settings changes and companion files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "CliRun.h"

namespace {

namespace fs = std::filesystem;

class CliSync : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = apptest::FreshDir("cli-sync");
        const std::string media = testmedia::TempDir("app/cli-sync");
        tone_ = testmedia::Make(media + "/tone.wav",
                                "-f lavfi -i sine=frequency=440:duration=0.5 -ac 1 -ar 22050");
        ASSERT_FALSE(tone_.empty());
        for (const char* name :
             {"Artist A/One/01.wav", "Artist A/One/02.wav", "Artist B/Two/01.wav"})
            Add(name);
        apptest::WriteFile(work_ + "lib/Artist A/One/folder.jpg", "a picture");
    }
    void Add(const std::string& name) {
        fs::create_directories(fs::path(work_ + "lib/" + name).parent_path());
        fs::copy_file(tone_, work_ + "lib/" + name);
    }
    clitest::TRun Sync(const std::string& args) {
        return clitest::RunCli("--sync -f mp3 -o " + testmedia::Quote(work_ + "out") + " " + args,
                               work_);
    }
    std::string Lib(const std::string& sub = "") { return testmedia::Quote(work_ + "lib" + sub); }
    // Every file below out/ (the manifest and its lock left out) with its change time.
    std::map<std::string, fs::file_time_type> Tree() {
        std::map<std::string, fs::file_time_type> files;
        for (const auto& entry : fs::recursive_directory_iterator(work_ + "out"))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files[fs::relative(entry.path(), work_ + "out").string()] =
                    fs::last_write_time(entry.path());
        return files;
    }
    std::string work_, tone_;
};

TEST_F(CliSync, RemovedAndAddedSourcesAreFollowedAndNothingElseIsTouched) {
    clitest::TRun run = Sync(Lib());
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const auto first = Tree();
    EXPECT_EQ(first.size(), 4u); // three tracks and the folder's picture
    EXPECT_TRUE(first.count("Artist A/One/folder.jpg"));
    EXPECT_TRUE(fs::exists(work_ + "out/.audioconv-sync.json"));

    fs::remove(work_ + "lib/Artist B/Two/01.wav");
    Add("Artist A/One/03.wav");
    // A dry run says what would go and changes nothing.
    run = Sync("--dry-run " + Lib());
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(clitest::Contains(run.Out, "Would remove: " + work_ + "out/Artist B/Two/01.mp3"))
        << run.Out;
    EXPECT_EQ(Tree(), first);

    run = Sync(Lib());
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_TRUE(clitest::Contains(run.Out, "Removed: " + work_ + "out/Artist B/Two/01.mp3"));
    const auto second = Tree();
    EXPECT_FALSE(fs::exists(work_ + "out/Artist B")) << "the emptied folders go too";
    EXPECT_TRUE(second.count("Artist A/One/03.mp3"));
    for (const char* kept :
         {"Artist A/One/01.mp3", "Artist A/One/02.mp3", "Artist A/One/folder.jpg"})
        EXPECT_EQ(second.at(kept), first.at(kept)) << kept << " was touched";
    EXPECT_EQ(second.size(), 4u);
}

// A file in the output folder that the converter did not write is never removed.
TEST_F(CliSync, OnlyItsOwnOutputsAreOrphans) {
    ASSERT_EQ(Sync(Lib()).Status, 0);
    apptest::WriteFile(work_ + "out/Artist B/Two/mine.mp3", "the user's own");
    fs::remove_all(work_ + "lib/Artist B");
    ASSERT_EQ(Sync(Lib()).Status, 0);
    EXPECT_TRUE(fs::exists(work_ + "out/Artist B/Two/mine.mp3"));
    EXPECT_FALSE(fs::exists(work_ + "out/Artist B/Two/01.mp3"));
}

// --base mirrors relative to the library's root, so updating one artist writes into the
// full mirror.
TEST_F(CliSync, BaseKeepsTheMirrorOfTheWholeLibrary) {
    const clitest::TRun run = Sync("--base " + Lib() + " " + Lib("/Artist A"));
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_TRUE(fs::exists(work_ + "out/Artist A/One/01.mp3"));
    EXPECT_FALSE(fs::exists(work_ + "out/One"));
    const clitest::TRun outside = Sync("--base " + Lib("/Artist A") + " " + Lib("/Artist B"));
    EXPECT_EQ(outside.Status, 1);
    EXPECT_TRUE(clitest::Contains(outside.Err, "not below --base")) << outside.Err;
}

// Other settings convert again what the old ones made; another format replaces the old
// outputs once the new ones are whole.
TEST_F(CliSync, ChangedSettingsConvertAgain) {
    ASSERT_EQ(Sync(Lib()).Status, 0);
    const auto first = Tree();
    clitest::TRun run = Sync(Lib());
    EXPECT_TRUE(clitest::Contains(run.Out, "Skipped: 3")) << run.Out;
    run = Sync("-p 3 " + Lib());
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(clitest::Contains(run.Out, "Settings changed: 3")) << run.Out;
    EXPECT_TRUE(clitest::Contains(run.Out, "Succeeded: 3")) << run.Out;
    run = Sync("-p 3 " + Lib());
    EXPECT_TRUE(clitest::Contains(run.Out, "Skipped: 3")) << "the new settings are recorded";

    run =
        clitest::RunCli("--sync -f ogg -o " + testmedia::Quote(work_ + "out") + " " + Lib(), work_);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(fs::exists(work_ + "out/Artist A/One/01.ogg"));
    EXPECT_FALSE(fs::exists(work_ + "out/Artist A/One/01.mp3"));
    EXPECT_TRUE(clitest::Contains(run.Out, "(made with other settings)")) << run.Out;
}

// A companion is copied once, and again when the library's copy is newer.
TEST_F(CliSync, CompanionsAreCopiedOnceAndUpdatedWhenNewer) {
    ASSERT_EQ(Sync(Lib()).Status, 0);
    const std::string copy = work_ + "out/Artist A/One/folder.jpg";
    EXPECT_EQ(apptest::ReadFile(copy), "a picture");
    clitest::TRun run = Sync(Lib());
    EXPECT_FALSE(clitest::Contains(run.Out, "Copied:")) << run.Out;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    apptest::WriteFile(work_ + "lib/Artist A/One/folder.jpg", "a better picture");
    run = Sync(Lib());
    EXPECT_TRUE(clitest::Contains(run.Out, "Copied: ")) << run.Out;
    EXPECT_EQ(apptest::ReadFile(copy), "a better picture");
}

} // namespace
