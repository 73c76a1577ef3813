#include "RunProgress.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "sources/FileFacts.h"

namespace {

constexpr std::array<const char*, 5> JobStatusTexts = {"Waiting", "Converting", "Finish", "Failed",
                                                       "Cancelled"};

constexpr int64_t MsPerDay = 24LL * 60 * 60 * 1000;

TPercent MakePercent(int64_t value) {
    TPercent p;
    p.Known = true;
    p.Value = static_cast<int32_t>(std::clamp<int64_t>(value, 0, 100));
    p.Text = std::to_string(p.Value) + "%";
    return p;
}

TPercent UnknownPercent() {
    TPercent p;
    p.Text = ProgressUnknown;
    return p;
}

// part x 100 div whole for a positive whole. A part beyond the whole is 100% already, so it
// is limited first and the product cannot overflow.
int64_t PercentOf(int64_t part, int64_t whole) {
    return std::clamp<int64_t>(part, 0, whole) * 100 / whole;
}

} // namespace

const char* JobStatusText(TJobStatus status) {
    return status < JobStatusTexts.size() ? JobStatusTexts[status] : "";
}

std::string JobDurationText(int64_t durationUs) {
    return DurationText(durationUs);
}

int64_t AddQueuedDuration(int64_t totalDurationUs, int64_t jobDurationUs) {
    return jobDurationUs < 0 ? totalDurationUs : totalDurationUs + jobDurationUs;
}

int64_t AddFinishedDuration(int64_t doneDurationMs, int64_t jobDurationUs) {
    return jobDurationUs < 0 ? doneDurationMs : doneDurationMs + jobDurationUs / 1000;
}

TJobStatus StatusAfterTerminate(bool finished, bool exception) {
    if (exception)
        return jsFailed;
    return finished ? jsFinish : jsCancelled;
}

TPercent JobPercent(int64_t currentDurationUs, int64_t totalDurationUs) {
    if (totalDurationUs <= 0)
        return UnknownPercent();
    return MakePercent(PercentOf(currentDurationUs, totalDurationUs));
}

int64_t ProcessedDurationMs(const TRunState& run) {
    return run.DoneDurationMs + run.CurrentDurationUs / 1000;
}

TPercent OverallPercent(const TRunState& run) {
    const int64_t totalMs = run.TotalDurationUs / 1000;
    if (totalMs <= 0)
        return UnknownPercent();
    return MakePercent(PercentOf(ProcessedDurationMs(run), totalMs));
}

TRunTimes RunTimes(const TRunState& run) {
    TRunTimes times;
    const int64_t doneMs = ProcessedDurationMs(run);
    if (doneMs <= 0)
        return times;
    const double totalMs = static_cast<double>(run.TotalDurationUs / 1000);
    times.Known = true;
    times.ElapsedDays = run.ElapsedDays;
    times.EstimatedDays = totalMs * run.ElapsedDays / static_cast<double>(doneMs);
    times.LeftDays = times.EstimatedDays - times.ElapsedDays;
    times.Estimated = FormatRunTime(times.EstimatedDays);
    times.Elapsed = FormatRunTime(times.ElapsedDays);
    times.Left = FormatRunTime(times.LeftDays);
    return times;
}

std::string FormatRunTime(double days) {
    if (!std::isfinite(days))
        return LabelAtRest;
    if (days < 0)
        return "0:00:00";
    // Rounding to the millisecond keeps 119.9999... seconds of floating-point arithmetic from
    // showing as 0:01:59. Hours run on past a day: a 25-hour estimate reads 25:00:00.
    const double ms = std::round(days * MsPerDay);
    if (ms >= 1e15) // beyond 30 000 years: no meaningful clock text
        return LabelAtRest;
    const int64_t seconds = static_cast<int64_t>(ms) / 1000;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

double RunClockNow() {
    using Days = std::chrono::duration<double, std::ratio<86400>>;
    return std::chrono::duration_cast<Days>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TRunSummary RunSummary(int32_t jobCount, int32_t finishedCount, int32_t failedCount) {
    const int32_t rest = jobCount - finishedCount - failedCount;
    return {jobCount, finishedCount, failedCount, rest > 0 ? rest : 0};
}

std::string CancelledLine(const TRunSummary& summary) {
    return summary.Cancelled > 0 ? "Cancelled: " + std::to_string(summary.Cancelled) : "";
}
