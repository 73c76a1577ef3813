// The transcode run end to end: stream copies, the limits of the loop, join mode, mapping
// errors and the clean-up after them.
#include "RunTestEnv.h"

using namespace runtest;

namespace {
// ---- copies

struct TCopyCase {
    const char* Name;
    std::string (*Source)();
    const char* Output;
};

class EngineRunCopy : public EngineRun, public ::testing::WithParamInterface<TCopyCase> {};

TEST_P(EngineRunCopy, KeepsPacketCountAndDuration) {
    const TCopyCase& c = GetParam();
    const std::string source = c.Source();
    ASSERT_FALSE(source.empty());
    TTestTask task;
    OpenInput(task, source);
    const std::string out = OutPath(std::string("copy-") + c.Output);
    CreateOutput(task, out, Copy());
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(task.Finished);
    EXPECT_EQ(Probe(out, "-select_streams a:0 -show_entries stream=codec_name -of csv=p=0"),
              Probe(source, "-select_streams a:0 -show_entries stream=codec_name -of csv=p=0"));
    EXPECT_EQ(Packets(out), Packets(source));
    // Matroska keeps milliseconds.
    EXPECT_NEAR(StreamEnd(out), StreamEnd(source), 0.002);
}

INSTANTIATE_TEST_SUITE_P(Containers, EngineRunCopy,
                         ::testing::Values(TCopyCase{"Mp3IntoMp3", Mp3Source, "out.mp3"},
                                           TCopyCase{"FlacIntoMka", FlacSource, "out.mka"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(EngineRun, CopiesVideoPackets) {
    TTestTask task;
    OpenInput(task, VideoSource(), "an=1");
    TOutputOptions o;
    o.VideoCodec = "copy";
    o.DisableAudio = true;
    const std::string out = OutPath("video-copy.mkv");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(Probe(out, "-select_streams v:0 -show_entries stream=codec_name -of csv=p=0"),
              "mpeg4");
    EXPECT_EQ(Packets(out, "v:0"), Packets(VideoSource(), "v:0"));
}

// The application's job for a video source: video disabled on the input side, an MP3 preset
// that leaves the output's video switch alone. Only the audio is read and converted.
TEST_F(EngineRun, VideoSourceConvertsItsAudio) {
    TTestTask task;
    OpenInput(task, VideoSource());
    TOutputOptions o;
    o.AudioCodec = "libmp3lame";
    o.AudioChannels = 2;
    o.AudioSampleRate = 44100;
    o.AudioBitrate = 112000;
    o.DisableSubtitle = true;
    const std::string out = OutPath("from-video.mp3");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_EQ(Probe(out, "-show_entries stream=codec_type -of csv=p=0"), "audio");
    EXPECT_NEAR(PacketSeconds(out), 2.0, 0.06);
}

// ---- limits

TEST_F(EngineRun, RecordingTimeCutsTheOutput) {
    TTestTask task;
    OpenInput(task, WavSource(3));
    TOutputOptions o;
    o.ExtOptions = "t=1";
    const std::string out = OutPath("t1.wav");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(task.Finished);
    EXPECT_NEAR(PacketSeconds(out), 1.0, 0.03);
}

TEST_F(EngineRun, SizeLimitBelowTheHeaderStopsBeforeTheFirstPacketAndWritesTheTrailer) {
    TTestTask task;
    OpenInput(task, WavSource(2));
    TOutputOptions o;
    o.ExtOptions = "fs=10";
    const std::string out = OutPath("fs10.wav");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(task.Finished);
    EXPECT_EQ(Packets(out), 0);
    EXPECT_TRUE(WavComplete(out));
}

// A trailer that cannot be written (the device is full) fails the run instead of reporting a
// broken output as finished.
TEST_F(EngineRun, TrailerThatCannotBeWrittenFailsTheRun) {
    TTestTask task;
    OpenInput(task, WavSource(1));
    task.ParseOption("f", "wav");
    task.ParseOption("fs", "10"); // the header alone fits into the I/O buffer
    ASSERT_EQ(task.CreateOutputFile("/dev/full", false), 1) << task.LastError;
    EXPECT_EQ(RunTask(task).rfind("av_write_trailer(): ", 0), 0u);
    EXPECT_FALSE(task.Finished);
}

struct TFrameLimitCase {
    const char* Name;
    const char* Codec;
    int ExpectedPackets; // -1: all of the source's
};

class EngineRunFrameLimit : public EngineRun,
                            public ::testing::WithParamInterface<TFrameLimitCase> {};

// Copied packets count against "aframes"; encoded audio does not.
TEST_P(EngineRunFrameLimit, AframesStopsOnlyACopiedStream) {
    TTestTask task;
    OpenInput(task, Mp3Source());
    TOutputOptions o;
    o.AudioCodec = GetParam().Codec;
    o.ExtOptions = "aframes=10";
    const std::string out = OutPath(std::string("aframes-") + GetParam().Name + ".mp3");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    if (GetParam().ExpectedPackets >= 0)
        EXPECT_EQ(Packets(out), GetParam().ExpectedPackets);
    else
        EXPECT_NEAR(PacketSeconds(out), PacketSeconds(Mp3Source()), 0.06);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineRunFrameLimit,
                         ::testing::Values(TFrameLimitCase{"Copied", "copy", 10},
                                           TFrameLimitCase{"Encoded", "libmp3lame", -1}),
                         [](const auto& info) { return std::string(info.param.Name); });

class EngineRunShortest : public EngineRun, public ::testing::WithParamInterface<bool> {};

// One output with a stream from each of two inputs, the first input ending after 1 s: the
// second stream goes on to its end unless "shortest" ends the run with the first input.
TEST_P(EngineRunShortest, FirstInputEndingEarly) {
    const bool shortest = GetParam();
    TTestTask task(2);
    OpenInput(task, WavSource(1));
    OpenInput(task, WavSource(3));
    task.ParseOption("map", "0:0");
    task.ParseOption("map", "1:0");
    if (shortest)
        task.ParseOption("shortest", "1");
    task.ParseOption("acodec", "copy");
    const std::string out = OutPath(shortest ? "shortest.mka" : "longest.mka");
    ASSERT_EQ(task.CreateOutputFile(out, false), 1) << task.LastError;
    task.ParseOption("acodec", "copy");
    task.ParseOption("newaudio", "");
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(PacketSeconds(out, "a:0"), 1.0, 0.03);
    if (shortest)
        EXPECT_LT(PacketSeconds(out, "a:1"), 1.5);
    else
        EXPECT_NEAR(PacketSeconds(out, "a:1"), 3.0, 0.03);
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineRunShortest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Shortest" : "Normal"; });

struct TJoinCase {
    const char* Name;
    const char* Codec;
    const char* Output;
};

class EngineRunJoin : public EngineRun, public ::testing::WithParamInterface<TJoinCase> {};

// Three inputs of 1 s each written one after another: one output of 3 s, with encoders made
// anew for each input when the audio is encoded.
TEST_P(EngineRunJoin, ThreeInputsGiveOneOutputOfTheSummedDuration) {
    TTestTask task(3);
    for (int i = 0; i < 3; ++i)
        OpenInput(task, WavSource(1));
    TOutputOptions o;
    o.AudioCodec = GetParam().Codec;
    o.Join = true;
    const std::string out = OutPath(GetParam().Output);
    ASSERT_GT(task.ApplyOutputOptions(out, o), 0) << task.LastError;
    ASSERT_EQ(task.OutputCount(), 3); // one slot per input on the one container
    ASSERT_EQ(RunTask(task), "");
    EXPECT_TRUE(task.Finished);
    EXPECT_NEAR(PacketSeconds(out), 3.0, 0.03);
    // The parts follow each other without gaps or overlaps.
    EXPECT_NEAR(StreamEnd(out), 3.0, 0.03);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EngineRunJoin,
                         ::testing::Values(TJoinCase{"Copied", "copy", "join-copy.wav"},
                                           TJoinCase{"Encoded", "flac", "join-flac.mka"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- mapping errors

struct TMappingCase {
    const char* Name;
    // Option lines given before the output is created, and after it.
    std::vector<std::pair<std::string, std::string>> Before;
    std::vector<std::pair<std::string, std::string>> After;
    bool WithVideoSource;
    const char* Output;
    const char* Message;
};

class EngineRunMapping : public EngineRun, public ::testing::WithParamInterface<TMappingCase> {};

// Every set-up failure names its reason, leaves no codec open, no record and no interrupt
// registration behind, and the output that received no byte is deleted.
TEST_P(EngineRunMapping, FailsWithItsMessageAndLeavesNothingBehind) {
    const TMappingCase& c = GetParam();
    TLogCapture log;
    const size_t registered = InterruptCB->Count();
    {
        TTestTask task;
        OpenInput(task, c.WithVideoSource ? VideoSource() : WavSource(1),
                  c.WithVideoSource ? "" : "vn=1");
        for (const auto& [name, value] : c.Before)
            task.ParseOption(name, value);
        const std::string out = OutPath(c.Output);
        ASSERT_EQ(task.CreateOutputFile(out, false), 1) << task.LastError;
        for (const auto& [name, value] : c.After)
            task.ParseOption(name, value);

        const auto raised = RaisedMessage([&] { task.Transcode(); });
        ASSERT_TRUE(raised.has_value());
        if (c.Message[0] == '@') // the output's name, then the text
            EXPECT_EQ(*raised, out + (c.Message + 1));
        else
            EXPECT_EQ(*raised, c.Message);
        EXPECT_TRUE(task.OpenEncoders.empty());
        EXPECT_TRUE(task.OpenDecoders.empty());
        EXPECT_TRUE(task.InputStreams.empty());
        for (const auto& slot : task.OutputStreams)
            EXPECT_TRUE(slot.empty());
        EXPECT_EQ(InterruptCB->Count(), registered);

        task.ReleaseFiles();
        EXPECT_FALSE(fs::exists(out));
    }
}

using TLines = std::vector<std::pair<std::string, std::string>>;

INSTANTIATE_TEST_SUITE_P(
    Errors, EngineRunMapping,
    ::testing::Values(
        TMappingCase{"NoStream",
                     TLines{{"an", "1"}},
                     {},
                     false,
                     "none.wav",
                     "Output file #0 does not contain any stream"},
        TMappingCase{"MapCount",
                     TLines{{"map", "0:0"}, {"map", "0:0"}},
                     {},
                     false,
                     "count.wav",
                     "Number of stream maps must match number of output streams"},
        TMappingCase{"MissingStream",
                     TLines{{"map", "0:5"}},
                     {},
                     false,
                     "missing.wav",
                     "Could not find input stream #0.5"},
        TMappingCase{"MissingSyncStream",
                     TLines{{"map", "0:0:0:3"}},
                     {},
                     false,
                     "sync.wav",
                     "Could not find sync stream #0.3"},
        TMappingCase{"TypeMismatch",
                     TLines{{"vn", "1"}, {"map", "0:0"}},
                     {},
                     true,
                     "mismatch.mka",
                     "Codec type mismatch for mapping #0.0 (Video) -> #0.0 (Audio)"},
        TMappingCase{"NoMatchingInput", TLines{{"vn", "1"}}, TLines{{"newvideo", ""}}, false,
                     "nomatch.mka",
                     "Could not find input stream matching output stream #0.1 (Video)"},
        TMappingCase{"BadMetadataMap",
                     TLines{{"map_meta_data", "0,s5:0"}},
                     {},
                     false,
                     "meta.wav",
                     "Invalid stream index 5 while processing metadata maps"},
        TMappingCase{"BadChapterMap",
                     TLines{{"map_chapters", "0:3"}},
                     {},
                     false,
                     "chapters.wav",
                     "Invalid input file index 3 in chapter mapping."},
        TMappingCase{"CopyWithVolume",
                     TLines{{"vol", "512"}, {"acodec", "copy"}},
                     {},
                     false,
                     "copyvol.wav",
                     "-acodec copy and -vol are incompatible (frames are not decoded)"},
        TMappingCase{"HeaderRefused",
                     TLines{{"acodec", "pcm_s16le"}},
                     {},
                     false,
                     "header.m4a",
                     "Could not write header for output file #0 (incorrect codec parameters ?)"},
        TMappingCase{"ContainerOptionRefused",
                     TLines{{"rf64", "sometimes"}},
                     {},
                     false,
                     "rf64.wav",
                     "@: Invalid encoding parameters"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Without maps a second output of a kind takes the last stream of that kind again when no
// stream is left untaken; the mapping is logged.
TEST_F(EngineRun, TwoAudioOutputsShareTheOnlyAudioInput) {
    TLogCapture log;
    TTestTask task;
    OpenInput(task, WavSource(1));
    task.ParseOption("acodec", "copy");
    const std::string out = OutPath("shared.mka");
    ASSERT_EQ(task.CreateOutputFile(out, false), 1) << task.LastError;
    task.ParseOption("acodec", "flac");
    task.ParseOption("newaudio", "");
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(PacketSeconds(out, "a:0"), 1.0, 0.03);
    EXPECT_NEAR(PacketSeconds(out, "a:1"), 1.0, 0.03);
    ASSERT_EQ(log.Matching("Stream mapping:").size(), 1u);
    EXPECT_EQ(log.Matching("  Stream #0.0 -> #0.0 (Audio)").size(), 1u);
    EXPECT_EQ(log.Matching("  Stream #0.0 -> #0.1 (Audio)").size(), 1u);
}

// An input whose timestamps jump 30 s ahead (MPEG-TS declares such jumps possible): the jump
// is taken out of the input's offset, unless copyts keeps the timestamps as they are.
class EngineRunDiscontinuity : public EngineRun, public ::testing::WithParamInterface<bool> {};

TEST_P(EngineRunDiscontinuity, TimestampJumpIsRemovedUnlessCopyts) {
    const bool copyts = GetParam();
    const std::string a = Make("part-a.ts", "-f lavfi -i sine=duration=1 -c:a mp2 -f mpegts");
    const std::string b = Make("part-b.ts", "-f lavfi -i sine=duration=1 -c:a mp2 "
                                            "-output_ts_offset 31 -f mpegts");
    const std::string jump = Dir() + "/jump.ts";
    if (!fs::exists(jump)) {
        std::ofstream f(jump, std::ios::binary);
        f << std::ifstream(a, std::ios::binary).rdbuf()
          << std::ifstream(b, std::ios::binary).rdbuf();
    }
    TLogCapture log;
    TTestTask task;
    if (copyts)
        task.ParseOption("copyts", "1");
    task.ParseOption("v", "3");
    OpenInput(task, jump);
    const std::string out = OutPath(copyts ? "jump-copyts.mka" : "jump.mka");
    CreateOutput(task, out, Copy());
    ASSERT_EQ(RunTask(task), "");
    if (copyts) {
        EXPECT_GT(StreamEnd(out), 30.0);
        EXPECT_TRUE(log.Matching("timestamp discontinuity").empty());
    } else {
        EXPECT_NEAR(StreamEnd(out), 2.0, 0.1);
        EXPECT_EQ(log.Matching("timestamp discontinuity").size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineRunDiscontinuity, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Copyts" : "Corrected"; });

// ---- Part of the task's life cycle that needs a real run

// What OnTerminate saw.

} // namespace
