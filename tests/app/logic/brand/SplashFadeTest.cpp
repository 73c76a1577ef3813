#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "brand/SplashFade.h"

namespace {

TEST(SplashFade, EightyFiveStepsFromLargeToSingle) {
    const std::vector<int> steps = SplashAlphaSteps();
    ASSERT_EQ(steps.size(), 85u);
    EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 10),
              (std::vector<int>{8, 16, 24, 32, 39, 46, 53, 60, 67, 73}));
    EXPECT_EQ(std::vector<int>(steps.end() - 4, steps.end()),
              (std::vector<int>{252, 253, 254, 255}));
    for (size_t i = 1; i < steps.size(); ++i) {
        EXPECT_GT(steps[i], steps[i - 1]);
        if (steps[i - 1] >= 225) {
            EXPECT_EQ(steps[i] - steps[i - 1], 1) << "after " << steps[i - 1];
        }
    }
    EXPECT_EQ(NextSplashAlpha(254), 255);
}

TEST(SplashFade, ColoursArePremultipliedRoundingDown) {
    EXPECT_EQ(MulDiv255(255, 255), 255);
    EXPECT_EQ(MulDiv255(200, 100), 78); // 78.43
    EXPECT_EQ(MulDiv255(254, 1), 0);    // 0.996
    EXPECT_EQ(MulDiv255(0, 255), 0);
    std::vector<uint32_t> pixels = {
        0xff123456, // opaque: unchanged
        0x00ffffff, // transparent: no colour left
        0x80ff8040, // half: 128, 64, 32
        0x64c8c8c8, // 100 / 255 of 200 each: 78
    };
    PremultiplyPixels(pixels.data(), pixels.size());
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0xff123456, 0x00000000, 0x80804020, 0x644e4e4e}));
}

} // namespace
