// --info and --json on a tagged MP3 with cover art and an unreadable file: the container, the
// tags and the picture's size, as text and as one JSON object per file; every picture of files
// that hold two (MP3 and Matroska), with the texts their containers give.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>
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
    EXPECT_EQ(ogg["pictures"], json::array());
}

TEST_F(CliInfoJson, InfoTextAddsContainerCoverArtAndTags) {
    const TRun run = RunCli("--info " + testmedia::Quote(tagged_), scratch_);
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const char* text : {"\n  Container: mp3 (", "\n  Cover art: mjpeg 64x48, ", " bytes\n",
                             "\n  Tags:\n", "\n    title: Song \"One\"\n", "\n    artist: Band\n"})
        EXPECT_TRUE(Contains(run.Out, text)) << text << "\n" << run.Out;
}

// Two pictures: in MP3 with their ID3 picture types, in Matroska as named attachments.
TEST_F(CliInfoJson, EveryPictureIsReported) {
    const std::string mp3 = testmedia::Make(
        media_ + "/two-covers.mp3",
        "-f lavfi -i sine=duration=1 -f lavfi -i color=c=red:s=64x48:d=1 "
        "-f lavfi -i color=c=blue:s=32x32:d=1 -map 0:a -map 1:v -map 2:v -frames:v 1 "
        "-c:v:0 mjpeg -c:v:1 png -disposition:v attached_pic "
        "-metadata:s:v:0 comment='Cover (front)' -metadata:s:v:1 comment='Cover (back)' "
        "-metadata:s:v:1 title='The back'");
    const std::string jpeg =
        testmedia::Make(media_ + "/red.jpg", "-f lavfi -i color=c=red:s=64x48:d=1 -frames:v 1");
    const std::string png =
        testmedia::Make(media_ + "/blue.png", "-f lavfi -i color=c=blue:s=32x32:d=1 -frames:v 1");
    ASSERT_FALSE(mp3.empty() || jpeg.empty() || png.empty());
    const std::string mka = testmedia::Make(
        media_ + "/two-covers.mka",
        "-f lavfi -i sine=duration=1 -c:a libvorbis -attach " + testmedia::Quote(jpeg) +
            " -metadata:s:t:0 mimetype=image/jpeg -metadata:s:t:0 filename=cover.jpg -attach " +
            testmedia::Quote(png) +
            " -metadata:s:t:1 mimetype=image/png -metadata:s:t:1 filename=cover_land.png "
            "-metadata:s:t:1 title='Back side'");
    ASSERT_FALSE(mka.empty());

    const TRun run =
        RunCli("--json " + testmedia::Quote(mp3) + " " + testmedia::Quote(mka), scratch_);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::vector<std::string> lines = clitest::Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u) << run.Out;
    const struct {
        const char* Codec;
        int Width, Height;
        const char* Texts; // the picture's texts as JSON
    } expected[2][2] = {
        {{"mjpeg", 64, 48, R"j({"comment":"Cover (front)"})j"},
         {"png", 32, 32, R"j({"comment":"Cover (back)","title":"The back"})j"}},
        {{"mjpeg", 64, 48, R"({"filename":"cover.jpg"})"},
         {"png", 32, 32, R"({"title":"Back side","filename":"cover_land.png"})"}},
    };
    for (int file = 0; file < 2; ++file) {
        SCOPED_TRACE(lines[file]);
        const json report = json::parse(lines[file]);
        ASSERT_EQ(report["pictures"].size(), 2u);
        EXPECT_EQ(report["cover_art"], report["pictures"][0]);
        for (int i = 0; i < 2; ++i) {
            json picture = report["pictures"][i];
            EXPECT_EQ(picture["codec"], expected[file][i].Codec);
            EXPECT_EQ(picture["width"], expected[file][i].Width);
            EXPECT_EQ(picture["height"], expected[file][i].Height);
            EXPECT_GT(picture["size"].get<int>(), 50);
            for (const char* key : {"codec", "width", "height", "size"})
                picture.erase(key);
            EXPECT_EQ(picture, json::parse(expected[file][i].Texts));
        }
    }

    const TRun info = RunCli("--info " + testmedia::Quote(mp3), scratch_);
    EXPECT_EQ(info.Status, 0) << info.Err;
    // One line per picture, each with its texts below it, in stream order.
    const std::vector<std::string> text = clitest::Lines(info.Out);
    const auto cover = std::find_if(text.begin(), text.end(), [](const std::string& line) {
        return line.rfind("  Cover art: ", 0) == 0;
    });
    const char* const starts[] = {"  Cover art: mjpeg 64x48, ", "    comment: Cover (front)",
                                  "  Cover art: png 32x32, ",   "    comment: Cover (back)",
                                  "    title: The back",        "  Tags:"};
    ASSERT_GE(text.end() - cover, static_cast<long>(std::size(starts))) << info.Out;
    for (size_t i = 0; i < std::size(starts); ++i)
        EXPECT_EQ(cover[i].rfind(starts[i], 0), 0u) << starts[i] << "\n" << info.Out;
}

} // namespace

namespace {

// --loudness adds the measured loudness and the track's gains; without it nothing is decoded
// and no loudness is named.
TEST_F(CliInfoJson, LoudnessOnlyWhenAskedFor) {
    const std::string tone = testmedia::Make(
        media_ + "/minus23.wav",
        "-f lavfi -i 'aevalsrc=0.0707946*sin(2*PI*1000*t)|0.0707946*sin(2*PI*1000*t):s=48000:"
        "d=5'");
    ASSERT_FALSE(tone.empty());
    const TRun plain = RunCli("--json " + testmedia::Quote(tone), scratch_);
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_FALSE(json::parse(plain.Out).contains("loudness"));
    const TRun run = RunCli("--json --loudness " + testmedia::Quote(tone), scratch_);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const json loudness = json::parse(run.Out).at("loudness");
    EXPECT_NEAR(loudness.at("integrated_lufs").get<double>(), -23.0, 0.1);
    EXPECT_NEAR(loudness.at("replaygain_track_gain").get<double>(), 5.0, 0.1);
    EXPECT_NEAR(loudness.at("true_peak_dbtp").get<double>(), -23.0, 0.2);
    EXPECT_NEAR(loudness.at("r128_track_gain").get<int>(), 0, 26);
    const TRun text = RunCli("--info --loudness " + testmedia::Quote(tone), scratch_);
    EXPECT_TRUE(clitest::Contains(text.Out, "Loudness: -23.0 LUFS")) << text.Out;
    EXPECT_EQ(RunCli("--loudness " + testmedia::Quote(tone), scratch_).Status, 2) << "a usage error";
}

} // namespace
