// The transcode run end to end: stream copies, the limits of the loop, join mode, mapping
// errors and the clean-up after them, and stopping a run (also one blocked in a read).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "input/Input.h"
#include "output/Output.h"

namespace {

namespace fs = std::filesystem;

std::string Dir() {
    return testmedia::TempDir("engine-run");
}

// What `ffprobe <args> <path>` prints, without the trailing line break.
std::string Probe(const std::string& path, const std::string& args) {
    const std::string cmd =
        "ffprobe -v error " + args + " " + testmedia::Quote(path) + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    std::string out;
    if (!pipe)
        return out;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe.get()) != nullptr)
        out += buf;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// Packets of a stream ("a:0", "v:0", ...).
int Packets(const std::string& path, const std::string& stream = "a:0") {
    const std::string out =
        Probe(path, "-select_streams " + stream + " -show_entries packet=stream_index -of csv=p=0");
    int n = 0;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        if (end > start) // side data adds empty lines
            ++n;
        start = end + 1;
    }
    return n;
}

// The end of a stream's last packet (pts + duration), seconds.
double StreamEnd(const std::string& path, const std::string& stream = "a:0") {
    const std::string out = Probe(path, "-select_streams " + stream +
                                            " -show_entries packet=pts_time,duration_time "
                                            "-of csv=p=0");
    const size_t last = out.rfind('\n');
    const std::string line = out.substr(last == std::string::npos ? 0 : last + 1);
    const size_t comma = line.find(',');
    if (comma == std::string::npos)
        return -1;
    return std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1));
}

// Sum of a stream's packet durations, seconds.
double PacketSeconds(const std::string& path, const std::string& stream = "a:0") {
    const std::string out = Probe(path, "-select_streams " + stream +
                                            " -show_entries packet=duration_time -of csv=p=0");
    double total = 0;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(start, end - start);
        if (!line.empty() && line != "N/A")
            total += std::stod(line);
        start = end + 1;
    }
    return total;
}

// A WAV file whose trailer was written: the muxer fills the RIFF size (file size - 8) only
// there; after the header alone it holds 0xFFFFFFFF.
bool WavComplete(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    unsigned char h[8] = {};
    if (!f.read(reinterpret_cast<char*>(h), sizeof h))
        return false;
    const uint32_t riff = h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<uint32_t>(h[7]) << 24);
    return std::memcmp(h, "RIFF", 4) == 0 && riff + 8 == fs::file_size(path);
}

std::string Make(const std::string& name, const std::string& args) {
    return testmedia::Make(Dir() + "/" + name, args);
}

std::string WavSource(int seconds) {
    const std::string s = std::to_string(seconds);
    return Make("src" + s + "s.wav", "-f lavfi -i sine=frequency=1000:duration=" + s +
                                         " -ac 2 -ar 44100 -c:a pcm_s16le");
}

std::string Mp3Source() {
    return Make("src.mp3", "-f lavfi -i sine=frequency=1000:duration=3 -ac 2 -ar 44100 "
                           "-c:a libmp3lame -b:a 128k");
}

std::string FlacSource() {
    return Make("src.flac", "-f lavfi -i sine=frequency=1000:duration=3 -ac 2 -ar 44100 -c:a flac");
}

// Two seconds of a small picture with a tone.
std::string VideoSource() {
    return Make("video.mkv", "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi -i "
                             "sine=duration=2 -c:v mpeg4 -g 5 -c:a pcm_s16le -shortest");
}

class EngineRun : public TEngineTest {
protected:
    static std::string OutPath(const std::string& name) {
        const std::string path = Dir() + "/" + name;
        fs::remove(path);
        return path;
    }

    // Opens `input` as the application does: video disabled on the input side.
    static void OpenInput(TTestTask& task, const std::string& input,
                          const std::string& lines = "vn=1") {
        TInputOptions in;
        in.FileName = input;
        in.ExtOptions = lines;
        task.ApplyInputOptions(in);
        ASSERT_TRUE(task.OpenInputFile(input)) << task.LastError;
    }

    static void CreateOutput(TTestTask& task, const std::string& out, const TOutputOptions& o) {
        ASSERT_GT(task.ApplyOutputOptions(out, o), 0) << task.LastError;
    }

    // Runs the task on the caller's thread: the run's error, or "" without one.
    static std::string RunTask(TTestTask& task) {
        task.Start(false);
        return task.ErrorOccurred ? task.ErrorMessage : std::string();
    }

    static TOutputOptions Copy() {
        TOutputOptions o;
        o.AudioCodec = "copy";
        o.DisableVideo = true;
        return o;
    }
};

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

TEST_F(EngineRun, VideoThatNeedsEncodingIsRefused) {
    TTestTask task;
    OpenInput(task, VideoSource(), "an=1");
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.DisableAudio = true;
    const std::string out = OutPath("video-encode.mkv");
    CreateOutput(task, out, o);
    EXPECT_EQ(RunTask(task), "Video encoding is not supported yet for output stream #0.0");
    EXPECT_FALSE(task.Finished);
    EXPECT_FALSE(fs::exists(out)); // nothing was written to it
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
struct TEnded {
    TManualResetEvent Event{false};
    std::atomic<bool> Finished{true};
    std::atomic<bool> Error{true};

    void Attach(TCustomFFmpeg& task) {
        task.OnTerminate = [this](TCustomFFmpeg* sender) {
            Finished = sender->Finished.load();
            Error = sender->ErrorOccurred.load();
            Event.Set();
        };
    }
    // Waits while serving the calls that workers queue for the main thread.
    bool Wait() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!Event.WaitFor(std::chrono::milliseconds(20))) {
            ProcessPendingMessages();
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    }
};

