// Every audio job of the application converts: each preset of the eight output formats, from
// mono, stereo and 5.1 sources at 8 to 96 kHz, gives the codec, rate and channel count the
// preset asks for, keeps the length within one encoder frame and a 1 kHz tone at 1 kHz, and
// carries the source's tags.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "input/Input.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

constexpr double SourceSeconds = 2.0;
constexpr const char* Title = "Engine Tone";
constexpr const char* Artist = "Run Tests";

std::string Dir() {
    return testmedia::TempDir("engine-convert");
}

std::string Shell(const std::string& cmd) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    if (!pipe)
        return out;
    char buf[65536];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0)
        out.append(buf, n);
    return out;
}

std::string Probe(const std::string& path, const std::string& entries) {
    std::string out = Shell("ffprobe -v error -select_streams a:0 -show_entries " + entries +
                            " -of default=nw=1:nk=1 " + testmedia::Quote(path) + " 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// The decoded output as one channel of 16-bit samples at `rate`.
std::vector<int16_t> Decode(const std::string& path, int rate) {
    const std::string raw =
        Shell("ffmpeg -nostdin -v error -i " + testmedia::Quote(path) + " -map 0:a:0 -ac 1 -ar " +
              std::to_string(rate) + " -f s16le - 2>/dev/null");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}

// The tone's frequency from the sign changes of the middle part of the signal (the edges may
// hold encoder delay and fades).
double ToneFrequency(const std::vector<int16_t>& s, int rate) {
    const size_t from = s.size() / 5, to = s.size() - s.size() / 5;
    size_t changes = 0;
    for (size_t i = from + 1; i < to; ++i)
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++changes;
    const double seconds = static_cast<double>(to - from - 1) / rate;
    return seconds > 0 ? changes / (2.0 * seconds) : 0.0;
}

struct TSource {
    const char* Name;
    int Rate;
    const char* Layout; // ffmpeg channel layout name
    int Channels;
};

const TSource Mono8k{"mono8k", 8000, "mono", 1};
const TSource Stereo22k{"stereo22k", 22050, "stereo", 2};
const TSource Stereo44k{"stereo44k", 44100, "stereo", 2};
const TSource Surround48k{"surround48k", 48000, "5.1", 6};
const TSource Stereo96k{"stereo96k", 96000, "stereo", 2};
const TSource Mono44k{"mono44k", 44100, "mono", 1};

// A tagged 1 kHz tone in 16-bit WAV.
std::string MakeSource(const TSource& s) {
    char args[512];
    std::snprintf(args, sizeof args,
                  "-f lavfi -i sine=frequency=1000:sample_rate=%d:duration=%.1f "
                  "-af aformat=channel_layouts=%s -c:a pcm_s16le -metadata title='%s' "
                  "-metadata artist='%s'",
                  s.Rate, SourceSeconds, s.Layout, Title, Artist);
    return testmedia::Make(Dir() + "/" + s.Name + ".wav", args);
}

struct TConvertCase {
    const char* Name;
    const TSource* Source;
    // The job, as the presets build it.
    const char* Extension;
    const char* Codec; // "" = the container's default encoder
    int Channels;      // -1 = the source's
    int Rate;          // -1 = the source's
    int Bitrate;       // -1 = none
    const char* ExtOptions;
    // The result.
    const char* ExpectCodec;
    int ExpectRate; // -1 = the rate asked for (or the source's)
    int FrameSize;  // samples of one encoder frame
    // Encoder delay the container cannot carry, in samples at the output rate.
    int UnmarkedDelay;
};

class EngineConvert : public TEngineTest, public ::testing::WithParamInterface<TConvertCase> {};

TEST_P(EngineConvert, ConvertsWithThePresetsParameters) {
    const TConvertCase& c = GetParam();
    const std::string source = MakeSource(*c.Source);
    ASSERT_FALSE(source.empty());
    const std::string out = Dir() + "/" + c.Name + c.Extension;
    fs::remove(out);

    TLogCapture log;
    TTestTask task;
    TInputOptions in;
    in.FileName = source;
    in.ExtOptions = "vn=1";
    task.ApplyInputOptions(in);
    ASSERT_TRUE(task.OpenInputFile(source)) << task.LastError;
    TOutputOptions o;
    o.Extension = c.Extension;
    o.AudioCodec = c.Codec;
    o.AudioChannels = c.Channels;
    o.AudioSampleRate = c.Rate;
    o.AudioBitrate = c.Bitrate;
    o.ExtOptions = c.ExtOptions;
    o.DisableSubtitle = true;
    const std::string ext = c.Extension;
    if (ext == ".wma" || ext == ".ogg" || ext == ".m4a")
        o.DisableVideo = true;
    if (ext == ".ogg")
        o.VideoCodec = "libtheora";
    ASSERT_GT(task.ApplyOutputOptions(out, o), 0) << task.LastError;
    task.Start(false);
    if (task.ErrorOccurred)
        for (const auto& e : log.Entries())
            ADD_FAILURE() << e.Msg;
    ASSERT_FALSE(task.ErrorOccurred) << task.ErrorMessage;
    ASSERT_TRUE(task.Finished);

    const int channels = c.Channels > 0 ? c.Channels : c.Source->Channels;
    const int rate = c.ExpectRate > 0 ? c.ExpectRate : c.Rate > 0 ? c.Rate : c.Source->Rate;
    EXPECT_EQ(Probe(out, "stream=codec_name"), c.ExpectCodec);
    EXPECT_EQ(Probe(out, "stream=sample_rate"), std::to_string(rate));
    EXPECT_EQ(Probe(out, "stream=channels"), std::to_string(channels));
    if (c.Bitrate > 0 &&
        (std::strcmp(c.ExpectCodec, "mp3") == 0 || std::strcmp(c.ExpectCodec, "mp2") == 0)) {
        EXPECT_EQ(Probe(out, "stream=bit_rate"), std::to_string(c.Bitrate));
    }

    const std::vector<int16_t> decoded = Decode(out, rate);
    const double seconds = static_cast<double>(decoded.size()) / rate;
    const double frame = static_cast<double>(std::max(c.FrameSize, 1)) / rate;
    const double delay = static_cast<double>(c.UnmarkedDelay) / rate;
    EXPECT_GE(seconds, SourceSeconds - frame) << "decoded " << decoded.size() << " samples";
    EXPECT_LE(seconds, SourceSeconds + frame + delay) << "decoded " << decoded.size() << " samples";
    EXPECT_NEAR(ToneFrequency(decoded, rate), 1000.0, 10.0);

    // The tags reach the container or the audio stream, whichever the format keeps; raw
    // ADTS and MPEG audio layer 2 streams keep none.
    if (ext == ".aac" || ext == ".mp2")
        return;
    const std::string tags = Shell("ffprobe -v error -show_entries format_tags:stream_tags "
                                   "-of default=nw=1 " +
                                   testmedia::Quote(out) + " 2>/dev/null");
    EXPECT_NE(tags.find(Title), std::string::npos) << tags;
    EXPECT_NE(tags.find(Artist), std::string::npos) << tags;
}

// The rows follow the preset table (AAC with FFmpeg's "aac" in place of "libfaac").
INSTANTIATE_TEST_SUITE_P(
    Presets, EngineConvert,
    ::testing::Values(
        // WAV
        TConvertCase{"Wav0", &Stereo44k, ".wav", "", 1, 11025, -1, "sample_fmt=s16", "pcm_s16le",
                     -1, 1, 0},
        TConvertCase{"Wav1", &Surround48k, ".wav", "", 1, 22050, -1, "sample_fmt=s16", "pcm_s16le",
                     -1, 1, 0},
        TConvertCase{"Wav2", &Mono8k, ".wav", "pcm_s24le", 2, 22050, -1, "", "pcm_s24le", -1, 1, 0},
        TConvertCase{"Wav3", &Stereo22k, ".wav", "pcm_s32le", 2, 48000, -1, "", "pcm_s32le", -1, 1,
                     0},
        TConvertCase{"Wav4", &Stereo96k, ".wav", "", 2, 44000, -1, "sample_fmt=s16", "pcm_s16le",
                     -1, 1, 0},
        // MP3
        TConvertCase{"Mp3_0", &Stereo44k, ".mp3", "libmp3lame", 2, 44100, 112000, "", "mp3", -1,
                     1152, 0},
        TConvertCase{"Mp3_1", &Mono8k, ".mp3", "libmp3lame", 2, 48000, 128000, "", "mp3", -1, 1152,
                     0},
        TConvertCase{"Mp3_2", &Surround48k, ".mp3", "libmp3lame", 2, 48000, 256000, "", "mp3", -1,
                     1152, 0},
        TConvertCase{"Mp3_3", &Stereo96k, ".mp3", "libmp3lame", 2, 48000, 320000, "", "mp3", -1,
                     1152, 0},
        // WMA
        TConvertCase{"Wma0", &Stereo22k, ".wma", "wmav2", 2, 48000, 192000, "", "wmav2", -1, 2048,
                     0},
        TConvertCase{"Wma1", &Stereo44k, ".wma", "wmav2", 2, 44100, 96000, "", "wmav2", -1, 2048,
                     0},
        TConvertCase{"Wma2", &Mono44k, ".wma", "wmav2", 2, 44100, 128000, "", "wmav2", -1, 2048, 0},
        TConvertCase{"Wma3", &Surround48k, ".wma", "wmav2", 2, 44100, 128000, "", "wmav2", -1, 2048,
                     0},
        TConvertCase{"Wma4", &Stereo96k, ".wma", "wmav2", 2, 48000, -1, "", "wmav2", -1, 2048, 0},
        // OGG: no channel count; the source's stays
        TConvertCase{"Ogg0", &Stereo44k, ".ogg", "libvorbis", -1, 11025, -1, "aq=4.97", "vorbis",
                     -1, 1, 0},
        TConvertCase{"Ogg1", &Mono8k, ".ogg", "libvorbis", -1, 22050, -1, "aq=4.97", "vorbis", -1,
                     1, 0},
        TConvertCase{"Ogg2", &Stereo22k, ".ogg", "libvorbis", -1, 22050, -1, "aq=4.97", "vorbis",
                     -1, 1, 0},
        TConvertCase{"Ogg3", &Surround48k, ".ogg", "libvorbis", -1, 44100, -1, "aq=4.97", "vorbis",
                     -1, 1, 0},
        TConvertCase{"Ogg4", &Stereo96k, ".ogg", "libvorbis", -1, 48000, -1, "aq=8.05", "vorbis",
                     -1, 1, 0},
        // AAC (ADTS cannot carry the encoder's delay)
        TConvertCase{"Aac0", &Stereo44k, ".aac", "aac", 1, 16000, 96000, "", "aac", -1, 1024, 1024},
        TConvertCase{"Aac1", &Mono8k, ".aac", "aac", 1, 22500, 112000, "", "aac", 22050, 1024,
                     1024},
        TConvertCase{"Aac2", &Surround48k, ".aac", "aac", 2, 22500, 224000, "", "aac", 22050, 1024,
                     1024},
        TConvertCase{"Aac3", &Stereo22k, ".aac", "aac", 2, 44100, 256000, "", "aac", -1, 1024,
                     1024},
        TConvertCase{"Aac4", &Stereo96k, ".aac", "aac", 2, 48000, 256000, "", "aac", -1, 1024,
                     1024},
        // M4A
        TConvertCase{"M4a0", &Mono44k, ".m4a", "", 2, 44100, 96000, "", "aac", -1, 1024, 0},
        TConvertCase{"M4a1", &Surround48k, ".m4a", "", 2, 44800, 256000, "", "aac", 44100, 1024, 0},
        // FLAC: the compression level only
        TConvertCase{"Flac0", &Stereo44k, ".flac", "flac", -1, -1, -1, "compression_level=0",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac1", &Mono8k, ".flac", "flac", -1, -1, -1, "compression_level=1", "flac",
                     -1, 1, 0},
        TConvertCase{"Flac2", &Stereo22k, ".flac", "flac", -1, -1, -1, "compression_level=2",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac3", &Surround48k, ".flac", "flac", -1, -1, -1, "compression_level=3",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac4", &Stereo96k, ".flac", "flac", -1, -1, -1, "compression_level=4",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac5", &Mono44k, ".flac", "flac", -1, -1, -1, "compression_level=5", "flac",
                     -1, 1, 0},
        TConvertCase{"Flac6", &Stereo44k, ".flac", "flac", -1, -1, -1, "compression_level=6",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac7", &Surround48k, ".flac", "flac", -1, -1, -1, "compression_level=7",
                     "flac", -1, 1, 0},
        TConvertCase{"Flac8", &Stereo96k, ".flac", "flac", -1, -1, -1, "compression_level=8",
                     "flac", -1, 1, 0},
        // MP2 (the container cannot carry the encoder's delay)
        TConvertCase{"Mp2_0", &Stereo44k, ".mp2", "", 1, 22050, 96000, "", "mp2", -1, 1152, 0},
        TConvertCase{"Mp2_1", &Surround48k, ".mp2", "", 1, 22050, 112000, "", "mp2", -1, 1152, 0},
        TConvertCase{"Mp2_2", &Mono8k, ".mp2", "", 2, 22050, 128000, "", "mp2", -1, 1152, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
