// The bitmap's row layout and the picture converter: conversion into each bitmap format,
// adopting pictures that already fit, the copies between picture and bitmap, and the way back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "binding/AVUtilStubs.h"
#include "utils/FFUtils.h"

namespace {

class FFUtilsConverter : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
    }
};

// A picture over its own storage, laid out by FFmpeg with the given row alignment. The
// storage is padded at the end, as FFmpeg's frame buffers are: its optimised readers may
// read a little beyond the last row.
struct TTestPicture {
    TTestPicture(AVPixelFormat fmt, int w, int h, int align) : Format(fmt), Width(w), Height(h) {
        const int size = ff::av_image_get_buffer_size(fmt, w, h, align);
        EXPECT_GT(size, 0);
        Storage.assign(static_cast<size_t>(size) + 64, 0);
        EXPECT_GE(
            ff::av_image_fill_arrays(Pic.Data, Pic.LineSize, Storage.data(), fmt, w, h, align), 0);
    }
    uint8_t* Row(int plane, int y) { return Pic.Data[plane] + y * Pic.LineSize[plane]; }

    AVPixelFormat Format;
    int Width, Height;
    std::vector<uint8_t> Storage;
    TPicture Pic;
};

// Luma rising to the right and downwards, chroma close to grey so no colour is clipped.
TTestPicture GradientYUV(int w, int h) {
    TTestPicture p(AV_PIX_FMT_YUV420P, w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Row(0, y)[x] = static_cast<uint8_t>(60 + (140 * (x + y * w)) / (w * h));
    for (int y = 0; y < (h + 1) / 2; ++y) {
        std::memset(p.Row(1, y), 120, static_cast<size_t>((w + 1) / 2));
        std::memset(p.Row(2, y), 136, static_cast<size_t>((w + 1) / 2));
    }
    return p;
}

// A BGR24 picture whose every byte tells its row and column apart.
TTestPicture PatternBGR24(int w, int h, int align) {
    TTestPicture p(AV_PIX_FMT_BGR24, w, h, align);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < 3 * w; ++i)
            p.Row(0, y)[i] = static_cast<uint8_t>(16 * y + i + 1);
    return p;
}

TEST(FFUtilsBitmap, RowsArePaddedTo32BitsAndStoredBottomUp) {
    const struct {
        TPixelFormat Format;
        int Width;
        int RowSize;
    } cases[] = {
        {TPixelFormat::pf8bit, 1, 4},   {TPixelFormat::pf8bit, 5, 8},
        {TPixelFormat::pf15bit, 3, 8},  {TPixelFormat::pf16bit, 1, 4},
        {TPixelFormat::pf16bit, 3, 8},  {TPixelFormat::pf24bit, 1, 4},
        {TPixelFormat::pf24bit, 3, 12}, {TPixelFormat::pf24bit, 4, 12},
        {TPixelFormat::pf32bit, 3, 12},
    };
    for (const auto& c : cases) {
        TBitmap bmp;
        bmp.SetPixelFormat(c.Format);
        bmp.SetSize(c.Width, 3);
        EXPECT_EQ(bmp.RowSize(), c.RowSize) << c.Width << " px, " << bmp.BitsPerPixel() << " bit";
        EXPECT_EQ(bmp.ByteSize(), size_t(3 * c.RowSize));
        EXPECT_EQ(bmp.ScanLine(2), bmp.Bits()); // bottom row first in storage
        EXPECT_EQ(bmp.ScanLine(0), bmp.Bits() + 2 * c.RowSize);
    }
    TBitmap bmp;
    bmp.SetSize(2, 2);
    EXPECT_THROW(bmp.ScanLine(2), std::out_of_range);
    EXPECT_THROW(bmp.SetSize(-1, 2), std::invalid_argument);
}

