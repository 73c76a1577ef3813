#include <gtest/gtest.h>

#include <string>

#include "AppLog.h"
#include "brand/PageTexts.h"

namespace {

TEST(PageTexts, OnlyTheFourPagesHaveTexts) {
    for (int page = 0; page < PageCount; ++page)
        EXPECT_EQ(PageTextsOf(page), &PageTextTable[static_cast<size_t>(page)]);
    EXPECT_EQ(PageTextsOf(-1), nullptr);
    EXPECT_EQ(PageTextsOf(PageCount), nullptr);
}

TEST(PageTexts, TitleGoesIntoTheFinishCaptions) {
    EXPECT_EQ(SubstituteTitle(FinishTitle1Caption, "Onsby Audio Converter"),
              "Onsby Audio Converter has finished the conversion.");
    EXPECT_EQ(SubstituteTitle(FinishTitle2Caption, "Onsby Audio Converter"),
              "To convert other files, click \"Finish\". Click \"Exit\" to quit Onsby Audio "
              "Converter.");
    // An empty title leaves the sentence without a name.
    EXPECT_EQ(SubstituteTitle(FinishTitle1Caption, ""), " has finished the conversion.");
    // A title is text: its own format marks are not expanded.
    EXPECT_EQ(SubstituteTitle(FinishTitle1Caption, "100%s %d"),
              "100%s %d has finished the conversion.");
}

TEST(AppLog, LoggerLinesCarryTheUnsignedThreadIdAndTheLevelOrdinal) {
    EXPECT_EQ(FormatLogLine(3000000000u, llError, "x"), "#3000000000.3: x");
    EXPECT_EQ(FormatLogLine(7, llQuiet, ""), "#7.0: ");
    EXPECT_EQ(FormatLogLine(4294967295u, llDebug, "a: b"), "#4294967295.7: a: b");
}

} // namespace
