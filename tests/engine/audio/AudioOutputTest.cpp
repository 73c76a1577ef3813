// The audio path on synthetic frames: pre-processing (OnAudioHook, "vol"), audio output with
// its resampler, converter and sync, the FIFO framing of framed encoders and the drain. Each
// test builds an encoder and a muxer writing to a temporary file and feeds decoded frames as
// the run would.
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "audio/Audio.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

std::string TempFile(const std::string& name) {
    return testmedia::TempDir("EngineAudio") + "/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<int16_t> ReadS16(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The packet lines of a "framecrc" file: stream, dts, pts, duration, size.
struct TPacketLine {
    int64_t dts, pts, duration, size;
};
std::vector<TPacketLine> ReadFrameCrc(const std::string& path) {
    std::ifstream in(path);
    std::vector<TPacketLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        int64_t stream;
        TPacketLine p{};
        char comma;
        fields >> stream >> comma >> p.dts >> comma >> p.pts >> comma >> p.duration >> comma >>
            p.size;
        lines.push_back(p);
    }
    return lines;
}

// A sample in the units of its format (integers as they are, floats as they are).
uint8_t* SampleAddress(AVFrame* f, int ch, int i) {
    const auto format = static_cast<AVSampleFormat>(f->format);
    const int bps = ff::av_get_bytes_per_sample(format);
    if (ff::av_sample_fmt_is_planar(format))
        return f->extended_data[ch] + static_cast<ptrdiff_t>(i) * bps;
    return f->extended_data[0] + (static_cast<ptrdiff_t>(i) * f->ch_layout.nb_channels + ch) * bps;
}

void SetSample(AVFrame* f, int ch, int i, double v) {
    uint8_t* p = SampleAddress(f, ch, i);
    switch (ff::av_get_packed_sample_fmt(static_cast<AVSampleFormat>(f->format))) {
    case AV_SAMPLE_FMT_U8:
        *p = static_cast<uint8_t>(v);
        break;
    case AV_SAMPLE_FMT_S16:
        *reinterpret_cast<int16_t*>(p) = static_cast<int16_t>(v);
        break;
    case AV_SAMPLE_FMT_S32:
        *reinterpret_cast<int32_t*>(p) = static_cast<int32_t>(v);
        break;
    case AV_SAMPLE_FMT_FLT:
        *reinterpret_cast<float*>(p) = static_cast<float>(v);
        break;
    case AV_SAMPLE_FMT_DBL:
        *reinterpret_cast<double*>(p) = v;
        break;
    default:
        FAIL() << "format not handled by the test";
    }
}

double GetSample(AVFrame* f, int ch, int i) {
    uint8_t* p = SampleAddress(f, ch, i);
    switch (ff::av_get_packed_sample_fmt(static_cast<AVSampleFormat>(f->format))) {
    case AV_SAMPLE_FMT_U8:
        return *p;
    case AV_SAMPLE_FMT_S16:
        return *reinterpret_cast<int16_t*>(p);
    case AV_SAMPLE_FMT_S32:
        return *reinterpret_cast<int32_t*>(p);
    case AV_SAMPLE_FMT_FLT:
        return *reinterpret_cast<float*>(p);
    case AV_SAMPLE_FMT_DBL:
        return *reinterpret_cast<double*>(p);
    default:
        return NAN;
    }
}

using TSampleValue = std::function<double(int ch, int64_t n)>;

// A decoded chunk; `first` is the index of its first sample in the whole signal.
TFramePtr MakeFrame(AVSampleFormat format, int channels, int rate, int samples,
                    const TSampleValue& value, int64_t first = 0) {
    TFramePtr f(ff::av_frame_alloc());
    f->format = format;
    f->sample_rate = rate;
    f->nb_samples = samples;
    ff::av_channel_layout_default(&f->ch_layout, channels);
    EXPECT_EQ(ff::av_frame_get_buffer(f.get(), 0), 0);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < samples; ++i)
            SetSample(f.get(), ch, i, value(ch, first + i));
    return f;
}