// Pure red converted into each bitmap format, and the row layout the converter reports.
TEST_F(FFUtilsConverter, ConvertsIntoEachBitmapFormat) {
    const struct {
        int Bits;
        TPixelFormat Format;
        int StorageBits;
        int RowSize; // bitmap row of 3 pixels
        std::vector<uint8_t> Red;
    } cases[] = {
        {8, TPixelFormat::pf8bit, 8, 4, {0x07}},
        // This platform's mapping: red in the high bits of the 15- and 16-bit words
        // (RGB555LE, RGB565LE); blue there would be red and blue swapped on screen.
        {15, TPixelFormat::pf15bit, 16, 8, {0x00, 0x7C}},
        {16, TPixelFormat::pf16bit, 16, 8, {0x00, 0xF8}},
        {24, TPixelFormat::pf24bit, 24, 12, {0x00, 0x00, 0xFF}},
        {32, TPixelFormat::pf32bit, 32, 12, {0x00, 0x00, 0xFF, 0xFF}},
    };
    TTestPicture red(AV_PIX_FMT_BGR24, 3, 2, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            red.Row(0, y)[3 * x + 2] = 0xFF;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bits);
        TFormatConverter conv;
        conv.SetBitsPixel(c.Bits);
        ASSERT_TRUE(conv.ToRGB(red.Pic, red.Format, 3, 2, true)) << conv.LastConvertError();
        EXPECT_EQ(conv.Bitmap().PixelFormat(), c.Format);
        EXPECT_EQ(conv.Bitmap().Width(), 3);
        EXPECT_EQ(conv.Bitmap().Height(), 2);
        const TBitmapInfo& info = conv.BitmapInfo();
        EXPECT_EQ(info.Type, 0);
        EXPECT_EQ(info.Width, 3);
        EXPECT_EQ(info.Height, 2);
        EXPECT_EQ(info.Planes, 1);
        EXPECT_EQ(info.BitsPixel, c.StorageBits);
        EXPECT_EQ(info.WidthBytes, conv.CurrentPicture()->LineSize[0]);
        EXPECT_GE(info.WidthBytes, c.RowSize);
        EXPECT_EQ(conv.Bitmap().RowSize(), c.RowSize);
        EXPECT_EQ(info.Bits, conv.CurrentPicture()->Data[0]);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const uint8_t* px = conv.Bitmap().ScanLine(y) + x * c.Red.size();
                EXPECT_EQ(std::vector<uint8_t>(px, px + c.Red.size()), c.Red) << x << "," << y;
            }
    }
}

TEST_F(FFUtilsConverter, OddWidthPictureIsConvertedEvenInTheTargetFormat) {
    TTestPicture src = PatternBGR24(3, 2, 4); // line size 12, the bitmap's row size
    TFormatConverter conv;
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 3, 2, true)) << conv.LastConvertError();
    ASSERT_NE(conv.CurrentPicture(), nullptr);
    EXPECT_NE(conv.CurrentPicture()->Data[0], src.Pic.Data[0]);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(
            0, std::memcmp(conv.CurrentPicture()->Data[0] + y * conv.CurrentPicture()->LineSize[0],
                           src.Row(0, y), 9));
        EXPECT_EQ(0, std::memcmp(conv.Bitmap().ScanLine(y), src.Row(0, y), 9)) << y;
    }
}

TEST_F(FFUtilsConverter, FittingPictureIsAdoptedAndCopiedTopRowFirst) {
    TTestPicture src = PatternBGR24(4, 2, 4); // line size 12 = row size of 4 pixels
    TFormatConverter conv;
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 4, 2, true));
    EXPECT_EQ(conv.CurrentPicture()->Data[0], src.Pic.Data[0]);
    EXPECT_EQ(conv.BitmapInfo().Bits, src.Pic.Data[0]);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0, std::memcmp(conv.Bitmap().ScanLine(y), src.Row(0, y), 12)) << y;
}

// What a video hook does: edit the bitmap, copy it back, convert to the stream's format.
TEST_F(FFUtilsConverter, EditedBitmapReachesTheDestinationPicture) {
    TTestPicture src = PatternBGR24(3, 2, 1);
    TFormatConverter conv;
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 3, 2, true));
    uint8_t* row1 = conv.Bitmap().ScanLine(1);
    row1[0] = 0xAB;
    row1[8] = 0xCD;
    conv.CopyFromBitmap();
    TTestPicture dst(AV_PIX_FMT_BGR24, 3, 2, 1);
    ASSERT_TRUE(conv.FromRGB(dst.Pic, AV_PIX_FMT_BGR24, 3, 2)) << conv.LastConvertError();
    std::vector<uint8_t> expected(src.Row(0, 1), src.Row(0, 1) + 9);
    expected[0] = 0xAB;
    expected[8] = 0xCD;
    EXPECT_EQ(std::vector<uint8_t>(dst.Row(0, 1), dst.Row(0, 1) + 9), expected);
    EXPECT_EQ(0, std::memcmp(dst.Row(0, 0), src.Row(0, 0), 9));
}

