// The application log: the lines it is made of, and saving it to a file of the user's choice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "log/FFLog.h"

// "#" + thread id (unsigned decimal) + "." + level ordinal + ": " + message.
std::string FormatLogLine(uint32_t threadID, TLogLevel level, const std::string& message);

// Writes `lines` to `fileName` as UTF-8, each followed by CR LF, replacing the file. The
// lines go to a temporary file beside it first, which is renamed into place, so a failed
// save leaves whatever stood there before. On failure returns false with the reason in
// `error`.
bool SaveLogLines(const std::string& fileName, const std::vector<std::string>& lines,
                  std::string& error);
