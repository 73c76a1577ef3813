// The JSON Lines report of a batch (--report): one object per source as it ends, then one
// summary object. Every line reaches the file in one write on a descriptor opened for
// appending, so a crash or a kill leaves only whole lines, and several tasks may share a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "CliJobList.h"

struct TBatchCounts;

// How one source ended.
struct TReportItem {
    std::string Source;
    std::string Output; // empty when no output was planned
    std::string Status; // "converted", "skipped", "failed" or "cancelled"
    std::string Error;  // the message the user sees; empty when none
    double Seconds = 0; // the job's own time; 0 for one that never ran
    int64_t SourceDurationUs = -1;
    int64_t OutputDurationUs = -1;
    int64_t SourceSize = -1;
    int64_t OutputSize = -1;
};

// The settings that make a batch's outputs: format, preset, the overrides as given.
struct TReportSettings {
    std::string Format;
    int Preset = 0;
    std::string Overrides; // the command line's own settings words, in order
    TShard Shard;
    // A short fingerprint of format, preset and overrides: equal settings, equal text.
    std::string Fingerprint() const;
};

class TJsonLinesReport {
public:
    TJsonLinesReport() = default;
    ~TJsonLinesReport();
    TJsonLinesReport(const TJsonLinesReport&) = delete;
    TJsonLinesReport& operator=(const TJsonLinesReport&) = delete;

    // Opens `path` for appending ("-": standard output). False with the reason in `error`.
    bool Open(const std::string& path, const TReportSettings& settings, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    // One line for `item` (nothing while no report is open); OnItem hears of it in any case.
    void Item(const TReportItem& item);
    std::function<void(const TReportItem& item)> OnItem;
    // The closing line with the batch's counts and wall time.
    void Summary(const TBatchCounts& counts, double seconds);

private:
    void WriteLine(std::string line);

    int fd_ = -1;
    bool ownsFd_ = false;
    TReportSettings settings_;
};

// The size of the file at `path` in bytes; -1 when it cannot be read.
int64_t FileSizeOf(const std::string& path);
