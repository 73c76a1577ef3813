// The texts that the source list shows for a file: duration, bit rate, codecs, channels,
// sample rate, frame rate and size, derived from the prober's facts.
#pragma once

#include <cstdint>
#include <string>

// The prober's facts of one source that the source list shows: the file facts, the first
// audio stream's facts and the first video stream's facts. An unknown number is -1; a codec
// name is empty when the file has no such stream.
struct TSourceFacts {
    int64_t Duration = -1;      // file duration in microseconds (`TFileStreamInfo`)
    int64_t FileSize = -1;      // bytes (the prober's `FileSize`)
    std::string AudioCodecName; // `CodecName` of `TAudioStreamInfo`
    int32_t AudioBitRate = -1;  // `BitRate` of `TAudioStreamInfo`, bits per second
    int32_t Channels = -1;      // `Channels` of `TAudioStreamInfo`
    int32_t SampleRate = -1;    // `SampleRate` of `TAudioStreamInfo`, Hz
    std::string VideoCodecName; // `CodecName` of `TVideoStreamInfo`
    int32_t FrameRateNum = -1;  // `FrameRateNum` of `TVideoStreamInfo`
    int32_t FrameRateDen = -1;  // `FrameRateDen` of `TVideoStreamInfo`
};

// Microseconds as "hh:mm:ss.zzz"; hours are not limited to 24.
std::string FormatDurationUs(int64_t durationUs);
// "Duration is not preseted" for an unknown (negative) duration, else `FormatDurationUs`.
std::string DurationText(int64_t durationUs);
// Bits per second as "%d Kbps" (kilobits truncated); "Bit rate is not preseted" below 1.
std::string BitRateText(int32_t bitRate);
// Frames per second with two decimals. A zero denominator has no rate and gives "0.00".
std::string FrameRateText(int32_t frameRateNum, int32_t frameRateDen);
// A file size for reading: "N bytes" below a kilobyte, else "N.N KB" or "N.N MB" (1024 based);
// "unknown" for a negative size.
std::string ReadableFileSize(int64_t bytes);

// The text cells of one source-list row (the thumbnail and the shortened name are the
// window's own).
struct TSourceRowTexts {
    std::string Duration;  // line 2
    std::string Bitrate;   // line 3
    std::string Dimension; // line 4: the audio encoder
    std::string FileSize;  // hidden cells from here on
    std::string VideoEncoder;
    std::string AudioChannels;
    std::string AudioSampleRate;
    std::string AudioBitrate;
    std::string AudioEncoder;
    std::string FrameRate;
    std::string RealDuration; // microseconds in decimal, "0" when unknown
};

TSourceRowTexts SourceRowTexts(const TSourceFacts& facts);
