#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "jobs/RunProgress.h"

namespace {

constexpr double SecondsToDays(double s) {
    return s / 86400.0;
}

constexpr int64_t Seconds(int64_t s) {
    return s * 1000000;
}

struct TTimesCase {
    const char* Name;
    TRunState Run;
    bool Known;
    const char* Estimated;
    const char* Elapsed;
    const char* Left;
};

void PrintTo(const TTimesCase& c, std::ostream* os) {
    *os << c.Name;
}

class RunTimesCases : public ::testing::TestWithParam<TTimesCase> {};

TEST_P(RunTimesCases, LabelTexts) {
    const TTimesCase& c = GetParam();
    const TRunTimes t = RunTimes(c.Run);
    EXPECT_EQ(t.Known, c.Known);
    EXPECT_EQ(t.Estimated, c.Estimated);
    EXPECT_EQ(t.Elapsed, c.Elapsed);
    EXPECT_EQ(t.Left, c.Left);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunTimesCases,
    ::testing::Values(
        // 600 s queued, 100 s finished, the current job at 50 s: a quarter in 30 s.
        TTimesCase{"quarter",
                   {Seconds(600), 100000, Seconds(50), SecondsToDays(30)},
                   true,
                   "0:02:00",
                   "0:00:30",
                   "0:01:30"},
        // A 25-hour estimate shows all its hours.
        TTimesCase{"day",
                   {Seconds(25 * 3600), 0, Seconds(25 * 1800), SecondsToDays(12.5 * 3600)},
                   true,
                   "25:00:00",
                   "12:30:00",
                   "12:30:00"},
        TTimesCase{"nothing", {Seconds(600), 0, 0, SecondsToDays(5)}, false, "...", "...", "..."},
        TTimesCase{"below_a_millisecond",
                   {Seconds(600), 0, 999, SecondsToDays(5)},
                   false,
                   "...",
                   "...",
                   "..."},
        // More processed than was queued (sources of unknown duration): the estimate is
        // below the elapsed time.
        TTimesCase{"overrun",
                   {Seconds(100), 0, Seconds(200), SecondsToDays(60)},
                   true,
                   "0:00:30",
                   "0:01:00",
                   "0:00:00"}));

TEST(RunProgressTimes, KeepsTheNumbersBehindTheTexts) {
    const TRunTimes t = RunTimes({Seconds(600), 100000, Seconds(50), SecondsToDays(30)});
    EXPECT_NEAR(t.EstimatedDays, SecondsToDays(120), 1e-12);
    EXPECT_NEAR(t.LeftDays, SecondsToDays(90), 1e-12);
    EXPECT_DOUBLE_EQ(t.ElapsedDays, SecondsToDays(30));
}

TEST(RunProgressTimes, FormatRoundsToTheMillisecondAndKeepsHoursPastADay) {
    const struct {
        double Days;
        const char* Text;
    } cases[] = {
        {0, "0:00:00"},
        {SecondsToDays(119.9999999), "0:02:00"},
        {SecondsToDays(59.4), "0:00:59"},
        {SecondsToDays(25 * 3600), "25:00:00"},
        {SecondsToDays(23 * 3600 + 59 * 60 + 59.4), "23:59:59"},
        {SecondsToDays(24 * 3600 - 0.0001), "24:00:00"},
        {SecondsToDays(100 * 3600 + 61), "100:01:01"},
        {SecondsToDays(-1), "0:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatRunTime(c.Days), c.Text) << c.Days;
}

TEST(RunProgressPercent, JobShareLimitedToTheBar) {
    const struct {
        int64_t Current;
        int64_t Total;
        bool Known;
        int32_t Value;
        const char* Text;
    } cases[] = {
        {Seconds(50), Seconds(100), true, 50, "50%"},
        {1, 3, true, 33, "33%"},
        {0, Seconds(100), true, 0, "0%"},
        {Seconds(150), Seconds(100), true, 100, "100%"},
        {-Seconds(5), Seconds(100), true, 0, "0%"},
        {std::numeric_limits<int64_t>::max() / 10, 1000, true, 100, "100%"},
        {Seconds(10), 0, false, 0, "N/A"},
        {Seconds(10), -1, false, 0, "N/A"},
    };
    for (const auto& c : cases) {
        const TPercent p = JobPercent(c.Current, c.Total);
        EXPECT_EQ(p.Known, c.Known) << c.Current << "/" << c.Total;
        EXPECT_EQ(p.Value, c.Value) << c.Current << "/" << c.Total;
        EXPECT_EQ(p.Text, c.Text) << c.Current << "/" << c.Total;
    }
}

TEST(RunProgressPercent, OverallShareOfTheQueuedDuration) {
    EXPECT_EQ(OverallPercent({Seconds(600), 100000, Seconds(50), 0}).Text, "25%");
    EXPECT_EQ(OverallPercent({Seconds(100), 90000, Seconds(50), 0}).Text, "100%");
    const TPercent none = OverallPercent({999, 0, Seconds(50), 0});
    EXPECT_FALSE(none.Known);
    EXPECT_EQ(none.Text, "N/A");
}

TEST(RunProgressTotals, UnknownDurationsCountNothing) {
    EXPECT_EQ(AddQueuedDuration(Seconds(10), Seconds(5)), Seconds(15));
    EXPECT_EQ(AddQueuedDuration(Seconds(10), -1), Seconds(10));
    EXPECT_EQ(AddQueuedDuration(Seconds(10), 0), Seconds(10));
    EXPECT_EQ(AddFinishedDuration(100, 2999), 102);
    EXPECT_EQ(AddFinishedDuration(100, -1), 100);
    EXPECT_EQ(ProcessedDurationMs({0, 100, 2999, 0}), 102);
}

TEST(RunProgressStatus, TextsAndTermination) {
    EXPECT_STREQ(JobStatusText(jsWaiting), "Waiting");
    EXPECT_STREQ(JobStatusText(jsConverting), "Converting");
    EXPECT_STREQ(JobStatusText(jsFinish), "Finish");
    EXPECT_STREQ(JobStatusText(jsFailed), "Failed");
    EXPECT_STREQ(JobStatusText(jsCancelled), "Cancelled");
    const struct {
        bool Finished;
        bool Exception;
        TJobStatus After;
    } cases[] = {
        {true, false, jsFinish},
        {false, true, jsFailed},
        {true, true, jsFailed},
        {false, false, jsCancelled}, // stopped, or never started
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusAfterTerminate(c.Finished, c.Exception), c.After)
            << c.Finished << c.Exception;
}

TEST(RunProgressStatus, DurationTextAndSummary) {
    EXPECT_EQ(JobDurationText(-1), "Duration is not preseted");
    EXPECT_EQ(JobDurationText(3723456789LL), "01:02:03.456");
    const TRunSummary s = RunSummary(3, 2, 1);
    EXPECT_EQ(s.Total, 3);
    EXPECT_EQ(s.Successed, 2);
    EXPECT_EQ(s.Failed, 1);
    EXPECT_EQ(s.Cancelled, 0);
    EXPECT_EQ(CancelledLine(s), "");
    // Five queued, two finished, one failed, the rest cancelled: neither successes nor
    // failures, and said in a line of their own.
    const TRunSummary cancelled = RunSummary(5, 2, 1);
    EXPECT_EQ(cancelled.Successed, 2);
    EXPECT_EQ(cancelled.Failed, 1);
    EXPECT_EQ(cancelled.Cancelled, 2);
    EXPECT_EQ(CancelledLine(cancelled), "Cancelled: 2");
}

} // namespace
