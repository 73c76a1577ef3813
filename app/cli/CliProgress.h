// What audioconv-cli shows while a batch runs: on a terminal a block of live lines (one per
// running file and one for the whole batch) redrawn in place, and in any case one line per
// finished file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/RunProgress.h"

// Seconds as "h:mm:ss" with as many hours as it takes; a negative time shows as 0:00:00.
std::string FormatClock(double seconds);

// "[####------]" with `width` cells between the brackets for 0 to 100 percent.
std::string ProgressBar(int percent, int width);

// One running file: its bar and percentage (or N/A), the time converted of its length, and
// its name.
std::string RunningFileLine(const std::string& name, const TPercent& percent, int64_t currentUs,
                            int64_t totalUs);

// Where the batch stands.
struct TBatchView {
    int Ended = 0;  // conversions that have ended, in any way
    int Jobs = 0;   // conversions of the batch
    int Failed = 0; // files that failed so far, the ones that could not be queued included
    double ElapsedDays = 0;
    TPercent Percent;
    TRunTimes Times; // the estimate; "..." before anything was processed
};

// "Overall  37%  4/10 files, 1 failed  elapsed 0:00:12  left 0:00:20" ("..." for a time left
// not known yet).
std::string BatchLine(const TBatchView& view);

// What became of the files of a batch.
struct TBatchCounts {
    int Total = 0;
    int Succeeded = 0;
    int Skipped = 0; // outputs that exist and were kept
    int Failed = 0;
    int Cancelled = 0; // stopped or never started after a stop
};

// "Total files: 5  Succeeded: 3  Failed: 1  Time: 0:00:04", with "  Skipped: n" after the
// succeeded ones and "  Cancelled: n" after the failed ones when there are any.
std::string SummaryLine(const TBatchCounts& counts, double seconds);

// `text` cut to at most `columns` characters (UTF-8 sequences are kept whole).
std::string FitColumns(const std::string& text, int columns);

// The program's output streams. Lines for the user go to `out` (unless quiet), error messages
// and log lines to `err`. With `live`, `out` is a terminal on which a block of lines is kept
// at the bottom and redrawn in place; every other line is printed above it.
class TCliDisplay {
public:
    TCliDisplay(std::FILE* out, std::FILE* err, bool live, bool quiet);
    ~TCliDisplay();
    TCliDisplay(const TCliDisplay&) = delete;
    TCliDisplay& operator=(const TCliDisplay&) = delete;

    bool Live() const { return live_; }
    bool Quiet() const { return quiet_; }

    void Line(const std::string& text);    // on `out`, unless quiet
    void Error(const std::string& text);   // on `err`, always
    void LogLine(const std::string& text); // on `err`
    // Replaces the live block (nothing without `live`).
    void ShowBlock(const std::vector<std::string>& lines);
    // Removes the live block from the screen.
    void ClearBlock();

private:
    int Columns() const;

    std::FILE* out_;
    std::FILE* err_;
    bool live_;
    bool quiet_;
    int drawn_ = 0; // lines of the block on the screen
};
