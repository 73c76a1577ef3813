#include "FormatConverter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavutil/frame.h>
}

#include "FFUtils.h"
#include "binding/AVUtilStubs.h"
#include "binding/SwScaleStubs.h"

namespace {

// Layout of the converter's own pictures. Rows are padded like bitmap rows and wide enough
// for a whole number of 8-pixel groups: the scaler's fast YUV-to-RGB paths write pixels in
// groups of 8 and leave the last pixels of a row unwritten when the line size cannot hold a
// whole group. Spare bytes follow the last row because the fast readers may read a little
// beyond it, as FFmpeg's own frame buffers allow.
constexpr int RowAlignment = 4;
constexpr int PixelGroup = 8;
constexpr int BufferPadding = 64;

// Bicubic, with the chroma of RGB pictures taken at full width: the scaler's half-width
// chroma reader gets the last pixel of odd-width RGB rows wrong.
constexpr int ScaleFlags = SWS_BICUBIC | SWS_FULL_CHR_H_INP;

// The FFmpeg layout of each bitmap format. This platform's mapping of the 15- and 16-bit
// formats: RGB555LE and RGB565LE, red in the high bits of the little-endian word, which is
// how device-independent bitmaps and the toolkits' 16-bit images lay such pixels out (and
// what TPixelFormat describes). FFmpeg's BGR555LE and BGR565LE put blue in the high bits:
// a picture converted into them would show red and blue swapped.
struct TFormatRow {
    int RequestedBits;
    TPixelFormat Format;
    AVPixelFormat PixFmt;
};

constexpr TFormatRow Formats[] = {
    {8, TPixelFormat::pf8bit, AV_PIX_FMT_BGR8},
    {15, TPixelFormat::pf15bit, AV_PIX_FMT_RGB555LE},
    {16, TPixelFormat::pf16bit, AV_PIX_FMT_RGB565LE},
    {24, TPixelFormat::pf24bit, AV_PIX_FMT_BGR24},
    {32, TPixelFormat::pf32bit, AV_PIX_FMT_BGRA},
};

const TFormatRow* FormatRowByBits(int bits) {
    for (const auto& row : Formats)
        if (row.RequestedBits == bits)
            return &row;
    return nullptr;
}

const TFormatRow& FormatRowOf(TPixelFormat format) {
    for (const auto& row : Formats)
        if (row.Format == format)
            return row;
    throw std::logic_error("Unknown bitmap pixel format");
}

// Makes `context` a scaler for a same-size conversion, reusing it when it fits; false when the
// scaler cannot convert between the formats. The formats are checked first because the
// scaler aborts the process on a format it does not know rather than failing.
template <typename TPtr>
bool CacheScaler(TPtr& context, int width, int height, AVPixelFormat from, AVPixelFormat to) {
    if (ff::sws_isSupportedInput(from) <= 0 || ff::sws_isSupportedOutput(to) <= 0) {
        context.reset();
        return false;
    }
    context.reset(ff::sws_getCachedContext(context.release(), width, height, from, width, height,
                                           to, ScaleFlags, nullptr, nullptr, nullptr));
    return context != nullptr;
}

std::string Printf(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

} // namespace

TPicture PictureOf(const AVFrame* frame) {
    TPicture picture;
    for (int i = 0; i < 4; ++i) {
        picture.Data[i] = frame->data[i];
        picture.LineSize[i] = frame->linesize[i];
    }
    return picture;
}

void TFormatConverter::TSwsDeleter::operator()(SwsContext* c) const {
    ff::sws_freeContext(c);
}

void TFormatConverter::TBufferDeleter::operator()(uint8_t* p) const {
    ff::av_free(p);
}

TFormatConverter::TFormatConverter() {
    SetFormat(TPixelFormat::pf24bit);
}

TFormatConverter::~TFormatConverter() = default;

void TFormatConverter::SetFormat(TPixelFormat format) {
    format_ = format;
    Reset();
}

void TFormatConverter::Reset() {
    bitmapInfo_ = TBitmapInfo{};
    picture_ = TPicture{};
    currentPicture_ = TPicture{};
    hasPicture_ = false;
    pictureWidth_ = pictureHeight_ = 0;
    bitsPerPixel_ = PixelFormatBits(format_);
    targetPixFmt_ = FormatRowOf(format_).PixFmt;
    bitmap_.SetPixelFormat(format_);
}

// The stored depth decides whether anything changes: a 15-bit converter stores 16 bits per
// pixel, so asked for 16 bits it stays a 15-bit one (and keeps its picture).
void TFormatConverter::SetBitsPixel(int bitsPixel) {
    if (bitsPixel == bitsPerPixel_)
        return;
    const TFormatRow* row = FormatRowByBits(bitsPixel);
    if (row == nullptr)
        throw std::invalid_argument(Printf("Invalid BitsPixel %d", bitsPixel));
    SetFormat(row->Format);
}

bool TFormatConverter::Fail(const std::string& message) {
    hasPicture_ = false;
    bitmapInfo_ = TBitmapInfo{};
    lastConvertError_ = message;
    return false;
}

bool TFormatConverter::UsableDirectly(const TPicture& picture, AVPixelFormat pixFmt, int width,
                                      int height) const {
    return pixFmt == targetPixFmt_ && width % 2 == 0 && height % 2 == 0 &&
           picture.LineSize[0] == bitmap_.RowSize();
}

bool TFormatConverter::GrowBuffer(int size) {
    if (buffer_ && size <= bufferSize_)
        return true;
    buffer_.reset(static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size))));
    bufferSize_ = buffer_ ? size : 0;
    return buffer_ != nullptr;
}

