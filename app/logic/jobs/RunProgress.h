// The arithmetic of a conversion run: job status texts, the run totals, the per-job and
// overall percentages and the estimated, elapsed and remaining times with their texts.
#pragma once

#include <cstdint>
#include <string>

// What a conversion-list item's Status column shows.
enum TJobStatus : uint8_t {
    jsWaiting = 0,
    jsConverting = 1,
    jsFinish = 2,
    jsFailed = 3,
    jsCancelled = 4, // stopped by a cancel before it could finish
};

// The Status text of `status`.
const char* JobStatusText(TJobStatus status);

// The value labels of the status group at rest, and the Progress texts of a job.
inline constexpr const char* LabelAtRest = "...";
inline constexpr const char* ProgressAtRest = "0%";
inline constexpr const char* ProgressUnknown = "N/A";
inline constexpr const char* ProgressDone = "100%";

// The conversion list's Duration text of a job: the same text the source list shows.
std::string JobDurationText(int64_t durationUs);

// `TotalDurationUs` after queueing a job of `jobDurationUs` (an unknown, negative, duration
// adds nothing).
int64_t AddQueuedDuration(int64_t totalDurationUs, int64_t jobDurationUs);
// `DoneDurationMs` after a job of `jobDurationUs` finished (an unknown duration adds nothing).
int64_t AddFinishedDuration(int64_t doneDurationMs, int64_t jobDurationUs);

// A job's Status after its termination: "Finish" when it finished, "Failed" when it raised
// (also after finishing), "Cancelled" when it was stopped or never ran.
TJobStatus StatusAfterTerminate(bool finished, bool exception);

// A percentage as the progress bar shows it (0 to 100), or none when the total is unknown.
struct TPercent {
    bool Known = false;
    int32_t Value = 0; // 0 to 100
    std::string Text;  // Value + "%", or "N/A" when not known
};

// The running job's share done: (current x 100) div total, limited to 0 to 100; unknown when
// the job's total duration is not positive.
TPercent JobPercent(int64_t currentDurationUs, int64_t totalDurationUs);

// Where a run stands at one progress report. Several running jobs add their current
// durations.
struct TRunState {
    int64_t TotalDurationUs = 0;   // known source durations of the queued jobs
    int64_t DoneDurationMs = 0;    // source durations of the finished jobs
    int64_t CurrentDurationUs = 0; // processed part of the running job
    double ElapsedDays = 0;        // time since the run started, a day count
};

// The processed duration of the run in milliseconds: done + current div 1000.
int64_t ProcessedDurationMs(const TRunState& run);

// The whole run's share done, limited to 0 to 100; unknown while no queued duration is known.
TPercent OverallPercent(const TRunState& run);

// The three run times, day counts, and their label texts. Before anything was processed
// the estimate has no value: `Known` is false and the three texts are "...".
struct TRunTimes {
    bool Known = false;
    double EstimatedDays = 0; // total x elapsed / processed
    double ElapsedDays = 0;
    double LeftDays = 0; // estimated - elapsed; may be negative
    std::string Estimated = LabelAtRest;
    std::string Elapsed = LabelAtRest;
    std::string Left = LabelAtRest;
};

TRunTimes RunTimes(const TRunState& run);

// A day count as "h:nn:ss": the whole hours without a leading zero (not wrapped at a day),
// two-digit minutes and seconds, rounded to the millisecond first. A negative time shows as
// "0:00:00".
std::string FormatRunTime(double days);

// The time now as a day count, for `ElapsedDays` (now - start). Taken from a steady clock:
// only differences are meaningful, and they do not jump when the wall clock is changed or
// daylight saving time begins or ends.
double RunClockNow();

// The summary page's counts.
struct TRunSummary {
    int32_t Total = 0;
    int32_t Successed = 0;
    int32_t Failed = 0;
    int32_t Cancelled = 0; // stopped or never started: the rest of the items
};

// `jobCount` conversion-list items of which `finishedCount` finished and `failedCount` failed;
// a cancelled job is neither: every other item of an ended run was cancelled.
TRunSummary RunSummary(int32_t jobCount, int32_t finishedCount, int32_t failedCount);

// The summary's line of cancelled jobs, "Cancelled: N"; empty when none was.
std::string CancelledLine(const TRunSummary& summary);
