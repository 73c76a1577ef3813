#include "FileFacts.h"

#include <cinttypes>
#include <cstdio>

std::string FormatDurationUs(int64_t durationUs) {
    constexpr int64_t Second = 1000000;
    const int64_t totalSeconds = durationUs / Second;
    const int64_t hours = totalSeconds / 60 / 60;
    const int64_t minutes = totalSeconds / 60 % 60;
    const int64_t seconds = totalSeconds % 60;
    const int64_t millis = durationUs % Second * 1000 / Second;
    char text[64];
    std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours,
                  minutes, seconds, millis);
    return text;
}

std::string DurationText(int64_t durationUs) {
    if (durationUs < 0)
        return "Duration is not preseted";
    return FormatDurationUs(durationUs);
}

std::string BitRateText(int32_t bitRate) {
    if (bitRate < 1)
        return "Bit rate is not preseted";
    return std::to_string(bitRate / 1000) + " Kbps";
}

std::string FrameRateText(int32_t frameRateNum, int32_t frameRateDen) {
    const double rate = frameRateDen == 0 ? 0.0 : static_cast<double>(frameRateNum) / frameRateDen;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", rate);
    return text;
}

std::string ReadableFileSize(int64_t bytes) {
    if (bytes < 0)
        return "unknown";
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    char text[64];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

TSourceRowTexts SourceRowTexts(const TSourceFacts& facts) {
    TSourceRowTexts row;
    row.Duration = "Duration: " + DurationText(facts.Duration);
    row.Bitrate = "Audio Bit rate: " + BitRateText(facts.AudioBitRate);
    row.Dimension = "Audio Encoder: " + facts.AudioCodecName;
    row.FileSize = "File size: " + std::to_string(facts.FileSize) + " M";
    row.VideoEncoder = "Video encoder: " + facts.VideoCodecName;
    row.AudioChannels = "Channels: " + std::to_string(facts.Channels);
    row.AudioSampleRate = "Sample rate: " + std::to_string(facts.SampleRate) + " Hz";
    row.AudioBitrate = "Bit rate: " + BitRateText(facts.AudioBitRate);
    row.AudioEncoder = "Audio encoder: " + facts.AudioCodecName;
    row.FrameRate = "Frame rate: " + FrameRateText(facts.FrameRateNum, facts.FrameRateDen);
    row.RealDuration = std::to_string(facts.Duration < 0 ? 0 : facts.Duration);
    return row;
}
