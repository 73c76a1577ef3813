// What `--info` prints for each file: the facts as indented lines under the file's name, or
// (with --json) one JSON object per line, also for a file that could not be read.
#pragma once

#include <cstdio>
#include <string>

#include "sources/FileReport.h"

// Prints the report of `path`; `first` leaves out the blank line between files of the text.
void PrintFileInfo(std::FILE* out, const std::string& path, const TFileReport& report, bool json,
                   bool first);

// With `json`, prints the error object of a file that could not be read (its message goes to
// the error stream in any case).
void PrintFileInfoError(std::FILE* out, const std::string& path, const std::string& message,
                        bool json);
