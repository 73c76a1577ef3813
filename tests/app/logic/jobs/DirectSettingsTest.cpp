// Settings that replace a preset's: what each puts into the output description, and the
// combinations the format's encoder refuses, named with what it accepts.
#include <gtest/gtest.h>

#include <string>

#include "MediaFixture.h"
#include "jobs/DirectSettings.h"
#include "jobs/OutputFormats.h"
#include "output/Output.h"

namespace {

// An OGG preset's output description: a quality line among others, no bit rate.
TOutputOptions OggPreset() {
    TOutputOptions options;
    options.AudioChannels = 1;
    options.AudioSampleRate = 11025;
    options.ExtOptions = "aq=4.97\nsample_fmt=s16";
    return options;
}

TEST(DirectSettings, EachReplacesThePresetsValue) {
    TDirectSettings none;
    TDirectSettings bitrate;
    bitrate.BitRate = 96000;
    TDirectSettings quality;
    quality.HasQuality = true;
    quality.Quality = 7.5;
    TDirectSettings fixed;
    fixed.SampleRate = 48000;
    fixed.Channels = 2;
    TDirectSettings keep;
    keep.SampleRate = KeepSourceValue;
    keep.Channels = KeepSourceValue;
    const struct {
        const char* Name;
        TDirectSettings Direct;
        int BitRate, Rate, Channels;
        const char* Lines;
    } cases[] = {
        {"none", none, -1, 11025, 1, "aq=4.97\nsample_fmt=s16"},
        {"bit rate", bitrate, 96000, 11025, 1, "sample_fmt=s16"},
        {"quality", quality, -1, 11025, 1, "sample_fmt=s16\naq=7.5"},
        {"rate and channels", fixed, -1, 48000, 2, "aq=4.97\nsample_fmt=s16"},
        {"kept", keep, -1, -1, -1, "aq=4.97\nsample_fmt=s16"},
    };
    for (const auto& c : cases) {
        TOutputOptions options = OggPreset();
        if (c.Direct.HasQuality)
            options.AudioBitrate = 112000; // a quality replaces a preset's bit rate too
        ApplyDirectSettings(c.Direct, options);
        EXPECT_EQ(options.AudioBitrate, c.BitRate) << c.Name;
        EXPECT_EQ(options.AudioSampleRate, c.Rate) << c.Name;
        EXPECT_EQ(options.AudioChannels, c.Channels) << c.Name;
        EXPECT_EQ(options.ExtOptions, c.Lines) << c.Name;
    }
}

class DirectSettingsCheck : public ::testing::Test {
protected:
    void SetUp() override { testmedia::LoadLibraries(); }
};

TEST_F(DirectSettingsCheck, RefusalsNameWhatTheEncoderAccepts) {
    auto rate = [](int hz) {
        TDirectSettings d;
        d.SampleRate = hz;
        return d;
    };
    auto channels = [](int n) {
        TDirectSettings d;
        d.Channels = n;
        return d;
    };
    auto bitrate = [](int bps) {
        TDirectSettings d;
        d.BitRate = bps;
        return d;
    };
    auto quality = [](double q) {
        TDirectSettings d;
        d.HasQuality = true;
        d.Quality = q;
        return d;
    };
    const struct {
        int Format;
        TDirectSettings Direct;
        const char* Problem;
    } cases[] = {
        {ofMP2, rate(11025),
         "mp2 does not support 11025 Hz; it supports 16000, 22050, 24000, 32000, 44100, 48000"},
        {ofMP2, rate(48000), ""},
        {ofOpus, rate(44100),
         "libopus does not support 44100 Hz; it supports 8000, 12000, 16000, 24000, 48000"},
        {ofMP3, rate(KeepSourceValue), ""},
        {ofMP2, channels(6), "mp2 does not support 6 channels; it supports 1, 2"},
        {ofWAV, channels(6), ""},
        {ofWAV, bitrate(128000), "wav is lossless and takes no bit rate"},
        {ofFLAC, bitrate(128000), "flac is lossless and takes no bit rate"},
        {ofAAC, bitrate(128000), ""},
        {ofMP3, quality(2), ""},
        {ofOGG, quality(-1), ""},
        {ofMP3, quality(10), "mp3 quality must be from 0 to 9 (0 is the best)"},
        {ofOGG, quality(10.5), "ogg quality must be from -1 to 10 (10 is the best)"},
        {ofOpus, quality(5), "opus takes no quality; give it a bit rate (--bitrate)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectSettingsProblem(c.Format, 0, c.Direct), c.Problem)
            << OutputFormatInfo(c.Format)->Name;
}

} // namespace