TSampleValue Sine(int rate, double amplitude = 10000, double frequency = 1000) {
    return [=](int, int64_t n) { return amplitude * std::sin(2 * Pi * frequency * n / rate); };
}

// Sign changes of one channel of interleaved samples from `begin` to `end`.
int SignChanges(const std::vector<int16_t>& s, int channels, int ch, size_t begin, size_t end) {
    int changes = 0;
    for (size_t i = begin + 1; i < end; ++i)
        if ((s[(i - 1) * channels + ch] < 0) != (s[i * channels + ch] < 0))
            ++changes;
    return changes;
}

class EngineAudioOutput : public TEngineTest {
protected:
    TTestTask task;
    EngineInputStream ist;
    EngineOutputStream ost;
    TFormatContextPtr muxer;
    std::string path;
    TLogLevel savedLevel = FFLogger()->LogLevel();

    void TearDown() override {
        if (muxer && muxer->pb)
            ff::avio_closep(&muxer->pb);
        FFLogger()->SetLogLevel(savedLevel);
    }

    // An open encoder, a muxer of `format` writing `name` with the header written, and an
    // input stream whose decoder delivers `decFormat`, `decRate`, `decChannels`.
    void Prepare(const char* encoder, AVSampleFormat encFormat, int encRate, int encChannels,
                 const char* format, const std::string& name, AVSampleFormat decFormat, int decRate,
                 int decChannels) {
        const AVCodec* codec = ff::avcodec_find_encoder_by_name(encoder);
        ASSERT_NE(codec, nullptr) << encoder;
        ost.encoder.reset(ff::avcodec_alloc_context3(codec));
        AVCodecContext* enc = ost.encoder.get();
        enc->sample_fmt = encFormat;
        enc->sample_rate = encRate;
        ff::av_channel_layout_default(&enc->ch_layout, encChannels);
        enc->time_base = AVRational{1, encRate};
        if (codec->id == AV_CODEC_ID_MP3 || codec->id == AV_CODEC_ID_MP2)
            enc->bit_rate = 128000;
        ASSERT_EQ(ff::avcodec_open2(enc, codec, nullptr), 0) << encoder;

        path = TempFile(name);
        AVFormatContext* raw = nullptr;
        ASSERT_GE(ff::avformat_alloc_output_context2(&raw, nullptr, format, path.c_str()), 0);
        muxer.reset(raw);
        ost.stream = ff::avformat_new_stream(raw, nullptr);
        ASSERT_NE(ost.stream, nullptr);
        ASSERT_GE(ff::avcodec_parameters_from_context(ost.stream->codecpar, enc), 0);
        ost.stream->time_base = enc->time_base;
        ASSERT_GE(ff::avio_open2(&raw->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
        ASSERT_GE(ff::avformat_write_header(raw, nullptr), 0);

        ist.fileIndex = 0;
        ist.streamIndex = 1;
        ist.decoder.reset(ff::avcodec_alloc_context3(nullptr));
        ist.decoder->sample_fmt = decFormat;
        ist.decoder->sample_rate = decRate;
        ff::av_channel_layout_default(&ist.decoder->ch_layout, decChannels);
        ost.syncInput = &ist;
        ost.encodingNeeded = 1;
        task.InitAudioOutput(ost, ist.decoder.get());
    }

    // One decode round at input time `pts` (microseconds).
    void Feed(AVFrame* frame, int64_t pts) {
        ist.pts = pts;
        task.AudioPreprocess(ist, frame);
        task.DoAudioOut(muxer.get(), ost, ist, frame);
    }

    void Finish() {
        task.FlushAudioEncoder(muxer.get(), ost);
        ASSERT_GE(ff::av_write_trailer(muxer.get()), 0);
        ff::avio_closep(&muxer->pb);
    }

    int FifoSamples() const { return ff::av_audio_fifo_size(ost.fifo.get()); }
};

// ---- audio output

TEST_F(EngineAudioOutput, SameFormatGoesStraightToTheEncoder) {
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 2, "s16le", "same.raw", AV_SAMPLE_FMT_S16, 44100,
            2);
    const auto value = [](int ch, int64_t n) { return static_cast<double>(n % 20000 - ch * 7); };
    for (int k = 0; k < 5; ++k) {
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S16, 2, 44100, 4410, value, k * 4410);
        Feed(f.get(), k * 100000);
        EXPECT_EQ(ost.syncOpts, (k + 1) * 4410);
    }
    EXPECT_EQ(ost.audioResample, 0);
    EXPECT_EQ(ost.resampler, nullptr);
    EXPECT_EQ(ost.reformatter, nullptr);
    Finish();

