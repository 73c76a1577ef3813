#include "AppLog.h"

std::string FormatLogLine(uint32_t threadID, TLogLevel level, const std::string& message) {
    return "#" + std::to_string(threadID) + "." + std::to_string(static_cast<unsigned>(level)) +
           ": " + message;
}
