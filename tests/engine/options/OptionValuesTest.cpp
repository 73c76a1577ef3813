// The value kinds of the option table.
#include <climits>

#include "EngineTestEnv.h"
#include "options/OptionValues.h"

namespace {

TEST(EngineOptionValues, FlagIsTrueUnlessExactlyZero) {
    EXPECT_TRUE(OptionFlag(""));
    EXPECT_TRUE(OptionFlag("1"));
    EXPECT_TRUE(OptionFlag("00"));
    EXPECT_FALSE(OptionFlag("0"));
}

TEST(EngineOptionValues, IntegersAreStrictAndRangeChecked) {
    struct {
        const char* Text;
        bool Valid;
        int Value;
    } const cases[] = {
        {"42", true, 42},
        {"-7", true, -7},
        {"+7", true, 7},
        {"  12", true, 12},
        {"$1F", true, 31},
        {"0x1f", true, 31},
        {"2147483647", true, INT_MAX},
        {"-2147483648", true, INT_MIN},
        {"2147483648", false, 0},
        {"12 ", false, 0},
        {"1.5", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"0x", false, 0},
        {"abc", false, 0},
    };
    for (const auto& c : cases) {
        int v = 0;
        EXPECT_EQ(TryStrToInt(c.Text, v), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
    int64_t big = 0;
    EXPECT_TRUE(TryStrToInt64("9223372036854775807", big));
    EXPECT_EQ(big, INT64_MAX);
    EXPECT_FALSE(TryStrToInt64("9223372036854775808", big));
}

// Presets write "aq=4.97": a decimal point is accepted whatever the locale's separator.
TEST(EngineOptionValues, FloatsTakeThePointAndTheLocaleSeparator) {
    float f = 0;
    EXPECT_TRUE(TryStrToFloat("4.97", ',', f));
    EXPECT_EQ(f, 4.97f);
    EXPECT_TRUE(TryStrToFloat("4,97", ',', f));
    EXPECT_EQ(f, 4.97f);
    EXPECT_FALSE(TryStrToFloat("4,97", '.', f));
    EXPECT_TRUE(TryStrToFloat(" -1e2 ", '.', f));
    EXPECT_EQ(f, -100.0f);
    for (const char* bad : {"", "x", "1.2.3", "inf", "nan", "1e999", "--1"})
        EXPECT_FALSE(TryStrToFloat(bad, '.', f)) << bad;
}

TEST(EngineOptionValues, MalformedNumbersRaiseConversionErrors) {
    EXPECT_THROW(OptionInt("x"), EConvertError);
    EXPECT_THROW(OptionInt64("x"), EConvertError);
    EXPECT_THROW(OptionFloat("x"), EConvertError);
}

} // namespace