    const std::vector<int16_t> out = ReadS16(path);
    ASSERT_EQ(out.size(), 5u * 4410 * 2);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], value(static_cast<int>(i % 2), static_cast<int64_t>(i / 2))) << i;
    EXPECT_EQ(task.AudioSize, static_cast<int64_t>(out.size() * 2));
}

TEST_F(EngineAudioOutput, ResamplesAndRebuildsTheResamplerWhenTheInputChanges) {
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 2, "s16le", "resampled.raw", AV_SAMPLE_FMT_S16,
            48000, 2);
    TLogCapture log;
    const TSampleValue sine = Sine(48000);
    // One second of stereo, then one second of mono, in chunks of 100 ms.
    for (int k = 0; k < 20; ++k) {
        const int channels = k < 10 ? 2 : 1;
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S16, channels, 48000, 4800, sine, k * 4800);
        Feed(f.get(), k * 100000);
        ASSERT_NE(ost.resampler, nullptr) << k;
        EXPECT_EQ(ost.audioResample, 1);
    }
    Finish();

    const std::vector<TLogCapture::TEntry> changed = log.Matching("frame changed");
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].Msg, "Input stream #0.1 frame changed from rate:48000 fmt:s16 ch:2 to "
                              "rate:48000 fmt:s16 ch:1");
    EXPECT_EQ(changed[0].Level, llInfo);

    const std::vector<int16_t> out = ReadS16(path);
    const size_t frames = out.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 88200, 32);
    // A 1 kHz tone stays a 1 kHz tone: 2000 sign changes a second.
    EXPECT_NEAR(SignChanges(out, 2, 0, 1000, 1000 + 44100), 2000, 2);
    EXPECT_NEAR(SignChanges(out, 2, 0, 45000, 45000 + 44100 / 2), 1000, 2);
    // Mono reaches both channels alike, at full level.
    for (size_t i = 45000; i < frames; ++i)
        ASSERT_EQ(out[2 * i], out[2 * i + 1]) << i;
    int16_t peak = 0;
    for (size_t i = 46000; i < frames - 1000; ++i)
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(out[2 * i])));
    EXPECT_NEAR(peak, 10000, 20);
}

TEST_F(EngineAudioOutput, FloatToS16AtTheSameRateUsesTheConverterOnly) {
    // Without dither the conversion is exact (dither: the next test).
    task.ParseOption("dither_method", "none");
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 2, "s16le", "converted.raw", AV_SAMPLE_FMT_FLT,
            44100, 2);
    const auto value = [](int ch, int64_t n) { return ch == 0 ? 0.5 : (n % 2 ? -0.25 : 0.0); };
    for (int k = 0; k < 3; ++k) {
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_FLT, 2, 44100, 1000, value, k * 1000);
        Feed(f.get(), k * 1000 * 1000000LL / 44100);
    }
    EXPECT_EQ(ost.resampler, nullptr);
    EXPECT_EQ(ost.audioResample, 0);
    ASSERT_NE(ost.reformatter, nullptr);
    EXPECT_EQ(ost.reformatPair, AV_SAMPLE_FMT_S16 + AV_SAMPLE_FMT_NB * AV_SAMPLE_FMT_FLT);
    Finish();

    const std::vector<int16_t> out = ReadS16(path);
    ASSERT_EQ(out.size(), 3000u * 2);
    for (size_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(out[2 * i], 16384) << i;
        ASSERT_EQ(out[2 * i + 1], i % 2 ? -8192 : 0) << i;
    }
}

