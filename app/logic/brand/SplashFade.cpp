#include "SplashFade.h"

#include <array>

namespace {

using TMulTable = std::array<std::array<uint8_t, 256>, 256>;

const TMulTable& MulTable() {
    static const TMulTable table = [] {
        TMulTable t{};
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 256; ++y)
                t[x][y] = static_cast<uint8_t>(x * y / 255);
        return t;
    }();
    return table;
}

} // namespace

int NextSplashAlpha(int alpha) {
    return alpha + (255 - alpha) / 32 + 1;
}

std::vector<int> SplashAlphaSteps() {
    std::vector<int> steps;
    for (int alpha = 0; alpha < 255;) {
        alpha = NextSplashAlpha(alpha);
        steps.push_back(alpha);
    }
    return steps;
}

uint8_t MulDiv255(uint8_t x, uint8_t y) {
    return MulTable()[x][y];
}

void PremultiplyPixels(uint32_t* pixels, size_t count) {
    const TMulTable& table = MulTable();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        const auto& row = table[p >> 24];
        pixels[i] = (p & 0xff000000u) | static_cast<uint32_t>(row[(p >> 16) & 0xff]) << 16 |
                    static_cast<uint32_t>(row[(p >> 8) & 0xff]) << 8 | row[p & 0xff];
    }
}
