// The process-wide state of the shell: folders, format and presets, post-run options, run
// totals, brand links, the application log and the failed-files list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Output formats in the order that indexes `OutputFormat` and `PresetIndex`.
enum TOutputFormatIndex : uint8_t {
    ofWAV = 0,
    ofMP3 = 1,
    ofWMA = 2,
    ofOGG = 3,
    ofAAC = 4,
    ofM4A = 5,
    ofFLAC = 6,
    ofMP2 = 7,
};
constexpr int OutputFormatCount = 8;

struct TGlobalVars {
    std::string DataFolder;               // per-user folder of the settings file, ends with "/"
    std::string LastOpenDir;              // folder the add-files dialog shows first
    std::vector<std::string> LogLines;    // the application log
    std::vector<std::string> FailedFiles; // error texts of the files that could not be added
    int32_t FailedCount = 0;              // conversions that failed in the current run
    std::string OutputFileDir;            // output folder, ends with "/" once step 2 is left
    uint8_t OutputFormat = ofMP3;         // selected output format, 0 to 7
    std::array<int32_t, OutputFormatCount> PresetIndex{}; // selected preset of each format
    double StartTime = 0;                                 // start of the current run, a day count
    int64_t DoneDurationMs = 0;  // source durations of the finished conversions
    int64_t TotalDurationUs = 0; // source durations of all queued conversions
    bool PlayASoundWhenFinished = false;
    bool ShutDownWhenFinished = false;
    int32_t SimultaneousConversions = 1; // jobs that run side by side, 1 to the core count
    std::string HelpLink;                // help address of the brand
    std::string HomePageLink;            // home page address of the brand
    std::string UpdatesLink;             // check-for-updates address of the brand
    std::string SupportMail;             // support e-mail address of the brand, without a scheme
};

// The one record of the process. The program entry creates it before the main window and
// frees it at the end; null before that.
extern TGlobalVars* GlobalVars;
