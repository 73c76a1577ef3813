#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "sources/FileFacts.h"

namespace {

struct TDurationCase {
    int64_t Us;
    const char* Text;
};

TEST(FileFactsDuration, FormatsHoursBeyondADayAndTruncatesMilliseconds) {
    const TDurationCase cases[] = {
        {3723456789LL, "01:02:03.456"},
        {90000000000LL, "25:00:00.000"},
        {0, "00:00:00.000"},
        {59999999, "00:00:59.999"},
        {360000000000000LL, "100000:00:00.000"},
    };
    for (const TDurationCase& c : cases) {
        EXPECT_EQ(FormatDurationUs(c.Us), c.Text) << c.Us;
        EXPECT_EQ(DurationText(c.Us), c.Text) << c.Us;
    }
}

TEST(FileFactsDuration, UnknownDurationHasItsOwnText) {
    EXPECT_EQ(DurationText(-1), "Duration is not preseted");
}

TEST(FileFactsBitRate, KilobitsTruncatedAndNonPositiveNotPresent) {
    const struct {
        int32_t BitRate;
        const char* Text;
    } cases[] = {
        {0, "Bit rate is not preseted"},
        {-1, "Bit rate is not preseted"},
        {1, "0 Kbps"},
        {128999, "128 Kbps"},
        {320000, "320 Kbps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BitRateText(c.BitRate), c.Text) << c.BitRate;
}

TEST(FileFactsFrameRate, DividesWithTwoDecimals) {
    const struct {
        int32_t Num;
        int32_t Den;
        const char* Text;
    } cases[] = {
        {-1, -1, "1.00"}, // the prober's facts of a file without video
        {30000, 1001, "29.97"}, {25, 1, "25.00"},
        {0, 0, "0.00"}, // no defined rate rather than "nan"
        {90000, 0, "0.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameRateText(c.Num, c.Den), c.Text) << c.Num << "/" << c.Den;
}

TEST(FileFactsRow, AudioOnlyFileWithUnknownDuration) {
    TSourceFacts facts; // the prober's defaults: no video stream, unknown duration
    facts.FileSize = 5242880;
    facts.AudioCodecName = "mp3";
    facts.AudioBitRate = 0;
    facts.Channels = 2;
    facts.SampleRate = 44100;
    const TSourceRowTexts row = SourceRowTexts(facts);
    EXPECT_EQ(row.Duration, "Duration: Duration is not preseted");
    EXPECT_EQ(row.Bitrate, "Audio Bit rate: Bit rate is not preseted");
    EXPECT_EQ(row.Dimension, "Audio Encoder: mp3");
    EXPECT_EQ(row.FileSize, "File size: 5242880 M");
    EXPECT_EQ(row.VideoEncoder, "Video encoder: ");
    EXPECT_EQ(row.AudioChannels, "Channels: 2");
    EXPECT_EQ(row.AudioSampleRate, "Sample rate: 44100 Hz");
    EXPECT_EQ(row.AudioBitrate, "Bit rate: Bit rate is not preseted");
    EXPECT_EQ(row.AudioEncoder, "Audio encoder: mp3");
    EXPECT_EQ(row.FrameRate, "Frame rate: 1.00");
    EXPECT_EQ(row.RealDuration, "0");
}

TEST(FileFactsRow, VideoFileWithoutAudio) {
    TSourceFacts facts;
    facts.Duration = 3723456789LL;
    facts.VideoCodecName = "h264";
    facts.FrameRateNum = 25;
    facts.FrameRateDen = 1;
    const TSourceRowTexts row = SourceRowTexts(facts);
    EXPECT_EQ(row.Duration, "Duration: 01:02:03.456");
    EXPECT_EQ(row.RealDuration, "3723456789");
    EXPECT_EQ(row.Dimension, "Audio Encoder: ");
    EXPECT_EQ(row.VideoEncoder, "Video encoder: h264");
    EXPECT_EQ(row.AudioChannels, "Channels: -1");
    EXPECT_EQ(row.AudioSampleRate, "Sample rate: -1 Hz");
    EXPECT_EQ(row.FrameRate, "Frame rate: 25.00");
}

} // namespace
