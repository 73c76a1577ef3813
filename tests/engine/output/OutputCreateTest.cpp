// Creating outputs: the streams an output gets from its format, its inputs and the options,
// the failures with their texts, stream ids, the kept container options and join mode.
#include <filesystem>
#include <fstream>
#include <string>

#include "../common/MediaFixture.h"
#include "EngineTestEnv.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

std::string Dir() {
    return testmedia::TempDir("engine-output");
}

// A stereo 44.1 kHz tone of `seconds` seconds, 16-bit PCM.
std::string StereoWav(int seconds) {
    const std::string s = std::to_string(seconds);
    return testmedia::Make(Dir() + "/stereo" + s + "s.wav",
                           "-f lavfi -i sine=frequency=1000:duration=" + s +
                               " -ac 2 -ar 44100 -c:a pcm_s16le");
}

class EngineOutputCreate : public TEngineTest {
protected:
    void SetUp() override {
        TEngineTest::SetUp();
        for (int seconds : {1, 2, 3})
            ASSERT_FALSE(StereoWav(seconds).empty());
    }

    static std::string OutPath(const std::string& name) {
        const std::string path = Dir() + "/" + name;
        fs::remove(path);
        return path;
    }

    static size_t StreamCount(const TTestTask& task) {
        size_t n = 0;
        for (const auto& slot : task.OutputStreams)
            n += slot.size();
        return n;
    }
};

TEST_F(EngineOutputCreate, Mp3FromAudioOnlyInputGetsOneAudioStreamWithTheDefaultEncoder) {
    TTestTask task;
    ASSERT_TRUE(task.OpenInputFile(StereoWav(1))) << task.LastError;
    const std::string out = OutPath("default.mp3");
    ASSERT_EQ(task.CreateOutputFile(out, false), 1) << task.LastError;

    // The format's default video (a cover picture) is dropped: the input has no video.
    AVFormatContext* ctx = task.OutputFiles[0]->Context();
    ASSERT_EQ(ctx->nb_streams, 1u);
    EXPECT_EQ(ctx->streams[0]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(task.OutputStreams[0].size(), 1u);
    const EngineOutputStream& ost = *task.OutputStreams[0][0];
    EXPECT_EQ(ost.fileIndex, 0);
    EXPECT_EQ(ost.streamIndex, 0);
    EXPECT_EQ(ost.stream, ctx->streams[0]);
    ASSERT_TRUE(ost.encoder);
    ASSERT_NE(ost.encoder->codec, nullptr);
    EXPECT_STREQ(ost.encoder->codec->name, "libmp3lame");
    EXPECT_EQ(ost.encoder->codec_id, AV_CODEC_ID_MP3);
    // The input's rate and channels; no encoder was chosen by name.
    EXPECT_EQ(ost.encoder->sample_rate, 44100);
    EXPECT_EQ(ost.encoder->ch_layout.nb_channels, 2);
    ASSERT_EQ(task.OutputCodecs.size(), 1u);
    EXPECT_EQ(task.OutputCodecs[0], nullptr);
    // The file exists (opened for writing) and the forced options are consumed.
    EXPECT_TRUE(fs::exists(out));
    EXPECT_FALSE(task.JoinMode);
}

TEST_F(EngineOutputCreate, NamedEncoderBecomesTheOutputCodecsEntry) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("acodec", "pcm_s24le");
    ASSERT_EQ(task.CreateOutputFile(OutPath("named.wav"), false), 1) << task.LastError;
    ASSERT_EQ(task.OutputCodecs.size(), 1u);
    ASSERT_NE(task.OutputCodecs[0], nullptr);
    EXPECT_STREQ(task.OutputCodecs[0]->name, "pcm_s24le");
    EXPECT_EQ(task.OutputStreams[0][0]->encoder->codec_id, AV_CODEC_ID_PCM_S24LE);
    EXPECT_FALSE(task.AudioCodecName.has_value());
}

TEST_F(EngineOutputCreate, StreamIdAppliesToTheNextOutputOnly) {
    TTestTask task(2);
    task.ParseOption("streamid", "0:256");
    ASSERT_EQ(task.CreateOutputFile(OutPath("id-first.wav"), false), 1) << task.LastError;
    ASSERT_EQ(task.CreateOutputFile(OutPath("id-second.wav"), false), 2) << task.LastError;
    EXPECT_EQ(task.OutputFiles[0]->Context()->streams[0]->id, 256);
    EXPECT_EQ(task.OutputFiles[1]->Context()->streams[0]->id, 0);
    EXPECT_EQ(task.OutputStreams[1][0]->fileIndex, 1);
}

