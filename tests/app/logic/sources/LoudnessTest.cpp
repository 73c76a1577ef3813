// Loudness measured as BS.1770 says, on generated tones: the first case of EBU Tech 3341, the
// peak between samples, mono played as both sides, an album over its tracks, and the texts
// of the gain tags.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "MediaFixture.h"
#include "sources/Loudness.h"

namespace {

// `seconds` of a sine of `frequency` Hz with peak `amplitude` and start phase `phase` in
// every one of `channels` channels, at `rate`.
std::vector<double> Sine(double frequency, double amplitude, double phase, int channels, int rate,
                         double seconds) {
    const size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<double> samples(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[i * channels + c] =
                amplitude * std::sin(2 * M_PI * frequency * i / rate + phase);
    return samples;
}

TLoudness Measure(const std::vector<double>& samples, int channels, int rate) {
    TLoudnessMeter meter(channels, rate);
    EXPECT_TRUE(meter.Valid());
    meter.Add(samples.data(), samples.size() / channels);
    return meter.Result();
}

constexpr double Minus23dB = 0.0707946; // 10^(-23/20)

TEST(Loudness, OneKilohertzAtMinus23dBFSReadsMinus23LUFS) {
    const TLoudness stereo = Measure(Sine(1000, Minus23dB, 0, 2, 48000, 20), 2, 48000);
    ASSERT_TRUE(stereo.Measured);
    EXPECT_NEAR(stereo.IntegratedLufs, -23.0, 0.1);
    EXPECT_NEAR(stereo.RangeLu, 0.0, 0.1);
    // Mono is heard on both speakers: as loud as the same tone in both channels.
    const TLoudness mono = Measure(Sine(1000, Minus23dB, 0, 1, 48000, 20), 1, 48000);
    EXPECT_NEAR(mono.IntegratedLufs, -23.0, 0.1);
    // 5.1 without its LFE: the tone in the front pair only reads like stereo.
    std::vector<double> surround = Sine(1000, Minus23dB, 0, 6, 48000, 20);
    for (size_t i = 0; i < surround.size(); i += 6)
        surround[i + 2] = surround[i + 4] = surround[i + 5] = 0; // centre and surrounds silent
    EXPECT_NEAR(Measure(surround, 6, 48000).IntegratedLufs, -23.0, 0.1);
}

// A quarter of the sample rate at 45 degrees: every sample is at 0.707 of the wave's peak,
// which only the true-peak meter finds.
TEST(Loudness, TruePeakFindsThePeakBetweenSamples) {
    const TLoudness l = Measure(Sine(12000, 0.5, M_PI / 4, 2, 48000, 5), 2, 48000);
    EXPECT_NEAR(l.SamplePeak, 0.5 * std::sqrt(0.5), 0.005);
    EXPECT_NEAR(l.TruePeak, 0.5, 0.02);
}

TEST(Loudness, AnAlbumIsMeasuredOverItsTracksTogether) {
    TLoudnessMeter quiet(2, 44100), loud(2, 44100);
    const auto a = Sine(1000, Minus23dB / 4, 0, 2, 44100, 10); // -35 LUFS
    const auto b = Sine(1000, Minus23dB, 0, 2, 44100, 10);     // -23 LUFS
    quiet.Add(a.data(), a.size() / 2);
    loud.Add(b.data(), b.size() / 2);
    const TLoudness album = TLoudnessMeter::Together({&quiet, &loud});
    ASSERT_TRUE(album.Measured);
    EXPECT_GT(album.IntegratedLufs, quiet.Result().IntegratedLufs + 1);
    EXPECT_LT(album.IntegratedLufs, loud.Result().IntegratedLufs);
    EXPECT_NEAR(album.TruePeak, loud.Result().TruePeak, 1e-9);
}

TEST(Loudness, GainTexts) {
    EXPECT_EQ(ReplayGainText(-11.8), "-6.20 dB");
    EXPECT_EQ(ReplayGainText(-20.5), "2.50 dB");
    EXPECT_EQ(ReplayPeakText(0.988553), "0.988553");
    EXPECT_EQ(R128GainValue(-20.0), -768); // 3 dB louder than -23: -3 * 256
    EXPECT_EQ(R128GainValue(-30.0), 1792);
    EXPECT_EQ(R128GainValue(-500.0), 32767) << "clamped to 16 bits";
}

// A file is decoded and measured in its own format.
TEST(Loudness, AFileIsMeasuredAsDecoded) {
    testmedia::LoadLibraries();
    const std::string file = testmedia::Make(
        testmedia::TempDir("app/loudness") + "/minus23.flac",
        "-f lavfi -i 'aevalsrc=0.0707946*sin(2*PI*1000*t)|0.0707946*sin(2*PI*1000*t):s=44100:"
        "d=10' -sample_fmt s16");
    ASSERT_FALSE(file.empty());
    std::unique_ptr<TLoudnessMeter> meter;
    std::string error;
    ASSERT_TRUE(MeasureFileLoudness(file, meter, error)) << error;
    EXPECT_NEAR(meter->Result().IntegratedLufs, -23.0, 0.1);
    EXPECT_FALSE(MeasureFileLoudness(file + ".missing", meter, error));
    EXPECT_NE(error, "");
}

} // namespace