// Widths that are no whole number of 8-pixel groups, which the scaler's fast paths must
// still convert to the last pixel; odd heights take its general path.
TEST_F(FFUtilsConverter, RoundTripThroughFromRGBKeepsThePicture) {
    const struct {
        int Bits, Width, Height;
    } cases[] = {{24, 17, 10}, {32, 17, 10}, {24, 18, 9}, {32, 3, 2}, {32, 19, 12}};
    TFormatConverter conv; // one converter: its buffer and scalers are reused and replaced
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Bits << " bit " << c.Width << "x" << c.Height);
        TTestPicture src = GradientYUV(c.Width, c.Height);
        conv.SetBitsPixel(c.Bits);
        ASSERT_TRUE(conv.ToRGB(src.Pic, src.Format, c.Width, c.Height, false))
            << conv.LastConvertError();
        TTestPicture back(AV_PIX_FMT_YUV420P, c.Width, c.Height, 1);
        ASSERT_TRUE(conv.FromRGB(back.Pic, back.Format, c.Width, c.Height))
            << conv.LastConvertError();
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane == 0 ? c.Width : (c.Width + 1) / 2;
            const int h = plane == 0 ? c.Height : (c.Height + 1) / 2;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    EXPECT_LE(std::abs(back.Row(plane, y)[x] - src.Row(plane, y)[x]), 3)
                        << "plane " << plane << " at " << x << "," << y;
        }
    }
}

TEST_F(FFUtilsConverter, ConversionFailuresAreReportedNotThrown) {
    TTestPicture src = PatternBGR24(4, 2, 4);
    TFormatConverter conv;
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 4, 2, false));
    TTestPicture dst(AV_PIX_FMT_BGR24, 4, 2, 1);
    EXPECT_FALSE(conv.FromRGB(dst.Pic, AV_PIX_FMT_NONE, 4, 2));
    EXPECT_EQ(conv.LastConvertError(), "Cannot initialize the fromRGB conversion context");
    EXPECT_NE(conv.CurrentPicture(), nullptr);
    EXPECT_FALSE(conv.FromRGB(dst.Pic, AV_PIX_FMT_BGR24, 4, 4)); // larger than the picture

    EXPECT_FALSE(conv.ToRGB(src.Pic, AV_PIX_FMT_NONE, 4, 2, true));
    EXPECT_EQ(conv.LastConvertError(), "Cannot initialize the toRGB conversion context");
    EXPECT_EQ(conv.CurrentPicture(), nullptr);
    EXPECT_EQ(conv.BitmapInfo().Bits, nullptr);
    EXPECT_THROW(conv.CopyToBitmap(), std::logic_error);
    EXPECT_THROW(conv.CopyFromBitmap(), std::logic_error);
    EXPECT_THROW(conv.FromRGB(dst.Pic, AV_PIX_FMT_BGR24, 4, 2), std::logic_error);

    EXPECT_FALSE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 0, 2, true));
    EXPECT_EQ(conv.CurrentPicture(), nullptr);
}

TEST_F(FFUtilsConverter, SetBitsPixelSelectsTheFormatOrRefuses) {
    TFormatConverter conv;
    EXPECT_EQ(conv.BitsPerPixel(), 24);
    EXPECT_EQ(conv.TargetPixFmt(), AV_PIX_FMT_BGR24);
    try {
        conv.SetBitsPixel(12);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid BitsPixel 12");
    }
    EXPECT_EQ(conv.BitsPerPixel(), 24);

    TTestPicture src = PatternBGR24(4, 2, 4);
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 4, 2, false));
    conv.SetBitsPixel(24); // no change keeps the picture
    EXPECT_NE(conv.CurrentPicture(), nullptr);

    conv.SetBitsPixel(15);
    EXPECT_EQ(conv.CurrentPicture(), nullptr);
    EXPECT_EQ(conv.BitsPerPixel(), 16);
    EXPECT_EQ(conv.Bitmap().PixelFormat(), TPixelFormat::pf15bit);
    EXPECT_EQ(conv.TargetPixFmt(), AV_PIX_FMT_RGB555LE);
    // A 15-bit converter stores 16 bits per pixel: asked for 16 it stays 15-bit, picture
    // and all.
    ASSERT_TRUE(conv.ToRGB(src.Pic, AV_PIX_FMT_BGR24, 4, 2, false));
    conv.SetBitsPixel(16);
    EXPECT_EQ(conv.Bitmap().PixelFormat(), TPixelFormat::pf15bit);
    EXPECT_EQ(conv.TargetPixFmt(), AV_PIX_FMT_RGB555LE);
    EXPECT_NE(conv.CurrentPicture(), nullptr);
    // Asked for 15 again, a 16-bit converter does turn into a 15-bit one.
    conv.SetBitsPixel(24);
    conv.SetBitsPixel(16);
    EXPECT_EQ(conv.Bitmap().PixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(conv.TargetPixFmt(), AV_PIX_FMT_RGB565LE);
    conv.SetBitsPixel(15);
    EXPECT_EQ(conv.Bitmap().PixelFormat(), TPixelFormat::pf15bit);
}

} // namespace
