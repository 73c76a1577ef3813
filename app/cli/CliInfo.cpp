#include "CliInfo.h"

void PrintFileInfo(std::FILE* out, const std::string& path, const TFileReport& report, bool json,
                   bool first) {
    if (json) {
        std::fprintf(out, "%s\n", FileReportJson(path, report).c_str());
    } else {
        std::fprintf(out, "%s%s\n", first ? "" : "\n", path.c_str());
        for (const std::string& line : FileReportLines(report))
            std::fprintf(out, "  %s\n", line.c_str());
    }
    std::fflush(out);
}

void PrintFileInfoError(std::FILE* out, const std::string& path, const std::string& message,
                        bool json) {
    if (!json)
        return;
    std::fprintf(out, "%s\n", FileErrorJson(path, message).c_str());
    std::fflush(out);
}
