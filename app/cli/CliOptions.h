// The command line of audioconv-cli.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CliEngineOptions.h"
#include "CliJobListOptions.h"
#include "CliSync.h"
#include "jobs/DirectSettings.h"
#include "jobs/OutputNaming.h"

enum class TCliMode {
    Convert, // convert the files and folders to one format and preset
    List,    // list the formats and their presets
    Info,    // show the facts of files
};

struct TCliOptions {
    TCliMode Mode = TCliMode::Convert;
    int Format = 1;           // index into the format table: MP3
    bool FormatGiven = false; // -f given (--info names the tags that format cannot hold)
    int Preset = 0;           // index into the format's presets
    std::string OutputDir;    // empty: the current folder
    int Jobs = 0;             // conversions at a time; 0: the number of cores
    bool Quiet = false;       // error messages only
    bool Log = false;         // print the log lines
    std::string LogLevel;     // level of the library lines; empty: the logger's default
    // The output tree: a flat folder or one mirroring the searched folders, names from tags,
    // what becomes of existing outputs.
    bool Flat = false;
    TOutputNaming Naming;
    TDirectSettings Direct; // settings replacing the preset's
    bool Json = false;      // --info as one JSON object per file
    bool Loudness = false;  // --info measures each file's loudness (a decode)
    bool Verify = false;    // compare each lossless output with its source after converting
    bool Strict = false;    // a source that decodes well short of its length fails
    bool NoCover = false;   // outputs without pictures
    int CoverMax = 0;       // pictures scaled down to fit this many pixels square; 0: as they are
    std::vector<std::string> Paths;
    std::vector<std::string> Urls; // network sources (--url), "scheme://..." each
    TCliEngineOptions Engine;      // -x, -X, --to (CliEngineOptions.h)
    TJobListOptions Lists;         // --files-from, --shard, --report, --timeout
    TSyncOptions Sync;             // --sync, --delete-orphans, --copy-companions, --dry-run, --base
};

// Exit statuses of the program.
inline constexpr int ExitAllSucceeded = 0;
inline constexpr int ExitSomeFailed = 1;
inline constexpr int ExitBadUsage = 2;
inline constexpr int ExitInterrupted = 130; // stopped by SIGINT
inline constexpr int ExitTerminated = 143;  // stopped by SIGTERM or SIGHUP

// The index of a format name ("wav" ... "mp2", "opus", any case), or -1.
int FormatIndexOf(const std::string& name);

// Parses the command line into `options`. Returns -1 when the program goes on; otherwise the
// exit status: 0 after --help or --version (printed on `out`), ExitBadUsage with the reason
// on `err`.
int ParseCliOptions(int argc, const char* const* argv, TCliOptions& options, std::ostream& out,
                    std::ostream& err);
