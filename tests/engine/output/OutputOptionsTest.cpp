// Applying an output description (TOutputOptions) to a task: the encoder settings of the
// application's presets for every container it writes, targets, the creation time and tags,
// extra streams and the kept copy of the record.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "../common/MediaFixture.h"
#include "EngineTestEnv.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

class EngineOutputRecords : public TEngineTest {
protected:
    static std::string OutPath(const std::string& name) {
        const std::string path = testmedia::TempDir("engine-output") + "/" + name;
        fs::remove(path);
        return path;
    }

    static std::string Tag(const AVDictionary* dict, const char* key) {
        const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
        return e != nullptr ? e->value : "(none)";
    }
};

TEST_F(EngineOutputRecords, PresetLikeRecordGivesTheEncoderSettings) {
    TTestTask task;
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.AudioChannels = 1;
    o.AudioSampleRate = 32000;
    o.AudioBitrate = 96000;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    o.ExtOptions = "compression_level=5<CRLF>sample_fmt=s16";
    const std::string out = OutPath("record.flac");
    ASSERT_EQ(task.ApplyOutputOptions(out, o), 1) << task.LastError;

    ASSERT_EQ(task.OutputStreams.at(0).size(), 1u);
    const AVCodecContext* enc = task.OutputStreams[0][0]->encoder.get();
    EXPECT_STREQ(enc->codec->name, "flac");
    EXPECT_EQ(enc->ch_layout.nb_channels, 1);
    EXPECT_EQ(enc->sample_rate, 32000);
    EXPECT_EQ(enc->bit_rate, 96000);
    EXPECT_EQ(enc->compression_level, 5);
    EXPECT_EQ(enc->sample_fmt, AV_SAMPLE_FMT_S16);
    ASSERT_NE(task.OutputCodecs.at(0), nullptr);
    EXPECT_STREQ(task.OutputCodecs[0]->name, "flac");

    // The task keeps a copy, with the name it was given.
    ASSERT_NE(task.KeptOutputOptions(), nullptr);
    EXPECT_EQ(task.KeptOutputOptions()->FileName, out);
    EXPECT_EQ(task.KeptOutputOptions()->ExtOptions, o.ExtOptions);
}

// Every container the application writes, with one of its presets, on a source without a
// channel layout: the encoder it gets, its settings, and that the encoder opens and the
// container takes the stream.
struct TContainerCase {
    const char* Label;
    const char* Extension;
    const char* Codec; // "" = the container's default
    int Channels;      // -1 = the source's (stereo)
    int SampleRate;
    int Bitrate;
    const char* ExtOptions;
    bool DisableVideo;
    const char* VideoCodec;
    // Expected:
    const char* Encoder;
    int Rate;
    int64_t Quality; // global quality, -1 = not fixed
};

void PrintTo(const TContainerCase& c, std::ostream* os) {
    *os << c.Label;
}

class EngineOutputContainers : public EngineOutputRecords,
                               public ::testing::WithParamInterface<TContainerCase> {};

