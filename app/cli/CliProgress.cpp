#include "CliProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

std::string FormatClock(double seconds) {
    if (!std::isfinite(seconds))
        return LabelAtRest;
    const int64_t whole = seconds < 0 ? 0 : std::llround(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(whole / 3600),
                  static_cast<int>(whole / 60 % 60), static_cast<int>(whole % 60));
    return text;
}

std::string ProgressBar(int percent, int width) {
    const int filled = std::clamp(percent, 0, 100) * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

std::string RunningFileLine(const std::string& name, const TPercent& percent, int64_t currentUs,
                            int64_t totalUs) {
    char pct[16];
    std::snprintf(pct, sizeof pct, "%4s", percent.Text.c_str());
    std::string line = ProgressBar(percent.Known ? percent.Value : 0, 20) + " " + pct + "  ";
    line += FormatClock(static_cast<double>(std::max<int64_t>(currentUs, 0)) / 1e6);
    if (totalUs > 0)
        line += " / " + FormatClock(static_cast<double>(totalUs) / 1e6);
    return line + "  " + name;
}

std::string BatchLine(const TBatchView& view) {
    constexpr double SecondsPerDay = 86400.0;
    char pct[16];
    std::snprintf(pct, sizeof pct, "%4s", view.Percent.Text.c_str());
    std::string line = std::string("Overall ") + pct + "  " + std::to_string(view.Ended) + "/" +
                       std::to_string(view.Jobs) + " files";
    if (view.Failed > 0)
        line += ", " + std::to_string(view.Failed) + " failed";
    line += "  elapsed ";
    line += FormatClock(view.ElapsedDays * SecondsPerDay);
    line += "  left ";
    line += view.Times.Known ? FormatClock(view.Times.LeftDays * SecondsPerDay) : LabelAtRest;
    return line;
}

std::string SummaryLine(const TBatchCounts& counts, double seconds) {
    std::string line = "Total files: " + std::to_string(counts.Total) +
                       "  Succeeded: " + std::to_string(counts.Succeeded);
    if (counts.Skipped > 0)
        line += "  Skipped: " + std::to_string(counts.Skipped);
    line += "  Failed: " + std::to_string(counts.Failed);
    if (counts.Cancelled > 0)
        line += "  Cancelled: " + std::to_string(counts.Cancelled);
    return line + "  Time: " + FormatClock(seconds);
}

std::string FitColumns(const std::string& text, int columns) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // A byte that starts a character (not a UTF-8 continuation byte).
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (count == columns)
                return text.substr(0, i);
            ++count;
        }
    }
    return text;
}

TCliDisplay::TCliDisplay(std::FILE* out, std::FILE* err, bool live, bool quiet)
    : out_(out), err_(err), live_(live && !quiet), quiet_(quiet) {}

TCliDisplay::~TCliDisplay() {
    ClearBlock();
}

int TCliDisplay::Columns() const {
    winsize size{};
    if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void TCliDisplay::Line(const std::string& text) {
    if (quiet_)
        return;
    ClearBlock();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void TCliDisplay::Error(const std::string& text) {
    ClearBlock();
    std::fprintf(err_, "%s\n", text.c_str());
    std::fflush(err_);
}

void TCliDisplay::LogLine(const std::string& text) {
    Error(text);
}

void TCliDisplay::ShowBlock(const std::vector<std::string>& lines) {
    if (!live_)
        return;
    ClearBlock();
    // One column is left free so that no line wraps and the block keeps its height.
    const int columns = std::max(Columns() - 1, 1);
    for (const std::string& line : lines)
        std::fprintf(out_, "%s\n", FitColumns(line, columns).c_str());
    drawn_ = static_cast<int>(lines.size());
    std::fflush(out_);
}

void TCliDisplay::ClearBlock() {
    if (drawn_ == 0)
        return;
    // Up to the block's first line, then erase to the end of the screen.
    std::fprintf(out_, "\r\x1b[%dA\x1b[J", drawn_);
    drawn_ = 0;
    std::fflush(out_);
}
