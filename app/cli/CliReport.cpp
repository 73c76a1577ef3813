#include "CliReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CliProgress.h"
#include "JsonText.h"

std::string TReportSettings::Fingerprint() const {
    const std::string all = Format + "\n" + std::to_string(Preset) + "\n" + Overrides;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(StableHash(all)));
    return text;
}

TJsonLinesReport::~TJsonLinesReport() {
    if (ownsFd_ && fd_ >= 0)
        ::close(fd_);
}

bool TJsonLinesReport::Open(const std::string& path, const TReportSettings& settings,
                            std::string& error) {
    settings_ = settings;
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        ownsFd_ = false;
        return true;
    }
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    ownsFd_ = true;
    return true;
}

void TJsonLinesReport::WriteLine(std::string line) {
    if (fd_ < 0)
        return;
    line += "\n";
    // One write for the whole line: with O_APPEND lines of several writers never interleave,
    // and a line that the system took only in part (a full disk) is the last one written.
    const char* at = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        at += n;
        left -= static_cast<size_t>(n);
    }
}

void TJsonLinesReport::Item(const TReportItem& item) {
    if (OnItem)
        OnItem(item);
    if (fd_ < 0)
        return;
    TJsonObject settings;
    settings.Text("format", settings_.Format)
        .Number("preset", settings_.Preset)
        .Text("overrides", settings_.Overrides)
        .Text("fingerprint", settings_.Fingerprint());
    TJsonObject line;
    line.Text("source", item.Source);
    if (item.Output.empty())
        line.Raw("output", "null");
    else
        line.Text("output", item.Output);
    line.Text("status", item.Status);
    if (item.Error.empty())
        line.Raw("error", "null");
    else
        line.Text("error", item.Error);
    line.Real("seconds", item.Seconds)
        .Real("source_duration", item.SourceDurationUs / 1e6, item.SourceDurationUs >= 0)
        .Real("output_duration", item.OutputDurationUs / 1e6, item.OutputDurationUs >= 0)
        .Number("source_size", item.SourceSize, item.SourceSize >= 0)
        .Number("output_size", item.OutputSize, item.OutputSize >= 0)
        .Text("shard", settings_.Shard.Text())
        .Raw("settings", settings.Str());
    WriteLine(line.Str());
}

void TJsonLinesReport::Summary(const TBatchCounts& counts, double seconds) {
    if (fd_ < 0)
        return;
    TJsonObject line;
    line.Text("summary", "batch")
        .Number("total", counts.Total)
        .Number("converted", counts.Succeeded)
        .Number("skipped", counts.Skipped)
        .Number("failed", counts.Failed)
        .Number("cancelled", counts.Cancelled)
        .Real("seconds", seconds)
        .Text("shard", settings_.Shard.Text())
        .Text("fingerprint", settings_.Fingerprint());
    WriteLine(line.Str());
}

int64_t FileSizeOf(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}
