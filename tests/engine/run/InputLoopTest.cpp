// Looped inputs ("loop_input") and the capture options no input format here honours.
#include "RunTestEnv.h"

using namespace runtest;

namespace {

double Seconds(const std::string& path) {
    const std::string text = Probe(path, "-show_entries format=duration -of csv=p=0");
    return text.empty() ? -1 : std::stod(text);
}

struct TLoopCase {
    const char* Name;
    const char* InputLines;
    int64_t RecordingTime; // microseconds
    double Expected;       // seconds
};

class EngineInputLoop : public EngineRun, public ::testing::WithParamInterface<TLoopCase> {};

// A 5-second input: looped, the recording time decides the length; not looped, the input.
TEST_P(EngineInputLoop, LengthOfTheOutput) {
    const TLoopCase& c = GetParam();
    const std::string source = WavSource(5);
    ASSERT_FALSE(source.empty());
    TLogCapture log;
    TTestTask task;
    OpenInput(task, source, c.InputLines);
    TOutputOptions o;
    o.AudioCodec = "flac";
    o.RecordingTime = c.RecordingTime;
    const std::string out = OutPath(std::string("loop-") + c.Name + ".flac");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    EXPECT_NEAR(Seconds(out), c.Expected, 0.1);
    EXPECT_NEAR(PacketSeconds(out), c.Expected, 0.1);
    for (const auto& entry : log.Entries())
        EXPECT_GT(entry.Level, llError) << entry.Msg;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineInputLoop,
    ::testing::Values(TLoopCase{"LoopedPastItsEnd", "vn=1\nloop_input=1", 8000000, 8.0},
                      TLoopCase{"LoopedThreeTimesAndAHalf", "vn=1\nloop_input=1", 17500000, 17.5},
                      TLoopCase{"NotLooped", "vn=1", 8000000, 5.0}),
    [](const auto& info) { return std::string(info.param.Name); });

// The tone goes on across the seam: the second pass is the first one again, later.
TEST_F(EngineRun, LoopedInputRepeatsItsSamples) {
    TTestTask task;
    OpenInput(task, WavSource(1), "vn=1\nloop_input=1");
    TOutputOptions o;
    o.AudioCodec = "pcm_s16le";
    o.RecordingTime = 2000000;
    const std::string out = OutPath("loop-twice.wav");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");
    const auto size = fs::file_size(out);
    std::ifstream f(out, std::ios::binary);
    std::vector<char> bytes(size);
    f.read(bytes.data(), static_cast<std::streamsize>(size));
    const size_t header = size - 2 * 44100 * 4; // two seconds of 16-bit stereo
    ASSERT_LT(header, 100u);
    EXPECT_EQ(std::memcmp(bytes.data() + header, bytes.data() + header + 44100 * 4, 44100 * 4), 0);
}

struct TCaptureCase {
    const char* Name;
    const char* Line;
    const char* Option;
};

class EngineCaptureOption : public EngineRun, public ::testing::WithParamInterface<TCaptureCase> {};

TEST_P(EngineCaptureOption, ThatNoFormatTakesIsNamedInOneWarning) {
    TLogCapture log;
    TTestTask task;
    OpenInput(task, WavSource(1), std::string("vn=1\n") + GetParam().Line);
    const auto lines =
        log.Matching(std::string("Option ") + GetParam().Option + " is not supported");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Level, llWarning);
    EXPECT_NE(lines[0].Msg.find("wav"), std::string::npos) << lines[0].Msg;
}

INSTANTIATE_TEST_SUITE_P(Options, EngineCaptureOption,
                         ::testing::Values(TCaptureCase{"Channel", "vc=2", "vc"},
                                           TCaptureCase{"Standard", "tvstd=pal", "tvstd"}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