bool TFormatConverter::ConvertIntoBuffer(const TPicture& picture, AVPixelFormat pixFmt, int width,
                                         int height) {
    const int paddedWidth = FFALIGN(width, PixelGroup);
    const int size = ff::av_image_get_buffer_size(targetPixFmt_, paddedWidth, height, RowAlignment);
    if (size < 0)
        return Fail(Printf("Invalid picture size %dx%d", width, height));
    if (!GrowBuffer(size + BufferPadding))
        return Fail("Not enough memory for the converted picture");
    if (ff::av_image_fill_arrays(picture_.Data, picture_.LineSize, buffer_.get(), targetPixFmt_,
                                 paddedWidth, height, RowAlignment) < 0)
        return Fail(Printf("Invalid picture size %dx%d", width, height));
    if (!CacheScaler(toRGBContext_, width, height, pixFmt, targetPixFmt_))
        return Fail("Cannot initialize the toRGB conversion context");
    const int ret = ff::sws_scale(toRGBContext_.get(), picture.Data, picture.LineSize, 0, height,
                                  picture_.Data, picture_.LineSize);
    if (ret < 0)
        return Fail(FormatErrorMessage("Picture conversion failed", ret));
    return true;
}

bool TFormatConverter::ToRGB(const TPicture& picture, AVPixelFormat pixFmt, int width, int height,
                             bool copyToBitmap) {
    if (ff::av_image_get_buffer_size(targetPixFmt_, width, height, 1) < 0)
        return Fail(Printf("Invalid picture size %dx%d", width, height));
    bitmap_.SetSize(width, height);
    if (UsableDirectly(picture, pixFmt, width, height))
        currentPicture_ = picture;
    else if (ConvertIntoBuffer(picture, pixFmt, width, height))
        currentPicture_ = picture_;
    else
        return false;
    hasPicture_ = true;
    pictureWidth_ = width;
    pictureHeight_ = height;
    bitmapInfo_ = TBitmapInfo{0,
                              width,
                              height,
                              currentPicture_.LineSize[0],
                              1,
                              static_cast<uint16_t>(bitsPerPixel_),
                              currentPicture_.Data[0]};
    if (copyToBitmap)
        CopyToBitmap();
    return true;
}

void TFormatConverter::RequirePicture(const char* operation) const {
    if (!hasPicture_)
        throw std::logic_error(std::string(operation) + " without a current picture");
}

// Both copies move whole rows; the byte count is bounded by both sides' rows, so a bitmap
// that was resized since ToRGB is neither overrun nor read beyond its end.
void TFormatConverter::CopyToBitmap() {
    RequirePicture("CopyToBitmap");
    const int lineSize = currentPicture_.LineSize[0];
    const int rows = std::min(pictureHeight_, bitmap_.Height());
    const size_t bytes = static_cast<size_t>(std::min(
        {std::abs(lineSize), bitmap_.RowSize(), BitmapRowSize(pictureWidth_, bitsPerPixel_)}));
    for (int r = 0; r < rows; ++r)
        std::memcpy(bitmap_.ScanLine(r), currentPicture_.Data[0] + ptrdiff_t{r} * lineSize, bytes);
}

void TFormatConverter::CopyFromBitmap() {
    RequirePicture("CopyFromBitmap");
    const int lineSize = currentPicture_.LineSize[0];
    const int rows = std::min(pictureHeight_, bitmap_.Height());
    const size_t bytes = static_cast<size_t>(std::min(
        {std::abs(lineSize), bitmap_.RowSize(), BitmapRowSize(pictureWidth_, bitsPerPixel_)}));
    for (int r = 0; r < rows; ++r)
        std::memcpy(currentPicture_.Data[0] + ptrdiff_t{r} * lineSize, bitmap_.ScanLine(r), bytes);
}

bool TFormatConverter::FromRGB(const TPicture& picture, AVPixelFormat pixFmt, int width,
                               int height) {
    RequirePicture("FromRGB");
    if (width != pictureWidth_ || height != pictureHeight_) {
        lastConvertError_ = Printf("Picture size %dx%d differs from the converted picture %dx%d",
                                   width, height, pictureWidth_, pictureHeight_);
        return false;
    }
    if (!CacheScaler(fromRGBContext_, width, height, targetPixFmt_, pixFmt)) {
        lastConvertError_ = "Cannot initialize the fromRGB conversion context";
        return false;
    }
    const int ret =
        ff::sws_scale(fromRGBContext_.get(), currentPicture_.Data, currentPicture_.LineSize, 0,
                      height, picture.Data, picture.LineSize);
    if (ret < 0) {
        lastConvertError_ = FormatErrorMessage("Picture conversion failed", ret);
        return false;
    }
    return true;
}