TEST_F(EngineRun, StopWithoutWaitOnASuspendedWorkerWritesHeaderAndTrailer) {
    TEnded ended;
    const std::string out = OutPath("stopped-before.wav");
    {
        TTestTask task;
        ended.Attach(task);
        OpenInput(task, WavSource(2));
        CreateOutput(task, out, TOutputOptions{});
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        task.Stop(false); // resumes the suspended worker
        ASSERT_TRUE(ended.Wait());
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_EQ(Packets(out), 0);
    EXPECT_TRUE(WavComplete(out));
}

TEST_F(EngineRun, StopWhileRunningLeavesACompleteOutputUpToThatPoint) {
    TEnded ended;
    const std::string out = OutPath("stopped-while.wav");
    {
        TTestTask task;
        ended.Attach(task);
        OpenInput(task, WavSource(3));
        CreateOutput(task, out, TOutputOptions{});
        // The worker asks itself to stop after a number of decoded chunks.
        int chunks = 0;
        task.OnAudioHook = [&chunks](TCustomFFmpeg* sender, uint8_t*, int64_t, int, int, int,
                                     AVSampleFormat) {
            if (++chunks == 20)
                sender->Stop(false);
        };
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        thread->Resume();
        ASSERT_TRUE(ended.Wait());
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_TRUE(WavComplete(out));
    const double seconds = PacketSeconds(out);
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 2.0);
}

// A local listening socket; a connection to it completes (the backlog takes it) whether or
// not it is accepted.
class TLocalServer {
public:
    TLocalServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 4);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~TLocalServer() {
        for (int c : clients_)
            close(c);
        close(fd_);
    }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // The next connection, or -1 after 20 s without one.
    int Accept() {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            return -1;
        const int c = accept(fd_, nullptr, nullptr);
        if (c >= 0)
            clients_.push_back(c);
        return c;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
};

TEST_F(EngineRun, OpenThatNeverAnswersIsAbandonedAfterIOTimeout) {
    TLocalServer server;
    TLogCapture log;
    TTestTask task;
    task.IOTimeout = 200;
    EXPECT_FALSE(task.OpenInputFile(server.Url()));
    EXPECT_EQ(task.InputCount(), 0);
    EXPECT_FALSE(log.Matching("connecting/reading/writing timeout").empty());
}

TEST_F(EngineRun, StopCancelsABlockingOpen) {
    TLocalServer server;
    TLogCapture log;
    TTestTask task;
    task.IOTimeout = 600000;
    std::atomic<bool> opened{true};
    std::atomic<bool> done{false};
    std::thread opener([&] {
        opened = task.OpenInputFile(server.Url());
        done = true;
    });
    // Once the connection is there, the open is blocked reading from it.
    EXPECT_GE(server.Accept(), 0);
    task.Stop(false);
    while (!done) // the log is delivered on this thread
        ProcessPendingMessages();
    opener.join();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(log.Matching("connecting/reading/writing canceled").empty());
    EXPECT_TRUE(log.Matching("connecting/reading/writing timeout").empty());
}

// A running task blocked in a read of an input that stopped sending ends at once on Stop,
// with everything read so far written and the trailer in place.
TEST_F(EngineRun, StopEndsARunBlockedInARead) {
    const std::string source = WavSource(1);
    std::vector<char> bytes(fs::file_size(source));
    std::ifstream(source, std::ios::binary).read(bytes.data(), static_cast<long>(bytes.size()));
    // A data chunk of unknown length, as a live stream sends it: the input ends only when the
    // connection does.
    const std::string head(bytes.data(), std::min<size_t>(bytes.size(), 256));
    const size_t data = head.find("data");
    ASSERT_NE(data, std::string::npos);
    std::memset(bytes.data() + data + 4, 0xff, 4);

    TLocalServer server;
    std::atomic<int> client{-1};
    std::thread sender([&] {
        client = server.Accept();
        if (client >= 0) // the whole file, then silence on an open connection
            (void)!write(client, bytes.data(), bytes.size());
    });
    TEnded ended;
    const std::string out = OutPath("stopped-read.wav");
    {
        TTestTask task;
        ended.Attach(task);
        task.ParseOption("f", "wav");
        task.ParseOption("analyzeduration", "100000");
        ASSERT_TRUE(task.OpenInputFile(server.Url())) << task.LastError;
        sender.join();
        CreateOutput(task, out, TOutputOptions{});
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        thread->Resume();
        // Everything sent reaches the output; then the run waits for more.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (task.AudioSize < static_cast<int64_t>(bytes.size()) - 8192 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        task.Stop(true);
        EXPECT_TRUE(ended.Event.WaitFor(std::chrono::milliseconds(0)));
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_TRUE(WavComplete(out));
    EXPECT_NEAR(PacketSeconds(out), 1.0, 0.1);
}

} // namespace
