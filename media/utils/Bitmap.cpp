#include "Bitmap.h"

#include <cstdint>
#include <stdexcept>
#include <string>

int PixelFormatBits(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
        return 32;
    }
    return 0;
}

int BitmapRowSize(int width, int bitsPerPixel) {
    const int64_t bits = static_cast<int64_t>(width) * bitsPerPixel;
    return static_cast<int>((bits + 31) / 32 * 4);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_)
        return;
    format_ = format;
    Allocate();
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0 || height < 0 || static_cast<int64_t>(width) * 32 > INT32_MAX)
        throw std::invalid_argument("Invalid bitmap size " + std::to_string(width) + "x" +
                                    std::to_string(height));
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    Allocate();
}

void TBitmap::Allocate() {
    pixels_.assign(static_cast<size_t>(RowSize()) * static_cast<size_t>(height_), 0);
}

size_t TBitmap::RowOffset(int row) const {
    if (row < 0 || row >= height_)
        throw std::out_of_range("Scan line index out of range");
    return static_cast<size_t>(height_ - 1 - row) * static_cast<size_t>(RowSize());
}

uint8_t* TBitmap::ScanLine(int row) {
    return pixels_.data() + RowOffset(row);
}

const uint8_t* TBitmap::ScanLine(int row) const {
    return pixels_.data() + RowOffset(row);
}
