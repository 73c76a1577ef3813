// The sound of the program's outputs, measured on generated signals: resampling keeps the
// treble and rejects aliases, samples that lose bits are dithered (and only those), downmixes
// never clip, mono plays at full level on both sides, and surround reaches Opus.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "CliRun.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"

namespace {

namespace fs = std::filesystem;
using clitest::Contains;
using clitest::RunCli;
using clitest::TRun;
using testmedia::Quote;

constexpr double Pi = 3.14159265358979323846;

// The samples of a file's audio as ffmpeg decodes them, converted to `format` (s16le, s32le
// or f32le) without any dither; interleaved.
template <typename T>
std::vector<T> Decode(const std::string& path, const std::string& format,
                      const std::string& scratch) {
    const std::string raw = scratch + "decoded.raw";
    fs::remove(raw);
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y -i " + Quote(path) +
                            " -f " + format + " " + Quote(raw) + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return {};
    const std::string bytes = apptest::ReadFile(raw);
    std::vector<T> samples(bytes.size() / sizeof(T));
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(T));
    return samples;
}

// The RMS level in dBFS of the audio between 0.5 s and 2.5 s (the filter's edges left out),
// over all channels, from samples decoded as float.
double RmsLevel(const std::string& path, int sampleRate, int channels, const std::string& scratch) {
    const std::vector<float> s = Decode<float>(path, "f32le", scratch);
    const size_t from = static_cast<size_t>(sampleRate / 2) * channels;
    const size_t to = static_cast<size_t>(sampleRate * 5 / 2) * channels;
    if (s.size() < to)
        return NAN;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return 10 * std::log10(sum / static_cast<double>(to - from) + 1e-300);
}

// The amplitude of the `frequency` component of channel 0 (of `channels`), by correlation.
double ToneAmplitude(const std::vector<int16_t>& s, int channels, double frequency,
                     int sampleRate) {
    std::complex<double> sum = 0;
    const size_t n = s.size() / channels;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<double>(s[i * channels]) *
               std::polar(1.0, -2 * Pi * frequency * static_cast<double>(i) / sampleRate);
    return 2 * std::abs(sum) / static_cast<double>(n);
}

// The byte of the channel mapping family in an Ogg Opus file's identification header.
int OpusMappingFamily(const std::string& path) {
    const std::string data = apptest::ReadFile(path);
    const size_t at = data.find("OpusHead");
    if (at == std::string::npos || at + 18 >= data.size())
        return -1;
    return static_cast<unsigned char>(data[at + 18]);
}

class CliSound : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = testmedia::TempDir("app/cli-sound") + "/";
        work_ = apptest::FreshDir("cli-sound/work");
    }

    // A float WAV of one sine at half of full scale (-6 dBFS), 3 s long.
    std::string Sine(int rate, int frequency) {
        const std::string name = "sine-" + std::to_string(rate) + "-" + std::to_string(frequency);
        return testmedia::Make(media_ + name + ".wav",
                               "-f lavfi -i " +
                                   Quote("aevalsrc=0.5*sin(2*PI*" + std::to_string(frequency) +
                                         "*t):s=" + std::to_string(rate) + ":d=3") +
                                   " -c:a pcm_f32le");
    }

    // A 24-bit 5.1(side) FLAC with a full-scale tone of its own on every channel.
    std::string Surround() {
        return testmedia::Make(
            media_ + "surround.flac",
            "-f lavfi -i " +
                Quote("aevalsrc=0.999*sin(2*PI*440*t)|0.999*sin(2*PI*550*t)|"
                      "0.999*sin(2*PI*660*t)|0.999*sin(2*PI*110*t)|0.999*sin(2*PI*770*t)|"
                      "0.999*sin(2*PI*880*t):s=44100:d=2:c=5.1(side)") +
                " -c:a flac -sample_fmt s32");
    }

    std::string media_, work_;
};

// A sine below 20 kHz keeps its level through a rate change; one above the output's Nyquist
// rate leaves no alias behind.
TEST_F(CliSound, ResamplingKeepsTheTrebleAndRejectsAliases) {
    const struct {
        int From, Frequency, To;
        bool Passes; // in the pass band: level kept; else: the alias is below -100 dB
    } cases[] = {
        {44100, 19000, 48000, true},
        {96000, 19000, 44100, true},
        {96000, 20000, 44100, true},
        {96000, 23000, 44100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.From) + " -> " + std::to_string(c.To) + ", " +
                     std::to_string(c.Frequency) + " Hz");
        const std::string source = Sine(c.From, c.Frequency);
        ASSERT_FALSE(source.empty());
        const std::string out = work_ + "resampled.wav";
        fs::remove(out);
        const TRun run =
            RunCli("--to " + Quote(out) + " -x acodec=pcm_f32le -x ar=" + std::to_string(c.To) +
                       " " + Quote(source),
                   work_);
        ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out);
        ASSERT_TRUE(probed.Read);
        EXPECT_EQ(probed.SampleRate, c.To);
        const double in = RmsLevel(source, c.From, 1, work_);
        const double level = RmsLevel(out, c.To, 1, work_);
        ASSERT_FALSE(std::isnan(in) || std::isnan(level));
        if (c.Passes)
            EXPECT_NEAR(level, in, 0.1);
        else
            EXPECT_LT(level - in, -100.0);
    }
}

