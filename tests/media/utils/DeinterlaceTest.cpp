// The deinterlacer: every picture of a stream comes out as a picture deinterlaced on its own
// (a fresh "yadif" graph that sees the picture and then the end of its stream), whatever came
// before it; a change of size or pixel format builds a new graph, nothing else does.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../../common/ReferenceDeinterlace.h"
#include "FFLoad.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"
#include "utils/Deinterlace.h"

namespace {

using testmedia::ReferenceDeinterlaced;
using TFrame = testmedia::TTestFrame;

// A picture with combing: the two fields hold different patterns that move with `seed`.
TFrame Picture(int width, int height, AVPixelFormat format, bool interlaced, bool topFirst,
               int seed) {
    TFrame f(ff::av_frame_alloc());
    f->width = width;
    f->height = height;
    f->format = format;
    if (ff::av_frame_get_buffer(f.get(), 0) < 0)
        return nullptr;
    for (int plane = 0; plane < 4 && f->data[plane] != nullptr; ++plane) {
        const int rows = plane == 0 || format != AV_PIX_FMT_YUV420P ? height : height / 2;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < f->linesize[plane]; ++x)
                f->data[plane][y * f->linesize[plane] + x] = static_cast<uint8_t>(
                    (y & 1) != 0 ? x * 3 + y * seed + 90 : x * seed + y * 5 + plane * 40);
    }
    f->interlaced_frame = interlaced ? 1 : 0;
    f->top_field_first = topFirst ? 1 : 0;
    f->sample_aspect_ratio = AVRational{1, 1};
    f->pts = 1000 + seed;
    return f;
}

std::vector<uint8_t> Bytes(const AVFrame* f) {
    return testmedia::PictureBytes(f);
}

struct TPictureCase {
    int Width, Height;
    AVPixelFormat Format;
    bool Interlaced, TopFirst;
    int Seed;
    int GraphsBuilt; // after this picture
};

class MediaDeinterlace : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
    }
};

TEST_F(MediaDeinterlace, EveryPictureAsIfAloneAndANewGraphOnlyForANewGeometry) {
    const std::vector<TPictureCase> stream = {
        {64, 48, AV_PIX_FMT_YUV420P, true, true, 1, 1},   // the first picture
        {64, 48, AV_PIX_FMT_YUV420P, true, false, 2, 1},  // bottom field first
        {64, 48, AV_PIX_FMT_YUV420P, false, false, 3, 1}, // flagged progressive
        {64, 48, AV_PIX_FMT_YUV420P, false, true, 4, 1},
        {64, 48, AV_PIX_FMT_YUV420P, true, true, 5, 1},
        {32, 24, AV_PIX_FMT_YUV420P, true, true, 6, 2},  // smaller
        {32, 24, AV_PIX_FMT_YUV422P, true, false, 7, 3}, // another pixel format
        {32, 24, AV_PIX_FMT_YUV422P, true, false, 8, 3},
        {64, 48, AV_PIX_FMT_YUV420P, true, true, 9, 4}, // back, and the last picture
    };
    TDeinterlacer deinterlacer;
    for (size_t i = 0; i < stream.size(); ++i) {
        const TPictureCase& c = stream[i];
        SCOPED_TRACE("picture " + std::to_string(i));
        const TFrame picture =
            Picture(c.Width, c.Height, c.Format, c.Interlaced, c.TopFirst, c.Seed);
        ASSERT_TRUE(picture);
        const TFrame expected = ReferenceDeinterlaced(picture.get());
        ASSERT_TRUE(expected);
        bool allocFailed = true;
        const AVFrame* done = deinterlacer.Deinterlace(picture.get(), allocFailed);
        ASSERT_NE(done, nullptr);
        EXPECT_FALSE(allocFailed);
        EXPECT_EQ(done->width, c.Width);
        EXPECT_EQ(done->height, c.Height);
        EXPECT_EQ(done->format, c.Format);
        EXPECT_EQ(done->pts, picture->pts);
        EXPECT_EQ(done->interlaced_frame, 0);
        EXPECT_TRUE(Bytes(done) == Bytes(expected.get()));
        EXPECT_FALSE(Bytes(done) == Bytes(picture.get())); // the fields were blended
        EXPECT_EQ(deinterlacer.GraphsBuilt(), c.GraphsBuilt);
    }
}

TEST_F(MediaDeinterlace, OnePictureOnItsOwnMatchesTheReference) {
    const TFrame picture = Picture(48, 32, AV_PIX_FMT_YUV420P, true, false, 11);
    ASSERT_TRUE(picture);
    bool allocFailed = true;
    const TDeinterlacedFrame done = DeinterlacedPicture(picture.get(), allocFailed);
    ASSERT_TRUE(done);
    EXPECT_FALSE(allocFailed);
    const TFrame expected = ReferenceDeinterlaced(picture.get());
    ASSERT_TRUE(expected);
    EXPECT_TRUE(Bytes(done.get()) == Bytes(expected.get()));
}

// A picture the filter refuses (fewer than three lines) fails without a memory failure; the
// next picture gets a graph of its own.
TEST_F(MediaDeinterlace, ARefusedPictureLeavesTheNextOneWorking) {
    TDeinterlacer deinterlacer;
    const TFrame tiny = Picture(16, 2, AV_PIX_FMT_YUV420P, true, true, 1);
    const TFrame good = Picture(32, 24, AV_PIX_FMT_YUV420P, true, true, 2);
    ASSERT_TRUE(tiny && good);
    bool allocFailed = true;
    EXPECT_EQ(deinterlacer.Deinterlace(tiny.get(), allocFailed), nullptr);
    EXPECT_FALSE(allocFailed);
    const AVFrame* done = deinterlacer.Deinterlace(good.get(), allocFailed);
    ASSERT_NE(done, nullptr);
    const TFrame expected = ReferenceDeinterlaced(good.get());
    ASSERT_TRUE(expected);
    EXPECT_TRUE(Bytes(done) == Bytes(expected.get()));
}

} // namespace