TEST_F(EngineOutputCreate, MuxerOptionsAreKeptForTheHeader) {
    TTestTask task;
    task.ParseOption("vn", "1");
    task.ParseOption("id3v2_version", "4"); // an option of the MP3 muxer only
    ASSERT_EQ(task.CreateOutputFile(OutPath("kept.mp3"), false), 1) << task.LastError;
    AVDictionary* kept = *task.OutputFiles[0]->HeaderOptions();
    const AVDictionaryEntry* version = ff::av_dict_get(kept, "id3v2_version", nullptr, 0);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version->value, "4");
    // The MP3 muxer has no preload of its own.
    EXPECT_EQ(ff::av_dict_get(kept, "preload", nullptr, 0), nullptr);
    EXPECT_EQ(task.OutputFiles[0]->Context()->max_delay, 700000);
}

// The failures of output creation: result, text, nothing left behind, and the task still
// usable for the next output with its stream tables in step.
struct TFailureCase {
    const char* Label;
    std::string Options; // name=value lines given before the output
    std::string Name;    // file name; {dir} stands for the test folder
    std::string Message; // expected LastError; {name} stands for the file name
};

void PrintTo(const TFailureCase& c, std::ostream* os) {
    *os << c.Label;
}

class EngineOutputCreateFailure : public EngineOutputCreate,
                                  public ::testing::WithParamInterface<TFailureCase> {};

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
        text.replace(at, what.size(), with), at += with.size();
    return text;
}

TEST_P(EngineOutputCreateFailure, FailsWithItsTextAndLeavesNothing) {
    const TFailureCase& c = GetParam();
    // A regular file standing where a folder is needed.
    const std::string blocker = Dir() + "/not-a-folder";
    std::ofstream(blocker) << "x";

    TTestTask task;
    ASSERT_TRUE(task.OpenInputFile(StereoWav(1))) << task.LastError;
    if (!c.Options.empty()) {
        const size_t eq = c.Options.find('=');
        task.ParseOption(c.Options.substr(0, eq), c.Options.substr(eq + 1));
    }
    const std::string name = Replace(c.Name, "{dir}", Dir());
    std::error_code ignored;
    fs::remove(name, ignored);
    EXPECT_EQ(task.CreateOutputFile(name, false), -1);
    EXPECT_EQ(task.LastError, Replace(c.Message, "{name}", name));
    EXPECT_EQ(task.OutputCount(), 0);
    EXPECT_TRUE(task.OutputStreams.empty());
    EXPECT_TRUE(task.OutputCodecs.empty());
    EXPECT_FALSE(fs::exists(name, ignored));

    task.ForcedFormat.clear(); // a forced format that was not found stays pending
    ASSERT_EQ(task.CreateOutputFile(OutPath("after-failure.wav"), false), 1) << task.LastError;
    EXPECT_EQ(task.OutputCodecs.size(), StreamCount(task));
    EXPECT_EQ(task.OutputFiles[0]->Context()->nb_streams, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineOutputCreateFailure,
    ::testing::Values(
        TFailureCase{"UnknownExtension", "", "{dir}/song.nosuchext",
                     "Unable to find a suitable output format for '{name}'"},
        TFailureCase{"UnknownForcedFormat", "f=nosuchformat", "{dir}/forced.wav",
                     "Requested output format 'nosuchformat' is not a suitable output format"},
        TFailureCase{"FeedFormatIsGone", "f=ffm", "{dir}/feed.ffm",
                     "Requested output format 'ffm' is not a suitable output format"},
        TFailureCase{"FolderCannotBeWritten", "", "{dir}/not-a-folder/out.wav",
                     "{name}: Not a directory"},
        TFailureCase{"NumberExpectedInName", "f=webm_chunk", "{dir}/chunk.webm",
                     "{name}: Number syntax expected in filename"},
        TFailureCase{"UnknownEncoder", "acodec=nosuchcodec", "{dir}/unknown-encoder.wav",
                     "new_audio_stream fail: Unknown encoder 'nosuchcodec'"},
        TFailureCase{"DecoderOnlyName", "acodec=mp3float", "{dir}/decoder-only.wav",
                     "new_audio_stream fail: Unknown encoder 'mp3float'"},
        TFailureCase{"WrongMediaType", "acodec=mpeg1video", "{dir}/wrong-type.wav",
                     "new_audio_stream fail: Invalid encoder type 'mpeg1video'"}),
    [](const ::testing::TestParamInfo<TFailureCase>& info) { return info.param.Label; });

TEST_F(EngineOutputCreate, RefusedVideoSettingFailsTheOutput) {
    TTestTask task;
    task.ParseOption("an", "1");
    task.ParseOption("rc_override", "0,100");
    EXPECT_EQ(task.CreateOutputFile(OutPath("override.mpg"), false), -1);
    EXPECT_EQ(task.LastError, "new_video_stream fail: error parsing rc_override");
}

TEST_F(EngineOutputCreate, JoinGivesOneSlotPerInputOnOneContainerAndTheSummedDuration) {
    TTestTask task(4);
    int64_t sum = 0;
    for (int seconds : {1, 2, 3}) {
        ASSERT_TRUE(task.OpenInputFile(StereoWav(seconds))) << task.LastError;
        sum += task.InputFiles.back()->Container->duration;
    }
    ASSERT_EQ(task.CreateOutputFile(OutPath("joined.wav"), true), 1) << task.LastError;
    EXPECT_TRUE(task.JoinMode);
    task.JoinInputs();

    ASSERT_EQ(task.OutputCount(), 3);
    AVFormatContext* ctx = task.OutputFiles[0]->Context();
    ASSERT_EQ(ctx->nb_streams, 1u);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(task.OutputFiles[slot]->Context(), ctx);
        ASSERT_EQ(task.OutputStreams[slot].size(), 1u);
        EXPECT_EQ(task.OutputStreams[slot][0]->fileIndex, slot);
        EXPECT_EQ(task.OutputStreams[slot][0]->streamIndex, 0);
        EXPECT_EQ(task.OutputStreams[slot][0]->stream, ctx->streams[0]);
    }
    EXPECT_EQ(task.OutputCodecs.size(), 3u);
    EXPECT_EQ(task.ExpectedDuration, sum);
    EXPECT_NEAR(static_cast<double>(sum), 6e6, 1e5);

    EXPECT_EQ(task.CreateOutputFile(OutPath("second.wav"), false), -1);
    EXPECT_EQ(task.LastError, "Cannot join more than one output file.");
    EXPECT_EQ(task.OutputCount(), 3);
}