TEST_P(EngineOutputContainers, PresetGivesAnEncoderThatOpensAndAStreamTheContainerTakes) {
    const TContainerCase& c = GetParam();
    const int channels = c.Channels > 0 ? c.Channels : 2;
    TTestTask task;
    // What opening a plain WAV source leaves (no channel layout), and "vn=1" of the input side.
    task.ChannelLayout = 0;
    task.AudioChannels = channels;
    task.AudioSampleRate = 44100;
    task.AudioSampleFmt = AV_SAMPLE_FMT_FLTP;
    task.ParseOption("vn", "1");

    TOutputOptions o;
    o.AudioCodec = c.Codec;
    o.AudioChannels = c.Channels;
    o.AudioSampleRate = c.SampleRate;
    o.AudioBitrate = c.Bitrate;
    o.ExtOptions = c.ExtOptions;
    o.DisableVideo = c.DisableVideo;
    o.VideoCodec = c.VideoCodec;
    o.DisableSubtitle = true;
    ASSERT_EQ(task.ApplyOutputOptions(OutPath(std::string("preset") + c.Extension), o), 1)
        << task.LastError;

    AVFormatContext* ctx = task.OutputFiles.at(0)->Context();
    ASSERT_EQ(ctx->nb_streams, 1u);
    AVCodecContext* enc = task.OutputStreams.at(0).at(0)->encoder.get();
    ASSERT_NE(enc->codec, nullptr);
    EXPECT_STREQ(enc->codec->name, c.Encoder);
    EXPECT_EQ(enc->sample_rate, c.Rate);
    EXPECT_EQ(enc->ch_layout.nb_channels, channels);
    if (c.Bitrate > 0) {
        EXPECT_EQ(enc->bit_rate, c.Bitrate);
    }
    if (c.Quality >= 0) {
        EXPECT_NE(enc->flags & AV_CODEC_FLAG_QSCALE, 0);
        EXPECT_EQ(enc->global_quality, c.Quality);
    }

    ASSERT_EQ(ff::avcodec_open2(enc, enc->codec, nullptr), 0);
    ASSERT_GE(ff::avcodec_parameters_from_context(ctx->streams[0]->codecpar, enc), 0);
    EXPECT_GE(ff::avformat_write_header(ctx, task.OutputFiles[0]->HeaderOptions()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Presets, EngineOutputContainers,
    ::testing::Values(
        TContainerCase{"Wav", ".wav", "", 1, 11025, -1, "sample_fmt=s16", false, "", "pcm_s16le",
                       11025, -1},
        TContainerCase{"Wav24", ".wav", "pcm_s24le", 2, 22050, -1, "", false, "", "pcm_s24le",
                       22050, -1},
        TContainerCase{"Mp3", ".mp3", "libmp3lame", 2, 48000, 128000, "", false, "", "libmp3lame",
                       48000, -1},
        TContainerCase{"Wma", ".wma", "wmav2", 2, 44100, 128000, "", true, "", "wmav2", 44100, -1},
        TContainerCase{"Ogg", ".ogg", "libvorbis", -1, 44100, -1, "aq=4.97", true, "libtheora",
                       "libvorbis", 44100, 586 /* 4.97 x 118 */},
        TContainerCase{"Aac", ".aac", "aac", 1, 22500, 112000, "", false, "", "aac", 22050, -1},
        TContainerCase{"M4a", ".m4a", "", 2, 44800, 256000, "", true, "", "aac", 44100, -1},
        TContainerCase{"Flac", ".flac", "flac", -1, -1, -1, "compression_level=8", false, "",
                       "flac", 44100, -1},
        TContainerCase{"Mp2", ".mp2", "", 1, 22050, 96000, "", false, "", "mp2", 22050, -1}),
    [](const ::testing::TestParamInfo<TContainerCase>& info) { return info.param.Label; });

TEST_F(EngineOutputRecords, AudioBitrateIsIgnoredUnderATarget) {
    TTestTask task;
    TOutputOptions o;
    o.TargetType = 1; // vcd
    o.NormType = 1;   // pal
    o.AudioBitrate = 128000;
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("target-record.mpg"), o), 1) << task.LastError;
    ASSERT_EQ(task.OutputStreams.at(0).size(), 2u);
    const AVCodecContext* audio = task.OutputStreams[0][1]->encoder.get();
    EXPECT_EQ(audio->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(audio->bit_rate, 224000);
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->width, 352);
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->height, 288);
}

TEST_F(EngineOutputRecords, OggWithTheoraAndVideoDisabledGetsOnlyAudio) {
    TTestTask task;
    TOutputOptions o;
    o.AudioCodec = "libvorbis";
    o.VideoCodec = "libtheora";
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("only-audio.ogg"), o), 1) << task.LastError;
    AVFormatContext* ctx = task.OutputFiles.at(0)->Context();
    ASSERT_EQ(ctx->nb_streams, 1u);
    EXPECT_EQ(ctx->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->codec_id, AV_CODEC_ID_VORBIS);
    // The video name was used up by no stream; video stays off for the next output.
    EXPECT_TRUE(task.VideoDisable);
}

