// --info and --json on a tagged MP3 with cover art and an unreadable file: the container, the
// tags and the picture's size, as text and as one JSON object per file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "CliRun.h"

namespace {

using clitest::Contains;
using clitest::RunCli;
using clitest::TRun;
using nlohmann::json;

class CliInfoJson : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = testmedia::TempDir("app/cli-info-json");
        tagged_ = testmedia::Make(
            media_ + "/tagged.mp3",
            "-f lavfi -i sine=frequency=440:duration=2 -f lavfi -i color=c=red:s=64x48:d=1 "
            "-map 0:a -map 1:v -frames:v 1 -c:v mjpeg -disposition:v attached_pic "
            "-metadata title='Song \"One\"' -metadata artist=Band -metadata album=Disc "
            "-metadata track=3");
        // Ogg keeps its comments on the stream, not on the container.
        ogg_ = testmedia::Make(media_ + "/tagged.ogg",
                               "-f lavfi -i sine=duration=1 -c:a libvorbis -metadata title=Ogg");
        ASSERT_FALSE(tagged_.empty());
        ASSERT_FALSE(ogg_.empty());
        scratch_ = apptest::FreshDir("scratch");
        bad_ = scratch_ + "bad.mp3";
        apptest::WriteFile(bad_, "ID3 but nothing else");
    }

    std::string media_, tagged_, ogg_, scratch_, bad_;
};

TEST_F(CliInfoJson, JsonHoldsOneObjectPerFileWithTheTagsAndAnErrorObject) {
    const TRun run = RunCli("--json " + testmedia::Quote(tagged_) + " " + testmedia::Quote(bad_) +
                                " " + testmedia::Quote(ogg_),
                            scratch_);
    EXPECT_EQ(run.Status, 1);
    const std::vector<std::string> lines = clitest::Lines(run.Out);
    ASSERT_EQ(lines.size(), 3u) << run.Out;

    json good;
    ASSERT_NO_THROW(good = json::parse(lines[0])) << lines[0];
    EXPECT_EQ(good["path"], tagged_);
    EXPECT_EQ(good["container"], "mp3");
    EXPECT_EQ(good["tags"]["title"], "Song \"One\"");
    EXPECT_EQ(good["tags"]["artist"], "Band");
    EXPECT_EQ(good["tags"]["album"], "Disc");
    EXPECT_EQ(good["tags"]["track"], "3");
    EXPECT_EQ(good["channels"], 1);
    EXPECT_EQ(good["sample_rate"], 44100);
    EXPECT_NEAR(good["duration_us"].get<double>(), 2e6, 1e5);
    ASSERT_TRUE(good["cover_art"].is_object());
    EXPECT_EQ(good["cover_art"]["codec"], "mjpeg");
    EXPECT_EQ(good["cover_art"]["width"], 64);
    EXPECT_EQ(good["cover_art"]["height"], 48);
    EXPECT_GT(good["cover_art"]["size"].get<int>(), 100);

    json bad;
    ASSERT_NO_THROW(bad = json::parse(lines[1])) << lines[1];
    EXPECT_EQ(bad["path"], bad_);
    EXPECT_TRUE(bad["error"].is_string());
    EXPECT_FALSE(bad["error"].get<std::string>().empty());
    EXPECT_EQ(bad.size(), 2u);
    EXPECT_TRUE(Contains(run.Err, "bad.mp3")) << run.Err;

    const json ogg = json::parse(lines[2]);
    EXPECT_EQ(ogg["container"], "ogg");
    EXPECT_EQ(ogg["tags"]["title"], "Ogg");
    EXPECT_TRUE(ogg["cover_art"].is_null());
}

TEST_F(CliInfoJson, InfoTextAddsContainerCoverArtAndTags) {
    const TRun run = RunCli("--info " + testmedia::Quote(tagged_), scratch_);
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const char* text : {"\n  Container: mp3 (", "\n  Cover art: mjpeg 64x48, ", " bytes\n",
                             "\n  Tags:\n", "\n    title: Song \"One\"\n", "\n    artist: Band\n"})
        EXPECT_TRUE(Contains(run.Out, text)) << text << "\n" << run.Out;
}

} // namespace
