// The choice of the input stream that feeds an output stream when no stream maps are given:
// the candidates of all inputs are ranked together.
#include "RunTestEnv.h"

using namespace runtest;

namespace {

// Transport streams carry no codec parameters in a header: probing reads frames of the
// stream to learn them. A clip of a single picture: probing sees one frame of it.
std::string OnePictureClip() {
    return Make("one-picture.ts",
                "-f lavfi -i testsrc=size=64x48:rate=10:duration=0.1 -c:v mpeg2video -frames:v 1");
}

// Two seconds of pictures: probing sees many frames.
std::string ManyPictureClip() {
    return Make("many-pictures.ts",
                "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -c:v mpeg2video -g 5");
}

struct TChoiceCase {
    const char* Name;
    std::string (*First)();
    std::string (*Second)();
    int ChosenFile;
};

class StreamChoice : public EngineRun, public ::testing::WithParamInterface<TChoiceCase> {};

TEST_P(StreamChoice, TheStreamSeenWithMoreFramesWinsAcrossInputs) {
    const TChoiceCase& c = GetParam();
    const std::string inputs[] = {c.First(), c.Second()};
    ASSERT_FALSE(inputs[0].empty());
    ASSERT_FALSE(inputs[1].empty());
    ASSERT_EQ(Packets(OnePictureClip(), "v:0"), 1);
    ASSERT_GT(Packets(ManyPictureClip(), "v:0"), 5);

    TLogCapture log;
    TTestTask task(2); // room for two inputs
    OpenInput(task, inputs[0], "an=1");
    OpenInput(task, inputs[1], "an=1");
    TOutputOptions o;
    o.VideoCodec = "copy";
    o.DisableAudio = true;
    const std::string out = OutPath(std::string("choice-") + c.Name + ".mkv");
    CreateOutput(task, out, o);
    ASSERT_EQ(RunTask(task), "");

    const std::string line = "  Stream #" + std::to_string(c.ChosenFile) + ".0 -> #0.0 (Video)";
    EXPECT_EQ(log.Matching(line).size(), 1u) << line;
    EXPECT_EQ(Packets(out, "v:0"), Packets(inputs[c.ChosenFile], "v:0"));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, StreamChoice,
    ::testing::Values(TChoiceCase{"BestInTheSecond", OnePictureClip, ManyPictureClip, 1},
                      TChoiceCase{"BestInTheFirst", ManyPictureClip, OnePictureClip, 0},
                      // equals keep the first in table order
                      TChoiceCase{"Equal", ManyPictureClip, ManyPictureClip, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