// Float to s16 loses bits: the converter adds triangular dither of one step, so that the
// samples scatter around the exact value without bias. s16 to s16 through the resampler
// gets none.
TEST_F(EngineAudioOutput, FloatToS16IsDitheredByDefault) {
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 1, "s16le", "dithered.raw", AV_SAMPLE_FMT_FLT,
            44100, 1);
    // 1000.25 steps: plain rounding would give 1000 everywhere.
    const auto value = [](int, int64_t) { return 1000.25 / 32768; };
    for (int k = 0; k < 10; ++k) {
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_FLT, 1, 44100, 4410, value, k * 4410);
        Feed(f.get(), k * 100000);
    }
    ASSERT_NE(ost.reformatter, nullptr);
    Finish();

    const std::vector<int16_t> out = ReadS16(path);
    ASSERT_EQ(out.size(), 44100u);
    double sum = 0;
    size_t exact = 0;
    for (int16_t v : out) {
        ASSERT_LE(std::abs(v - 1000), 2) << v;
        sum += v;
        exact += v == 1000;
    }
    EXPECT_NEAR(sum / static_cast<double>(out.size()), 1000.25, 0.05);
    EXPECT_LT(exact, out.size() * 9 / 10);
}

// The resampler's warning (written as the old generation did) once per resampler made for
// a non-s16 input; none for s16; and no "frame changed" line for a decoder that never changed.
class EngineAudioResamplerLines : public EngineAudioOutput {
protected:
    void Run(AVSampleFormat format) {
        Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 2, "s16le", "warned.raw", format, 48000, 2);
        TLogCapture log;
        const TSampleValue sine = Sine(48000, format == AV_SAMPLE_FMT_S16 ? 10000 : 0.3);
        for (int k = 0; k < 5; ++k) {
            TFramePtr f = MakeFrame(format, 2, 48000, 4800, sine, k * 4800);
            Feed(f.get(), k * 100000);
        }
        Finish();
        warnings = log.Matching("Warning, using s16 intermediate sample format for resampling");
        changed = log.Matching("frame changed");
    }
    std::vector<TLogCapture::TEntry> warnings, changed;
};

TEST_F(EngineAudioResamplerLines, FloatInputIsWarnedOnce) {
    Run(AV_SAMPLE_FMT_FLTP);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].Level, llWarning);
    EXPECT_TRUE(changed.empty());
}

TEST_F(EngineAudioResamplerLines, S16InputIsNotWarned) {
    Run(AV_SAMPLE_FMT_S16);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(changed.empty());
}

TEST_F(EngineAudioOutput, UnframedEncoderOf24BitSamples) {
    Prepare("pcm_s24le", AV_SAMPLE_FMT_S32, 44100, 2, "s24le", "s24.raw", AV_SAMPLE_FMT_S32, 44100,
            2);
    const auto value = [](int ch, int64_t n) {
        return static_cast<double>(static_cast<int32_t>(0x12345600u + (n << 9) + (ch << 8)));
    };
    TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S32, 2, 44100, 3000, value);
    Feed(f.get(), 0);
    EXPECT_EQ(ost.syncOpts, 3000);
    Finish();

    const std::vector<uint8_t> out = ReadFile(path);
    ASSERT_EQ(out.size(), 3000u * 2 * 3);
    for (size_t i = 0; i < 3000 * 2; ++i) {
        const uint32_t top = static_cast<uint32_t>(value(static_cast<int>(i % 2), i / 2)) >> 8;
        const uint32_t got = out[3 * i] | out[3 * i + 1] << 8 | out[3 * i + 2] << 16;
        ASSERT_EQ(got, top & 0xffffff) << i;
    }
}

