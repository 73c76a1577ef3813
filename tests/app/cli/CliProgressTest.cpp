// The texts of the command-line display: clock times, bars, the running-file and batch
// lines, and fitting lines to the terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CliProgress.h"

namespace {

TEST(CliClock, HoursAreNotLimitedToADay) {
    const struct {
        double Seconds;
        const char* Text;
    } cases[] = {
        {0, "0:00:00"},    {59.4, "0:00:59"},   {59.6, "0:01:00"},
        {3723, "1:02:03"}, {90000, "25:00:00"}, {-5, "0:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatClock(c.Seconds), c.Text) << c.Seconds;
}

TEST(CliProgressBar, FillsItsShare) {
    EXPECT_EQ(ProgressBar(0, 10), "[----------]");
    EXPECT_EQ(ProgressBar(45, 10), "[####------]");
    EXPECT_EQ(ProgressBar(100, 10), "[##########]");
    EXPECT_EQ(ProgressBar(250, 4), "[####]");
}

TEST(CliLines, RunningFileShowsItsShareAndTimes) {
    EXPECT_EQ(RunningFileLine("song.wav", JobPercent(15000000, 60000000), 15000000, 60000000),
              "[#####---------------]  25%  0:00:15 / 0:01:00  song.wav");
    // A file of unknown length has no share.
    EXPECT_EQ(RunningFileLine("live.ts", JobPercent(2000000, -1), 2000000, -1),
              "[--------------------]  N/A  0:00:02  live.ts");
}

TEST(CliLines, BatchLineBeforeAndAfterProgress) {
    TBatchView view;
    view.Jobs = 10;
    view.Percent = OverallPercent({600000000, 0, 0, 0});
    view.Times = RunTimes({600000000, 0, 0, 5.0 / 86400});
    view.ElapsedDays = 5.0 / 86400;
    EXPECT_EQ(BatchLine(view), "Overall   0%  0/10 files  elapsed 0:00:05  left ...");

    const TRunState run{600000000, 100000, 50000000, 30.0 / 86400};
    view.Ended = 4;
    view.Failed = 1;
    view.Percent = OverallPercent(run);
    view.Times = RunTimes(run);
    view.ElapsedDays = run.ElapsedDays;
    EXPECT_EQ(BatchLine(view), "Overall  25%  4/10 files, 1 failed  elapsed 0:00:30  left 0:01:30");
}

TEST(CliLines, FittingKeepsCharactersWhole) {
    EXPECT_EQ(FitColumns("abcdef", 4), "abcd");
    EXPECT_EQ(FitColumns("abc", 4), "abc");
    EXPECT_EQ(FitColumns("\xc3\xa9t\xc3\xa9-song", 3), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(FitColumns("x", 0), "");
}

TEST(CliDisplay, LinesAndErrorsGoToTheirStreamsAndQuietKeepsErrors) {
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    {
        TCliDisplay loud(out, err, false, false);
        loud.Line("Converted: a");
        loud.Error("Failed: b");
        loud.ShowBlock({"not on a terminal"});
        TCliDisplay quiet(out, err, true, true);
        EXPECT_FALSE(quiet.Live());
        quiet.Line("Converted: c");
        quiet.Error("Failed: d");
    }
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(std::string(outText, outSize), "Converted: a\n");
    EXPECT_EQ(std::string(errText, errSize), "Failed: b\nFailed: d\n");
    std::free(outText);
    std::free(errText);
}

TEST(CliDisplay, LiveBlockIsErasedBeforeOtherLines) {
    char* outText = nullptr;
    size_t outSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    {
        TCliDisplay live(out, out, true, false);
        live.ShowBlock({"one", "two"});
        live.Line("Converted: a");
        live.ShowBlock({"three"});
    }
    std::fclose(out);
    EXPECT_EQ(std::string(outText, outSize), "one\ntwo\n\r\x1b[2A\x1b[J"
                                             "Converted: a\nthree\n\r\x1b[1A\x1b[J");
    std::free(outText);
}

} // namespace
