// Join seams into an encoder with a priming delay: every input after the first starts where
// the output reached plus the fresh encoder's delay, so the muxer never sees a falling time
// and the output lasts as long as its parts.
#include "RunTestEnv.h"

using namespace runtest;

namespace {

struct TSeamCase {
    const char* Name;
    std::string (*First)();
    std::string (*Second)();
};

std::string Wav1() {
    return WavSource(1);
}
std::string Wav2() {
    return WavSource(2);
}

double Seconds(const std::string& path) {
    const std::string text = Probe(path, "-show_entries format=duration -of csv=p=0");
    return text.empty() ? -1 : std::stod(text);
}

class EngineJoinSeam : public EngineRun, public ::testing::WithParamInterface<TSeamCase> {
protected:
    static TOutputOptions Mp3(bool join) {
        TOutputOptions o;
        o.AudioCodec = "libmp3lame";
        o.AudioBitrate = 128000;
        o.Join = join;
        return o;
    }

    // The length of `source` converted alone with the same settings, seconds.
    static double AloneSeconds(const std::string& source, const std::string& name) {
        TTestTask task;
        OpenInput(task, source);
        const std::string out = OutPath(name);
        CreateOutput(task, out, Mp3(false));
        EXPECT_EQ(RunTask(task), "");
        return Seconds(out);
    }
};

TEST_P(EngineJoinSeam, IntoMp3WithoutErrorLinesAndOfTheSummedDuration) {
    const std::string first = GetParam().First();
    const std::string second = GetParam().Second();
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    TLogCapture log;
    TTestTask task(2);
    OpenInput(task, first);
    OpenInput(task, second);
    const TOutputOptions o = Mp3(true);
    const std::string out = OutPath(std::string("seam-") + GetParam().Name + ".mp3");
    ASSERT_GT(task.ApplyOutputOptions(out, o), 0) << task.LastError;
    ASSERT_EQ(RunTask(task), "");
    std::string errors;
    for (const auto& entry : log.Entries())
        if (entry.Level <= llError)
            errors += entry.Msg + "\n";
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(log.Matching("non monotonically increasing dts").empty());
    // Each part keeps its encoder's priming and last frame: within one MP3 frame (1152
    // samples at 44.1 kHz) of the parts converted alone.
    const std::string name = GetParam().Name;
    const double sum = AloneSeconds(first, "seam-" + name + "-1.mp3") +
                       AloneSeconds(second, "seam-" + name + "-2.mp3");
    EXPECT_NEAR(Seconds(out), sum, 1152.0 / 44100) << "parts " << sum;
}

INSTANTIATE_TEST_SUITE_P(Sources, EngineJoinSeam,
                         ::testing::Values(TSeamCase{"TwoWav", Wav1, Wav2},
                                           TSeamCase{"Mp3AndWav", Mp3Source, Wav1}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