// A planar float encoder: the FIFO and the output clock count samples, not bytes.
TEST_F(EngineAudioOutput, Mp3FramesAreCutFromTheFifo) {
    Prepare("libmp3lame", AV_SAMPLE_FMT_FLTP, 32000, 2, "framecrc", "mp3.crc", AV_SAMPLE_FMT_S16,
            32000, 2);
    ASSERT_EQ(ost.encoder->frame_size, 1152);
    const TSampleValue sine = Sine(32000);
    for (int k = 0; k < 5; ++k) {
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S16, 2, 32000, 1000, sine, k * 1000);
        Feed(f.get(), k * 31250); // 1000 samples at 32 kHz
        const int held = (k + 1) * 1000 % 1152;
        EXPECT_EQ(FifoSamples(), held) << k;
        EXPECT_EQ(ost.syncOpts, (k + 1) * 1000 - held) << k;
    }
    Finish();
    EXPECT_EQ(FifoSamples(), 0);
    EXPECT_EQ(ost.syncOpts, 5000);
    // Every sample is encoded, the last ones in a short frame: the output ends at sample 5000
    // (packet times start at minus the encoder's priming samples).
    int64_t total = 0;
    for (const TPacketLine& p : ReadFrameCrc(path))
        total += p.duration;
    EXPECT_EQ(total - ost.encoder->initial_padding, 5000);
    EXPECT_EQ(ost.lastEndTime, 5000);
    EXPECT_GT(task.AudioSize, 0);
}

// The rest of the FIFO at the end: a short last frame where the encoder takes one, else a
// full frame padded with silence.
TEST_F(EngineAudioOutput, LastFrameShortOrPadded) {
    struct TCase {
        const char* encoder;
        bool takesShortFrame;
        std::vector<int64_t> durations;
    };
    const TCase cases[] = {
        {"mp2", false, {1152, 1152, 1152}},
        {"flac", true, {3000}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.encoder);
        ost = EngineOutputStream();
        if (muxer && muxer->pb)
            ff::avio_closep(&muxer->pb);
        Prepare(c.encoder, AV_SAMPLE_FMT_S16, 44100, 2, "framecrc",
                std::string(c.encoder) + "-last.crc", AV_SAMPLE_FMT_S16, 44100, 2);
        const bool takesShort = ost.encoder->codec->capabilities &
                                (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
        ASSERT_EQ(takesShort, c.takesShortFrame);
        const TSampleValue sine = Sine(44100);
        for (int k = 0; k < 3; ++k) {
            TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S16, 2, 44100, 1000, sine, k * 1000);
            Feed(f.get(), k * 1000 * 1000000LL / 44100);
        }
        Finish();
        std::vector<int64_t> durations;
        for (const TPacketLine& p : ReadFrameCrc(path))
            if (p.size > 0) // not the encoder's closing side data
                durations.push_back(p.duration);
        EXPECT_EQ(durations, c.durations);
        int64_t total = 0;
        for (int64_t d : c.durations)
            total += d;
        EXPECT_EQ(ost.lastEndTime, total - ost.encoder->initial_padding);
    }
}

// ---- audio sync

TEST_F(EngineAudioOutput, StartOffsetIsFilledWithSilence) {
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 1, "s16le", "offset.raw", AV_SAMPLE_FMT_S16,
            44100, 1);
    task.AudioSyncMethod = 1;
    task.Verbose = 3;
    FFLogger()->SetLogLevel(llVerbose);
    TLogCapture log;
    const auto value = [](int, int64_t n) { return static_cast<double>(n % 1000 + 1); };
    TFramePtr first = MakeFrame(AV_SAMPLE_FMT_S16, 1, 44100, 4410, value);
    Feed(first.get(), 500000);
    EXPECT_EQ(ist.isStart, 0);
    EXPECT_EQ(ost.syncOpts, 22050 + 4410);
    // 20 ms late: a drift below 0.1 s is left alone.
    TFramePtr second = MakeFrame(AV_SAMPLE_FMT_S16, 1, 44100, 4410, value, 4410);
    Feed(second.get(), 620000);
    Finish();

    const std::vector<TLogCapture::TEntry> added = log.Matching("audio samples of silence");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].Msg, "adding 22050 audio samples of silence");
    EXPECT_EQ(added[0].Level, llVerbose);
    const std::vector<int16_t> out = ReadS16(path);
    ASSERT_EQ(out.size(), 22050u + 2 * 4410);
    for (size_t i = 0; i < 22050; ++i)
        ASSERT_EQ(out[i], 0) << i;
    for (size_t i = 0; i < 2 * 4410; ++i)
        ASSERT_EQ(out[22050 + i], value(0, static_cast<int64_t>(i))) << i;
}

