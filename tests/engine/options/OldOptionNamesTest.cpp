// The translation of old libx264 option lines into today's settings, on a vocabulary that
// the test chooses.
#include <gtest/gtest.h>

#include <set>

#include "options/OldOptionNames.h"

namespace {

struct TOldLineCase {
    const char* Name;
    const char* Value;
    const char* Expected; // DescribeSettings of the translation; null: no translation
};

// Today's vocabulary as far as the cases need it: "subq" and "me_method" are still known,
// "fast" is still a word of flags2.
TOptionVocabulary Vocabulary() {
    TOptionVocabulary v;
    v.NameKnown = [](const std::string& name) {
        static const std::set<std::string> known = {"subq", "me_method", "flags2", "partitions"};
        return known.count(name) > 0;
    };
    v.FlagKnown = [](const std::string& option, const std::string& word) {
        return option == "flags2" && word == "fast";
    };
    return v;
}

class OldOptionLine : public ::testing::TestWithParam<TOldLineCase> {};

TEST_P(OldOptionLine, BecomesTodaysSettings) {
    const TOldLineCase& c = GetParam();
    const auto settings = TranslateOldOption(c.Name, c.Value, Vocabulary());
    if (c.Expected == nullptr) {
        EXPECT_FALSE(settings.has_value()) << DescribeSettings(*settings);
        return;
    }
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(DescribeSettings(*settings), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OldOptionLine,
    ::testing::Values(
        TOldLineCase{"directpred", "3", "direct-pred=3"}, TOldLineCase{"cqp", "0", "qp=0"},
        TOldLineCase{"wpredp", "2", "weightp=2"}, TOldLineCase{"aq_mode", "1", "aq-mode=1"},
        TOldLineCase{"rc_lookahead", "30", "rc-lookahead=30"},
        // Still known today: taken as it is.
        TOldLineCase{"me_method", "hex", nullptr}, TOldLineCase{"qmin", "10", nullptr},
        TOldLineCase{"flags2", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree",
                     "b-pyramid=normal mixed-refs=0 weightb=1 8x8dct=0 fast-pskip=1 mbtree=0"},
        TOldLineCase{"flags2", "-bpyramid", "b-pyramid=none"},
        TOldLineCase{"flags2", "dct8x8", "8x8dct=1"},
        // Today's words stay on flags2, before the translated ones.
        TOldLineCase{"flags2", "+fast-wpred", "flags2=+fast weightb=0"},
        TOldLineCase{"flags2", "+fast", nullptr},
        // A word of neither generation stays for the store to reject.
        TOldLineCase{"flags2", "+nosuchword+dct8x8", "flags2=+nosuchword 8x8dct=1"},
        TOldLineCase{"flags2", "+nosuchword", nullptr},
        TOldLineCase{"partitions", "+parti8x8+parti4x4+partp8x8+partb8x8",
                     "partitions=i8x8,i4x4,p8x8,b8x8"},
        TOldLineCase{"partitions", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8",
                     "partitions=i4x4,p8x8"},
        TOldLineCase{"partitions", "-parti8x8-parti4x4-partp8x8-partb8x8", "partitions=none"},
        // Today's list form is no old line.
        TOldLineCase{"partitions", "i8x8,p8x8", nullptr},
        TOldLineCase{"partitions", "+parti8x8+i4x4", nullptr}));

TEST(OldOptionNames, TheTableIsLibx264s) {
    EXPECT_TRUE(TranslatedEncoder("libx264"));
    EXPECT_TRUE(TranslatedEncoder("LIBX264RGB"));
    EXPECT_FALSE(TranslatedEncoder("mpeg4"));
    EXPECT_FALSE(TranslatedEncoder("libx265"));
}

} // namespace
