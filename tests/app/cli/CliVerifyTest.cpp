// --verify through audioconv-cli: FLAC from FLAC is identical bit for bit, a resampled WAV
// agrees with its converted source, and only lossless formats can be verified.
#include <gtest/gtest.h>

#include <string>

#include "CliRun.h"

namespace {

using clitest::Contains;
using clitest::RunCli;
using clitest::TRun;

class CliVerify : public ::testing::Test {
protected:
    void SetUp() override {
        media_ = testmedia::TempDir("app/cli-verify");
        flac_ = testmedia::Make(media_ + "/noise.flac",
                                "-f lavfi -i anoisesrc=duration=1:amplitude=0.5:seed=3 "
                                "-af aformat=s16:48000:stereo -c:a flac");
        mp3_ = testmedia::Make(media_ + "/tone.mp3", "-f lavfi -i sine=duration=1 -ar 44100");
        ASSERT_FALSE(flac_.empty());
        ASSERT_FALSE(mp3_.empty());
        out_ = apptest::FreshDir("out");
    }

    std::string media_, flac_, mp3_, out_;
};

TEST_F(CliVerify, FlacFromFlacPassesBitForBit) {
    const TRun run = RunCli(
        "--verify -f flac -p 8 -o " + testmedia::Quote(out_) + " " + testmedia::Quote(flac_), out_);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(Contains(run.Out, "Verified: " + out_ +
                                      "noise.flac: identical to the source, bit for bit (48000 "
                                      "frames)\n"))
        << run.Out;
}

TEST_F(CliVerify, ConvertedOutputsAgreeWithTheConvertedSource) {
    // WAV preset 0: 11025 Hz mono 16 bits, from a 48 kHz stereo FLAC and a float MP3.
    const TRun run = RunCli("--verify -f wav -p 0 -o " + testmedia::Quote(out_) + " " +
                                testmedia::Quote(flac_) + " " + testmedia::Quote(mp3_),
                            out_);
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const std::string name : {"noise.wav", "tone.wav"})
        EXPECT_TRUE(Contains(run.Out, "Verified: " + out_ + name + ": ")) << run.Out;
    EXPECT_FALSE(Contains(run.Out, "bit for bit")) << run.Out;
}

TEST_F(CliVerify, LossyFormatsCannotBeVerified) {
    const TRun run = RunCli("--verify -f mp3 " + testmedia::Quote(flac_), out_);
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(Contains(run.Err, "--verify needs a lossless format (wav or flac), not mp3"))
        << run.Err;
}

} // namespace