TEST_F(EngineAudioOutput, OutputAheadDropsTheOldestSamples) {
    struct TCase {
        AVSampleFormat format; // of the decoded stereo chunk
        int isStart;
        int64_t ahead;       // samples the output clock is ahead of the input
        size_t keptSamples;  // of a 4410-sample chunk
        const char* message; // the log line
    };
    const TCase cases[] = {
        {AV_SAMPLE_FMT_S16, 1, 1000, 3410, "discarding 1000 audio samples"},
        {AV_SAMPLE_FMT_S16P, 1, 1000, 3410, "discarding 1000 audio samples"},
        {AV_SAMPLE_FMT_S16, 0, 441000, 0, "discarding 441000 audio samples"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.message) + " " + ff::av_get_sample_fmt_name(c.format));
        ost = EngineOutputStream();
        if (muxer && muxer->pb)
            ff::avio_closep(&muxer->pb);
        Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 2, "s16le",
                "ahead" + std::to_string(c.ahead) + ff::av_get_sample_fmt_name(c.format) + ".raw",
                c.format, 44100, 2);
        task.AudioSyncMethod = 1;
        task.Verbose = 3;
        task.AudioSize = 0;
        FFLogger()->SetLogLevel(llVerbose);
        TLogCapture log;
        ist.isStart = c.isStart;
        ost.syncOpts = c.ahead;
        const auto value = [](int ch, int64_t n) { return static_cast<double>(n % 30000 - ch); };
        TFramePtr f = MakeFrame(c.format, 2, 44100, 4410, value);
        Feed(f.get(), 0);
        Finish();

        ASSERT_EQ(log.Matching("discarding").size(), 1u);
        EXPECT_EQ(log.Matching("discarding")[0].Msg, c.message);
        const std::vector<int16_t> out = ReadS16(path);
        ASSERT_EQ(out.size(), 2 * c.keptSamples);
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], value(static_cast<int>(i % 2),
                                    static_cast<int64_t>(4410 - c.keptSamples + i / 2)))
                << i;
        EXPECT_EQ(task.AudioSize, static_cast<int64_t>(4 * c.keptSamples));
        EXPECT_EQ(ist.isStart, 0);
    }
}

// "async" above 1: a small drift is absorbed by the resampler, which stays even though the
// input already has the encoder's parameters.
TEST_F(EngineAudioOutput, SoftCompensationKeepsAResampler) {
    task.AudioSyncMethod = 100;
    Prepare("pcm_s16le", AV_SAMPLE_FMT_S16, 44100, 1, "s16le", "soft.raw", AV_SAMPLE_FMT_S16, 44100,
            1);
    task.Verbose = 3;
    FFLogger()->SetLogLevel(llVerbose);
    TLogCapture log;
    ist.isStart = 0;
    const TSampleValue sine = Sine(44100);
    for (int k = 0; k < 10; ++k) {
        TFramePtr f = MakeFrame(AV_SAMPLE_FMT_S16, 1, 44100, 4410, sine, k * 4410);
        Feed(f.get(), k * 100000 + 10000); // the input runs 10 ms (441 samples) ahead
        ASSERT_NE(ost.resampler, nullptr);
    }
    Finish();

    const std::vector<TLogCapture::TEntry> comp = log.Matching("compensating");
    ASSERT_FALSE(comp.empty());
    EXPECT_EQ(comp[0].Msg,
              "compensating audio timestamp drift:441.000000 compensation:100 in:44100");
    EXPECT_TRUE(log.Matching("audio samples").empty()); // no hard correction
    const size_t produced = ReadS16(path).size();
    EXPECT_GT(produced, 44100u + 50);
    EXPECT_LT(produced, 44100u + 441);
}

