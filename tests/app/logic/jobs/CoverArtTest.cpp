// The job options that keep a source's cover art, for every output type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FFDecode.h"
#include "MediaFixture.h"
#include "jobs/CoverArt.h"
#include "jobs/JobBuilder.h"
#include "jobs/OutputFormats.h"

namespace {

class CoverArt : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        media_ = testmedia::TempDir("app/cover-art");
        tagged_ = testmedia::Make(
            media_ + "/tagged.mp3",
            "-f lavfi -i sine=frequency=440:duration=1 -f lavfi -i color=c=blue:s=32x32:d=1 "
            "-map 0:a -map 1:v -frames:v 1 -c:v png -disposition:v attached_pic");
        plain_ =
            testmedia::Make(media_ + "/plain.mp3", "-f lavfi -i sine=frequency=440:duration=1");
        // A film with its own pictures and a cover (an image attachment, which the demuxer
        // gives as an attached picture): its pictures never reach an audio file.
        cover_ = testmedia::Make(media_ + "/cover.jpg",
                                 "-f lavfi -i color=c=blue:s=32x32:d=1 -frames:v 1");
        film_ = testmedia::Make(media_ + "/film.mkv",
                                "-f lavfi -i testsrc=size=64x48:rate=5:duration=1 -f lavfi -i "
                                "sine=duration=1 -attach " +
                                    testmedia::Quote(cover_) +
                                    " -metadata:s:t mimetype=image/jpeg "
                                    "-metadata:s:t filename=cover.jpg -c:v mpeg4");
        ASSERT_FALSE(tagged_.empty());
        ASSERT_FALSE(plain_.empty());
        out_ = testmedia::TempDir("app/cover-art/out");
    }

    // The input and output options of `source` for `format`, cover art kept.
    std::pair<TInputOptions, TOutputOptions> Job(const std::string& source, int format) {
        EXPECT_TRUE(prober_.LoadFile(source)) << prober_.LastErrMsg();
        TInputOptions input;
        TOutputOptions output;
        BuildOutputOptions(prober_, {format, 0, out_}, {}, output);
        BuildInputOptions(prober_, input);
        KeepCoverArt(prober_, input, output);
        prober_.CloseFile();
        return {input, output};
    }

    TFFDecoder prober_;
    std::string media_, tagged_, plain_, cover_, film_, out_;
};

TEST_F(CoverArt, EachFormatKeepsThePictureItsWayOrDropsIt) {
    const struct {
        int Format;
        TCoverArtWay Way;
    } rows[] = {
        {ofWAV, TCoverArtWay::Drop},        {ofMP3, TCoverArtWay::CopyStream},
        {ofWMA, TCoverArtWay::Drop},        {ofOGG, TCoverArtWay::PictureComment},
        {ofAAC, TCoverArtWay::Drop},        {ofM4A, TCoverArtWay::CopyStream},
        {ofFLAC, TCoverArtWay::CopyStream}, {ofMP2, TCoverArtWay::Drop},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(OutputFormats()[row.Format].Name);
        EXPECT_EQ(CoverArtWayOf(OutputFormats()[row.Format].Extension), row.Way);
        const auto [input, output] = Job(tagged_, row.Format);
        const auto [plainInput, plainOutput] = Job(plain_, row.Format);
        switch (row.Way) {
        case TCoverArtWay::CopyStream:
            EXPECT_EQ(input.ExtOptions, "");
            EXPECT_EQ(output.VideoCodec, "copy");
            EXPECT_FALSE(output.DisableVideo);
            // The picture (stream 1) and the audio (stream 0), in the output's stream order.
            EXPECT_EQ(output.ExtOptions, plainOutput.ExtOptions +
                                             (plainOutput.ExtOptions.empty() ? "" : "<CRLF>") +
                                             "map=0:1<CRLF>map=0:0");
            break;
        case TCoverArtWay::PictureComment:
            EXPECT_EQ(input.ExtOptions, "vn=1");
            EXPECT_EQ(output.ExtOptions, plainOutput.ExtOptions + "<CRLF>picture_comment=1");
            EXPECT_EQ(output.VideoCodec, plainOutput.VideoCodec);
            break;
        case TCoverArtWay::Drop:
            EXPECT_EQ(input.ExtOptions, "vn=1");
            EXPECT_EQ(output.ExtOptions, plainOutput.ExtOptions);
            EXPECT_EQ(output.VideoCodec, plainOutput.VideoCodec);
            EXPECT_EQ(output.DisableVideo, plainOutput.DisableVideo);
            break;
        }
        // A source without a picture keeps the plain job.
        EXPECT_EQ(plainInput.ExtOptions, "vn=1");
        EXPECT_NE(plainOutput.VideoCodec, "copy");
    }
    EXPECT_EQ(CoverArtWayOf(".OPUS"), TCoverArtWay::PictureComment);
}

TEST_F(CoverArt, AFilmsPicturesAreNeverCopiedItsCoverIs) {
    ASSERT_FALSE(film_.empty());
    ASSERT_TRUE(prober_.LoadFile(film_));
    const std::vector<TAttachedPictureInfo> pictures = prober_.AttachedPictures();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].CodecName, "mjpeg");
    EXPECT_EQ(pictures[0].StreamIndex, 2);
    EXPECT_EQ(prober_.BestAudioStreamIndex(), 1);
    prober_.CloseFile();
    const auto [input, output] = Job(film_, ofMP3);
    EXPECT_EQ(input.ExtOptions, "");
    EXPECT_EQ(output.VideoCodec, "copy");
    // Stream 0, the film's video, is not mapped.
    EXPECT_EQ(output.ExtOptions, "map=0:2<CRLF>map=0:1");
}

TEST_F(CoverArt, EveryPictureGetsAStreamOfItsOwn) {
    const std::string two =
        testmedia::Make(media_ + "/two-pictures.mp3",
                        "-i " + testmedia::Quote(tagged_) + " -i " + testmedia::Quote(cover_) +
                            " -map 0 -map 1 -c copy -disposition:v:1 attached_pic");
    ASSERT_FALSE(two.empty());
    const auto [input, output] = Job(two, ofFLAC);
    EXPECT_EQ(output.ExtOptions,
              "compression_level=0<CRLF>map=0:1<CRLF>map=0:0<CRLF>newvideo=1<CRLF>map=0:2");
}

} // namespace
