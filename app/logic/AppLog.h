// Lines of the application log that come from the logger component.
#pragma once

#include <cstdint>
#include <string>

#include "log/FFLog.h"

// "#" + thread id (unsigned decimal) + "." + level ordinal + ": " + message.
std::string FormatLogLine(uint32_t threadID, TLogLevel level, const std::string& message);