// ---- pre-processing

TEST_F(EngineAudioOutput, VolumeInTheDecodedFormat) {
    struct TCase {
        AVSampleFormat format;
        std::vector<double> in, out;
    };
    const TCase cases[] = {
        {AV_SAMPLE_FMT_S16, {20000, -100, -32768, 1}, {32767, -200, -32768, 2}},
        {AV_SAMPLE_FMT_S16P, {20000, -100, -20000, 3}, {32767, -200, -32768, 6}},
        {AV_SAMPLE_FMT_S32, {2e9, -100, 65536, 7}, {2147483647, -200, 131072, 14}},
        {AV_SAMPLE_FMT_U8, {200, 100, 128, 129}, {255, 72, 128, 130}},
        {AV_SAMPLE_FMT_FLT, {0.25, -0.75, 0.5, 1}, {0.5, -1.5, 1, 2}},
        {AV_SAMPLE_FMT_FLTP, {0.25, -0.75, 0.5, 1}, {0.5, -1.5, 1, 2}},
        {AV_SAMPLE_FMT_DBL, {0.125, -0.5, 0, 1}, {0.25, -1, 0, 2}},
    };
    task.AudioVolume = 512;
    for (const TCase& c : cases) {
        SCOPED_TRACE(ff::av_get_sample_fmt_name(c.format));
        const std::vector<double>& in = c.in;
        TFramePtr f =
            MakeFrame(c.format, 2, 44100, 2, [&](int ch, int64_t n) { return in[2 * n + ch]; });
        task.AudioPreprocess(ist, f.get());
        for (int i = 0; i < 4; ++i)
            EXPECT_DOUBLE_EQ(GetSample(f.get(), i % 2, i / 2), c.out[i]) << i;
    }
}

TEST_F(EngineAudioOutput, AudioHookSeesAndChangesTheSamples) {
    struct TCall {
        std::vector<float> samples;
        int64_t pts;
        int size, rate, channels;
        AVSampleFormat format;
    };
    std::vector<TCall> calls;
    task.OnAudioHook = [&](TCustomFFmpeg* sender, uint8_t* samples, int64_t pts, int size, int rate,
                           int channels, AVSampleFormat format) {
        EXPECT_EQ(sender, &task);
        float* s = reinterpret_cast<float*>(samples);
        calls.push_back({std::vector<float>(s, s + size / 4), pts, size, rate, channels, format});
        for (int i = 0; i < size / 4; ++i)
            s[i] = -s[i];
    };
    ist.pts = 123456;
    const auto value = [](int ch, int64_t n) { return ch * 10 + n + 1.0; };
    for (AVSampleFormat format : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT}) {
        SCOPED_TRACE(ff::av_get_sample_fmt_name(format));
        calls.clear();
        TFramePtr f = MakeFrame(format, 2, 22050, 3, value);
        task.AudioPreprocess(ist, f.get());
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].pts, 123456);
        EXPECT_EQ(calls[0].size, 3 * 2 * 4);
        EXPECT_EQ(calls[0].rate, 22050);
        EXPECT_EQ(calls[0].channels, 2);
        EXPECT_EQ(calls[0].format, format);
        const std::vector<float> expected = format == AV_SAMPLE_FMT_FLTP
                                                ? std::vector<float>{1, 2, 3, 11, 12, 13}
                                                : std::vector<float>{1, 11, 2, 12, 3, 13};
        EXPECT_EQ(calls[0].samples, expected);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(GetSample(f.get(), ch, i), -value(ch, i));
    }
}

} // namespace
