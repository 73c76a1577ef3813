// A small device-independent picture of the media layer: rows stored bottom-up, each padded
// to a multiple of 32 bits, in one of five pixel formats. Front ends turn it into their own
// picture type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Pixel layouts (multi-byte pixels little-endian):
//   pf8bit  one byte, bits (msb) 2 blue, 3 green, 3 red (lsb)
//   pf15bit 16-bit word, (msb) 1 unused, 5 red, 5 green, 5 blue (lsb)
//   pf16bit 16-bit word, (msb) 5 red, 6 green, 5 blue (lsb)
//   pf24bit bytes blue, green, red
//   pf32bit bytes blue, green, red, alpha
enum class TPixelFormat : uint8_t { pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// Storage bits of one pixel: 8, 16, 16, 24, 32.
int PixelFormatBits(TPixelFormat format);

// Bytes of one row of `width` pixels of `bitsPerPixel` bits, rounded up to 32 bits.
int BitmapRowSize(int width, int bitsPerPixel);

class TBitmap {
public:
    TPixelFormat PixelFormat() const { return format_; }
    // A new format clears the pixels.
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return PixelFormatBits(format_); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // A new size clears the pixels. Negative sizes raise std::invalid_argument.
    void SetSize(int width, int height);

    int RowSize() const { return BitmapRowSize(width_, BitsPerPixel()); }
    // Row `row` counted from the top; rows out of range raise std::out_of_range.
    uint8_t* ScanLine(int row);
    const uint8_t* ScanLine(int row) const;
    // The storage: the bottom row first, Height() * RowSize() bytes.
    uint8_t* Bits() { return pixels_.data(); }
    const uint8_t* Bits() const { return pixels_.data(); }
    size_t ByteSize() const { return pixels_.size(); }

    // Held by whoever draws on the pixels or reads them while another thread may change them
    // (the encoder component holds it around every video hook call). A copy has its own lock.
    std::mutex& CanvasLock() const { return canvas_.Mutex; }

private:
    struct TCanvasMutex {
        mutable std::mutex Mutex;
        TCanvasMutex() = default;
        TCanvasMutex(const TCanvasMutex&) {}
        TCanvasMutex& operator=(const TCanvasMutex&) { return *this; }
    };

    void Allocate();
    size_t RowOffset(int row) const;

    TPixelFormat format_ = TPixelFormat::pf24bit;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
    TCanvasMutex canvas_;
};