TEST_F(EngineOutputCreate, JoinWithOneInputIsAnOrdinaryOutput) {
    TTestTask task(2);
    ASSERT_TRUE(task.OpenInputFile(StereoWav(1))) << task.LastError;
    ASSERT_EQ(task.CreateOutputFile(OutPath("join-one.wav"), true), 1) << task.LastError;
    EXPECT_FALSE(task.JoinMode);
    task.JoinInputs();
    EXPECT_EQ(task.OutputCount(), 1);
}

TEST_F(EngineOutputCreate, NewStreamAddsToTheLastOutputOnly) {
    TTestTask task;
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("newaudio", ""); }),
              "At least one output file must be specified");

    task.ParseOption("vn", "1");
    task.ParseOption("sn", "1");
    ASSERT_EQ(task.CreateOutputFile(OutPath("extra.mkv"), false), 1) << task.LastError;
    AVFormatContext* ctx = task.OutputFiles[0]->Context();
    ASSERT_EQ(ctx->nb_streams, 1u);

    // A refused encoder adds nothing and clears the name.
    task.ParseOption("acodec", "nosuchcodec");
    EXPECT_EQ(RaisedMessage([&] { task.ParseOption("newaudio", ""); }),
              "Unknown encoder 'nosuchcodec'");
    EXPECT_EQ(ctx->nb_streams, 1u);
    EXPECT_EQ(task.OutputStreams[0].size(), 1u);
    EXPECT_FALSE(task.AudioCodecName.has_value());

    task.ParseOption("acodec", "flac");
    task.ParseOption("alang", "eng");
    task.ParseOption("newaudio", "");
    ASSERT_EQ(ctx->nb_streams, 2u);
    ASSERT_EQ(task.OutputStreams[0].size(), 2u);
    const EngineOutputStream& added = *task.OutputStreams[0][1];
    EXPECT_EQ(added.streamIndex, 1);
    EXPECT_EQ(added.encoder->codec_id, AV_CODEC_ID_FLAC);
    const AVDictionaryEntry* lang =
        ff::av_dict_get(ctx->streams[1]->metadata, "language", nullptr, 0);
    ASSERT_NE(lang, nullptr);
    EXPECT_STREQ(lang->value, "eng");
    EXPECT_TRUE(task.AudioLanguage.empty());
    ASSERT_EQ(task.OutputCodecs.size(), 2u);
    EXPECT_STREQ(task.OutputCodecs[1]->name, "flac");
}

} // namespace
