// Moves pictures between FFmpeg's pixel formats and a TBitmap, for the video hooks and the
// preview: ToRGB converts (or adopts) a picture in the bitmap's pixel layout, the bitmap
// copies hold it as rows of the bitmap, and FromRGB converts it back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Bitmap.h"

struct AVFrame;
struct SwsContext;

// Plane pointers and line sizes of a picture (a line size may be negative: rows upwards).
struct TPicture {
    uint8_t* Data[4] = {};
    int LineSize[4] = {};
};

// The first four planes of a frame.
TPicture PictureOf(const AVFrame* frame);

// The current picture in the layout of a platform bitmap header.
struct TBitmapInfo {
    int32_t Type = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t WidthBytes = 0; // the picture's first line size
    uint16_t Planes = 0;
    uint16_t BitsPixel = 0;
    uint8_t* Bits = nullptr; // the picture's first plane
};

class TFormatConverter {
public:
    TFormatConverter();
    ~TFormatConverter();
    TFormatConverter(const TFormatConverter&) = delete;
    TFormatConverter& operator=(const TFormatConverter&) = delete;

    // 8, 15, 16, 24 or 32; another value raises std::invalid_argument "Invalid BitsPixel %d"
    // and keeps the format. A change forgets the current picture.
    void SetBitsPixel(int bitsPixel);
    int BitsPerPixel() const { return bitsPerPixel_; }
    AVPixelFormat TargetPixFmt() const { return targetPixFmt_; }

    // Makes `picture` the current picture in the bitmap's pixel layout: adopted as it is when
    // it already has that layout, else converted into the converter's own buffer. Sizes the
    // bitmap and, with `copyToBitmap`, copies the picture into it. False with
    // LastConvertError set when the conversion cannot be done.
    bool ToRGB(const TPicture& picture, AVPixelFormat pixFmt, int width, int height,
               bool copyToBitmap);
    // Current picture -> bitmap rows, and back. Without a current picture they raise
    // std::logic_error.
    void CopyToBitmap();
    void CopyFromBitmap();
    // Converts the current picture into `picture` of the given format; the size must be the
    // current picture's. False with LastConvertError set on failure; std::logic_error without
    // a current picture.
    bool FromRGB(const TPicture& picture, AVPixelFormat pixFmt, int width, int height);

    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }
    const TBitmapInfo& BitmapInfo() const { return bitmapInfo_; }
    // Null after a reset or a failed conversion.
    const TPicture* CurrentPicture() const { return hasPicture_ ? &currentPicture_ : nullptr; }
    const std::string& LastConvertError() const { return lastConvertError_; }

private:
    struct TSwsDeleter {
        void operator()(SwsContext* c) const;
    };
    struct TBufferDeleter {
        void operator()(uint8_t* p) const;
    };
    using TSwsPtr = std::unique_ptr<SwsContext, TSwsDeleter>;

    void SetFormat(TPixelFormat format);
    void Reset();
    bool Fail(const std::string& message);
    bool UsableDirectly(const TPicture& picture, AVPixelFormat pixFmt, int width, int height) const;
    bool ConvertIntoBuffer(const TPicture& picture, AVPixelFormat pixFmt, int width, int height);
    bool GrowBuffer(int size);
    void RequirePicture(const char* operation) const;

    TPixelFormat format_ = TPixelFormat::pf24bit;
    int bitsPerPixel_ = 24;
    AVPixelFormat targetPixFmt_ = AV_PIX_FMT_BGR24;
    TBitmap bitmap_;
    TBitmapInfo bitmapInfo_;
    std::unique_ptr<uint8_t, TBufferDeleter> buffer_;
    int bufferSize_ = 0;
    TPicture picture_; // the converted picture inside buffer_
    TPicture currentPicture_;
    bool hasPicture_ = false;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
    TSwsPtr toRGBContext_;
    TSwsPtr fromRGBContext_;
    std::string lastConvertError_;
};
