// Cover art through audioconv-cli: the attached picture of a tagged MP3 reaches the MP3, FLAC
// and M4A outputs as a copied picture stream and the Ogg and Opus outputs as their picture
// comment; the formats without pictures convert without it.
#include <gtest/gtest.h>

#include <string>

#include "CliRun.h"
#include "ProbedOutput.h"

namespace {

using clitest::Contains;
using clitest::RunCli;
using clitest::TRun;

// The bytes of the first picture stream of `path` as stored, "" when it has none.
std::string StoredPicture(const std::string& path, const std::string& scratch) {
    const std::string picture = scratch + "picture.bin";
    std::remove(picture.c_str());
    const std::string command = "ffmpeg -nostdin -v error -y -i " + testmedia::Quote(path) +
                                " -map 0:v:0 -c copy -f data " + testmedia::Quote(picture) +
                                " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return "";
    return apptest::ReadFile(picture);
}

// What ffprobe says about the attached pictures of `path`: "codec WxH" per picture stream.
std::string ProbedPictures(const std::string& path) {
    return apptest::RunForOutput(
        "ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height:"
        "stream_disposition=attached_pic -of csv=p=0 " +
        testmedia::Quote(path) + " 2>/dev/null");
}

class CliCoverArt : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = testmedia::TempDir("app/cli-cover");
        tagged_ = testmedia::Make(
            media_ + "/tagged.mp3",
            "-f lavfi -i sine=frequency=440:duration=2 -f lavfi -i color=c=red:s=64x48:d=1 "
            "-map 0:a -map 1:v -frames:v 1 -c:v mjpeg -disposition:v attached_pic "
            "-metadata:s:v comment='Cover (front)' -metadata title=Song -metadata artist=Band "
            "-id3v2_version 3");
        ASSERT_FALSE(tagged_.empty());
        picture_ = StoredPicture(tagged_, apptest::FreshDir("picture"));
        ASSERT_GT(picture_.size(), 100u);
        out_ = apptest::FreshDir("out");
    }

    std::string media_, tagged_, picture_, out_;
};

TEST_F(CliCoverArt, PictureIsCopiedIntoTheFormatsThatHoldOne) {
    for (const char* format : {"mp3", "flac", "m4a", "ogg", "opus"}) {
        SCOPED_TRACE(format);
        const TRun run = RunCli(std::string("--quiet -f ") + format + " -o " +
                                    testmedia::Quote(out_) + " " + testmedia::Quote(tagged_),
                                out_);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::string output = out_ + "tagged." + format;
        const apptest::TProbedOutput probed = apptest::ProbeOutput(output);
        EXPECT_EQ(probed.AudioStreams, 1);
        // The Ogg demuxer turns a METADATA_BLOCK_PICTURE comment it can decode into a picture
        // stream: seeing one there proves the comment.
        EXPECT_EQ(ProbedPictures(output), "mjpeg,64,48,1\n");
        EXPECT_EQ(StoredPicture(output, out_), picture_) << "the picture was not copied as it is";
    }
    // The comments keep the picture's type too.
    EXPECT_TRUE(Contains(apptest::RunForOutput("ffprobe -v error -show_entries stream_tags=comment "
                                               "-of csv=p=0 " +
                                               testmedia::Quote(out_ + "tagged.ogg")),
                         "Cover (front)"));
    EXPECT_TRUE(Contains(apptest::RunForOutput("ffprobe -v error -show_entries stream_tags=comment "
                                               "-of csv=p=0 " +
                                               testmedia::Quote(out_ + "tagged.opus")),
                         "Cover (front)"));
}

TEST_F(CliCoverArt, EveryPictureIsKeptAndAFilmsOwnPicturesAreNot) {
    const std::string back =
        testmedia::Make(media_ + "/back.png", "-f lavfi -i color=c=green:s=40x40:d=1 -frames:v 1");
    const std::string two = testmedia::Make(
        media_ + "/two.mp3", "-i " + testmedia::Quote(tagged_) + " -i " + testmedia::Quote(back) +
                                 " -map 0 -map 1 -c copy -disposition:v:1 attached_pic "
                                 "-metadata:s:v:1 comment='Cover (back)' -id3v2_version 3");
    const std::string cover =
        testmedia::Make(media_ + "/cover.jpg", "-f lavfi -i color=c=blue:s=32x32:d=1 -frames:v 1");
    const std::string film = testmedia::Make(
        media_ + "/film.mkv",
        "-f lavfi -i testsrc=size=64x48:rate=5:duration=1 -f lavfi -i sine=duration=1 -attach " +
            testmedia::Quote(cover) +
            " -metadata:s:t mimetype=image/jpeg -metadata:s:t filename=cover.jpg -c:v mpeg4");
    ASSERT_FALSE(two.empty());
    ASSERT_FALSE(film.empty());
    for (const char* format : {"mp3", "flac", "m4a"}) {
        SCOPED_TRACE(format);
        const TRun run =
            RunCli(std::string("--quiet -f ") + format + " -o " + testmedia::Quote(out_) + " " +
                       testmedia::Quote(two) + " " + testmedia::Quote(film),
                   out_);
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(ProbedPictures(out_ + "two." + format), "mjpeg,64,48,1\npng,40,40,1\n");
        EXPECT_EQ(ProbedPictures(out_ + "film." + format), "mjpeg,32,32,1\n");
    }
}

TEST_F(CliCoverArt, FormatsWithoutPicturesConvertWithoutIt) {
    for (const char* format : {"wav", "aac", "mp2", "wma"}) {
        SCOPED_TRACE(format);
        const TRun run = RunCli(std::string("--quiet -f ") + format + " -o " +
                                    testmedia::Quote(out_) + " " + testmedia::Quote(tagged_),
                                out_);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out_ + "tagged." + format);
        EXPECT_EQ(probed.AudioStreams, 1);
        EXPECT_EQ(probed.VideoStreams, 0);
    }
}

} // namespace