// Sets TZ for the test's life: a zone with daylight saving time.
class TTimeZone {
public:
    explicit TTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TTimeZone(const TTimeZone&) = delete;
    TTimeZone& operator=(const TTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

// A date-time value (days since 30 December 1899) of a wall-clock moment.
double DateTime(int year, int month, int day, int hour) {
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    return static_cast<double>(timegm(&t)) / 86400.0 + 25569.0;
}

TEST_F(EngineOutputRecords, StreamInfoGivesCreationTimeWithTheStandardOffsetAndTags) {
    TTimeZone zone("EST5EDT");
    TTestTask task;
    TOutputOptions o;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    // Noon on a summer day in New York: the standard offset (UTC-5) counts, not daylight time.
    o.StreamInfo.Timestamp = DateTime(2021, 7, 1, 12);
    o.StreamInfo.Year = 2001;
    o.StreamInfo.Track = 0; // not a track number
    o.StreamInfo.Title = "Song";
    o.StreamInfo.Genre = "Jazz";
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("tags.m4a"), o), 1) << task.LastError;

    tm utc{};
    utc.tm_year = 2021 - 1900;
    utc.tm_mon = 6;
    utc.tm_mday = 1;
    utc.tm_hour = 17;
    EXPECT_EQ(task.RecordingTimestamp, static_cast<int64_t>(timegm(&utc)));
    const AVDictionary* meta = task.OutputFiles.at(0)->Context()->metadata;
    EXPECT_EQ(Tag(meta, "creation_time"), "2021-07-01T17:00:00.000000Z");
    EXPECT_EQ(Tag(meta, "year"), "2001");
    EXPECT_EQ(Tag(meta, "title"), "Song");
    EXPECT_EQ(Tag(meta, "genre"), "Jazz");
    EXPECT_EQ(Tag(meta, "track"), "(none)");
    EXPECT_EQ(Tag(meta, "album"), "(none)");
    EXPECT_FALSE(task.Metadata); // moved into the output
}

TEST_F(EngineOutputRecords, NoTimestampMeansNoCreationTime) {
    TTestTask task;
    TOutputOptions o; // Timestamp -1
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("no-time.m4a"), o), 1) << task.LastError;
    EXPECT_EQ(task.RecordingTimestamp, 0);
    EXPECT_EQ(Tag(task.OutputFiles.at(0)->Context()->metadata, "creation_time"), "(none)");
}

TEST_F(EngineOutputRecords, ExtraStreamsTakeTheUnusedLinesOfTheirKind) {
    TTestTask task;
    TOutputOptions o;
    o.DisableVideo = true;
    o.DisableSubtitle = true;
    o.ExtOptions = "acodec=mp2\nnewaudio=\nacodec=pcm_s16le\nnewaudio=\nab=64000";
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("extra.mkv"), o), 1) << task.LastError;
    ASSERT_EQ(task.OutputStreams.at(0).size(), 3u);
    // The first line is the default (the output's own stream) and the first extra stream's;
    // the second line is left for the second extra stream.
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(task.OutputStreams[0][1]->encoder->codec_id, AV_CODEC_ID_MP2);
    EXPECT_EQ(task.OutputStreams[0][2]->encoder->codec_id, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->bit_rate, 64000);
    EXPECT_EQ(task.OutputCodecs.size(), 3u);
}

TEST_F(EngineOutputRecords, RefusedOutputResetsTheKeptCopy) {
    TTestTask task;
    TOutputOptions o;
    o.AudioCodec = "libfaac"; // not in today's libraries
    EXPECT_EQ(task.ApplyOutputOptions(OutPath("refused.aac"), o), -1);
    EXPECT_EQ(task.LastError, "new_audio_stream fail: Unknown encoder 'libfaac'");
    EXPECT_EQ(task.KeptOutputOptions(), nullptr);
    EXPECT_EQ(task.OutputCount(), 0);
}

TEST_F(EngineOutputRecords, JoinRecordJoinsTheInputs) {
    const std::string input = testmedia::Make(testmedia::TempDir("engine-output") + "/stereo1s.wav",
                                              "-f lavfi -i sine=frequency=1000:duration=1 "
                                              "-ac 2 -ar 44100 -c:a pcm_s16le");
    ASSERT_FALSE(input.empty());
    TTestTask task(2);
    ASSERT_TRUE(task.OpenInputFile(input)) << task.LastError;
    ASSERT_TRUE(task.OpenInputFile(input)) << task.LastError;
    TOutputOptions o;
    o.Join = true;
    // The result counts the slots of join mode.
    ASSERT_EQ(task.ApplyOutputOptions(OutPath("joined-record.wav"), o), 2) << task.LastError;
    EXPECT_EQ(task.OutputFiles[0]->Context(), task.OutputFiles[1]->Context());
}

} // namespace
