#include "CliJobListOptions.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>

void AddJobListOptions(CLI::App& app, TJobListOptions& options, TJobListTexts& texts) {
    app.add_option("--files-from", options.FilesFrom,
                   "Read sources from FILE, one path a line (- for standard input; relative "
                   "paths from the list's own folder); repeatable, combined with FILE|DIR")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_flag("--null", options.NullSeparated,
                 "The lists of --files-from separate names with NUL bytes (as find prints them "
                 "with its print0 action)");
    app.add_option("--shard", texts.Shard,
                   "Convert only share K of N of the sources (0 <= K < N), chosen by a stable "
                   "hash of each path relative to its folder or list, e.g. "
                   "--shard \"$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT\"")
        ->type_name("K/N");
    app.add_option("--report", options.Report,
                   "Append one JSON object per source to FILE as it ends, and a summary "
                   "object (- for standard output)")
        ->type_name("FILE");
    app.add_option("--timeout", texts.Timeout,
                   "A conversion that runs longer than SECONDS is stopped and fails")
        ->type_name("SECONDS");
}

std::string ReadJobListOptions(const TJobListTexts& texts, TJobListOptions& options) {
    std::string problem;
    if (!texts.Shard.empty() && !ParseShard(texts.Shard, options.Shard, problem))
        return problem;
    if (!texts.Timeout.empty()) {
        char* end = nullptr;
        const double seconds = std::strtod(texts.Timeout.c_str(), &end);
        if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0)
            return "--timeout takes a number of seconds above 0, not \"" + texts.Timeout + "\"";
        options.TimeoutSeconds = seconds;
    }
    return "";
}