// 24 to 16 bits: a -100 dBFS tone (a third of the last bit) survives as a tone in
// triangular dither, with no bias; without dither it is truncated away.
TEST_F(CliSound, BitsLostAreDithered) {
    const std::string source =
        testmedia::Make(media_ + "quiet24.wav",
                        "-f lavfi -i " + Quote("aevalsrc=0.00001*sin(2*PI*1000*t):s=48000:d=2") +
                            " -c:a pcm_s24le");
    ASSERT_FALSE(source.empty());
    const std::vector<int32_t> in = Decode<int32_t>(source, "s32le", work_);
    ASSERT_FALSE(in.empty());
    const double lsb = 65536.0; // one 16-bit step in 32-bit units

    const std::string out = work_ + "dithered.wav";
    TRun run = RunCli("--to " + Quote(out) + " -x acodec=pcm_s16le " + Quote(source), work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::vector<int16_t> dithered = Decode<int16_t>(out, "s16le", work_);
    ASSERT_EQ(dithered.size(), in.size());
    double error = 0;
    for (size_t i = 0; i < in.size(); ++i)
        error += dithered[i] - in[i] / lsb;
    EXPECT_NEAR(error / static_cast<double>(in.size()), 0.0, 0.05) << "mean error in 16-bit steps";
    const double tone = ToneAmplitude(dithered, 1, 1000, 48000);
    EXPECT_NEAR(tone, 0.00001 * 32768, 0.1) << "the tone's amplitude in 16-bit steps";

    // The library's names are taken; "none" gives the plain conversion, which truncates.
    const std::string plain = work_ + "plain.wav";
    run = RunCli("--to " + Quote(plain) + " -x acodec=pcm_s16le -x dither_method=none " +
                     Quote(source),
                 work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::vector<int16_t> truncated = Decode<int16_t>(plain, "s16le", work_);
    ASSERT_EQ(truncated.size(), in.size());
    size_t exact = 0;
    for (size_t i = 0; i < in.size(); ++i)
        exact += truncated[i] == (in[i] >> 16);
    EXPECT_EQ(exact, in.size());

    run = RunCli("--to " + Quote(work_ + "bad.wav") + " -x dither_method=loud " + Quote(source),
                 work_);
    EXPECT_NE(run.Status, 0);
    EXPECT_TRUE(Contains(run.Err, "Invalid dither method \"loud\"")) << run.Err;
}

// Outputs in floating point or with at least the source's bits get the samples unchanged.
TEST_F(CliSound, NoDitherWhereNoBitIsLost) {
    const std::string quiet24 =
        testmedia::Make(media_ + "quiet24.wav",
                        "-f lavfi -i " + Quote("aevalsrc=0.00001*sin(2*PI*1000*t):s=48000:d=2") +
                            " -c:a pcm_s24le");
    const std::string tone16 = testmedia::Make(
        media_ + "tone16.wav", "-f lavfi -i sine=frequency=1000:duration=2 -c:a pcm_s16le");
    ASSERT_FALSE(quiet24.empty() || tone16.empty());
    const struct {
        std::string Source;
        const char* Codec;
    } cases[] = {
        {quiet24, "pcm_f32le"},
        {quiet24, "pcm_s32le"},
        {tone16, "pcm_s24le"},
        {tone16, "pcm_f32le"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Source + " to " + c.Codec);
        const std::string out = work_ + "same.wav";
        fs::remove(out);
        const TRun run =
            RunCli("--to " + Quote(out) + " -x acodec=" + c.Codec + " " + Quote(c.Source), work_);
        ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
        const std::vector<int32_t> in = Decode<int32_t>(c.Source, "s32le", work_);
        const std::vector<int32_t> got = Decode<int32_t>(out, "s32le", work_);
        ASSERT_FALSE(in.empty());
        EXPECT_TRUE(in == got);
    }
}

// Full-scale tones on all six channels, mixed to stereo for encoders of float (AAC, Vorbis)
// and integer (LAME) samples: no decoded sample reaches full scale, and the mix keeps its
// level (it is scaled to fit, not muted).
TEST_F(CliSound, DownmixesNeverClip) {
    const std::string source = Surround();
    ASSERT_FALSE(source.empty());
    const struct {
        const char* Format;
        const char* Preset;
    } cases[] = {{"m4a", "1"}, {"ogg", "3"}, {"mp3", "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Format);
        const std::string folder = work_ + c.Format + "/";
        const TRun run = RunCli(std::string("-f ") + c.Format + " -p " + c.Preset + " -o " +
                                    Quote(folder) + " " + Quote(source),
                                work_);
        ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
        const std::string out = folder + "surround." + c.Format;
        const apptest::TProbedOutput probed = apptest::ProbeOutput(out);
        ASSERT_TRUE(probed.Read);
        EXPECT_EQ(probed.Channels, 2);
        const std::vector<float> s = Decode<float>(out, "f32le", work_);
        ASSERT_FALSE(s.empty());
        float peak = 0;
        for (float v : s)
            peak = std::max(peak, std::fabs(v));
        EXPECT_LT(peak, 1.0f);
        EXPECT_GT(peak, 0.5f);
    }
}

// A mono source made stereo: both sides carry the channel unchanged.
TEST_F(CliSound, MonoToStereoAtFullLevel) {
    const std::string source = testmedia::Make(
        media_ + "mono.wav",
        "-f lavfi -i sine=frequency=1000:duration=2,volume=4.5 -ac 1 -c:a pcm_s16le");
    ASSERT_FALSE(source.empty());
    const std::vector<int16_t> in = Decode<int16_t>(source, "s16le", work_);
    ASSERT_FALSE(in.empty());
    for (const char* format : {"flac", "wav"}) {
        SCOPED_TRACE(format);
        const std::string folder = work_ + format + "/";
        const TRun run = RunCli(std::string("-f ") + format + " -r keep -c 2 -o " + Quote(folder) +
                                    " " + Quote(source),
                                work_);
        ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
        const std::vector<int16_t> out = Decode<int16_t>(folder + "mono." + format, "s16le", work_);
        ASSERT_EQ(out.size(), in.size() * 2);
        size_t same = 0;
        for (size_t i = 0; i < in.size(); ++i)
            same += out[2 * i] == in[i] && out[2 * i + 1] == in[i];
        EXPECT_EQ(same, in.size());
    }
}

// 5.1(side) to Opus: six channels in mapping family 1 (as 5.1, the layout libopus takes);
// an encoder without any six-channel layout is named with what it takes.
TEST_F(CliSound, SurroundToOpusAndLayoutsRefusedByName) {
    const std::string source = Surround();
    ASSERT_FALSE(source.empty());
    const std::string folder = work_ + "opus/";
    TRun run = RunCli("-f opus -o " + Quote(folder) + " " + Quote(source), work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::string out = folder + "surround.opus";
    const apptest::TProbedOutput probed = apptest::ProbeOutput(out);
    ASSERT_TRUE(probed.Read);
    EXPECT_EQ(probed.AudioCodec, "opus");
    EXPECT_EQ(probed.Channels, 6);
    EXPECT_EQ(OpusMappingFamily(out), 1);

    run = RunCli("--to " + Quote(work_ + "surround.mp3") + " " + Quote(source), work_);
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(Contains(run.Err, "Encoder libmp3lame does not take the channel layout "
                                  "5.1(side); it takes mono, stereo"))
        << run.Err;
    EXPECT_FALSE(fs::exists(work_ + "surround.mp3"));
}

// The resampler's lines: the s16 warning once for a float source, no "frame changed" line
// for a stream whose decoder never changed.
TEST_F(CliSound, ResamplerLogLines) {
    const std::string source = testmedia::Make(
        media_ + "tone48.ogg",
        "-f lavfi -i sine=frequency=1000:duration=2:sample_rate=48000 -ac 2 -c:a libvorbis");
    ASSERT_FALSE(source.empty());
    const TRun run =
        RunCli("--log -f flac -r 44100 -o " + Quote(work_ + "log/") + " " + Quote(source), work_);
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    const std::string all = run.Out + run.Err;
    const std::string warning = "Warning, using s16 intermediate sample format for resampling";
    const size_t first = all.find(warning);
    EXPECT_NE(first, std::string::npos) << all;
    EXPECT_EQ(all.find(warning, first + 1), std::string::npos) << all;
    EXPECT_FALSE(Contains(all, "frame changed")) << all;
}

} // namespace
