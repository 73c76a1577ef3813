// The options of batches that run as many tasks (a job array, GNU parallel on several hosts):
// --files-from, --null, --shard, --report and --timeout.
#pragma once

#include <string>
#include <vector>

#include "CliJobList.h"

namespace CLI {
class App;
}

struct TJobListOptions {
    std::vector<std::string> FilesFrom; // job lists, "-" for standard input
    bool NullSeparated = false;         // the lists separate names with NUL bytes
    TShard Shard;                       // the share of the batch this task converts
    std::string Report;                 // JSON Lines report file, "-" for standard output
    double TimeoutSeconds = 0;          // a job running longer fails; 0: no limit
};

// What the parser fills before the texts are checked.
struct TJobListTexts {
    std::string Shard;
    std::string Timeout;
};

void AddJobListOptions(CLI::App& app, TJobListOptions& options, TJobListTexts& texts);
// After the parse: the shard and time-out read from their texts. The problem for the user,
// or "".
std::string ReadJobListOptions(const TJobListTexts& texts, TJobListOptions& options);
