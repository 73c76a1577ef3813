#include "AppLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

std::string FormatLogLine(uint32_t threadID, TLogLevel level, const std::string& message) {
    return "#" + std::to_string(threadID) + "." + std::to_string(static_cast<unsigned>(level)) +
           ": " + message;
}

namespace {

std::string CreateError(const std::string& fileName, int code) {
    return "Cannot create file \"" + fileName + "\". " + std::strerror(code);
}

// A name beside `fileName` that no other save of this process is using.
std::string TemporaryName(const std::string& fileName) {
    static unsigned counter = 0;
    return fileName + ".~" + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

bool WriteLines(const std::string& fileName, const std::vector<std::string>& lines) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    for (const std::string& line : lines) {
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        out.write("\r\n", 2);
    }
    out.close();
    return !out.fail();
}

} // namespace

bool SaveLogLines(const std::string& fileName, const std::vector<std::string>& lines,
                  std::string& error) {
    std::error_code ec;
    if (fs::is_directory(fileName, ec)) {
        error = CreateError(fileName, EISDIR);
        return false;
    }
    const std::string temporary = TemporaryName(fileName);
    errno = 0;
    if (!WriteLines(temporary, lines)) {
        const int code = errno ? errno : EIO;
        fs::remove(temporary, ec);
        error = CreateError(fileName, code);
        return false;
    }
    if (std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        const int code = errno;
        fs::remove(temporary, ec);
        error = CreateError(fileName, code);
        return false;
    }
    return true;
}
