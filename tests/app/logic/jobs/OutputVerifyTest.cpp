// Verifying lossless outputs: identical outputs pass bit for bit, an output whose decoded
// samples were altered or cut short fails with the place of the first difference, and the
// tolerance of a converted (not identical) output.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "FFDecodeAudio.h"
#include "FFEncode.h"
#include "MediaFixture.h"
#include "jobs/JobQueue.h"
#include "jobs/OutputVerify.h"

namespace {

namespace fs = std::filesystem;

// All samples of `path`, in its own format.
std::vector<double> Decoded(const std::string& path, TAudioFormat* format = nullptr) {
    TAudioDecodeReader reader;
    EXPECT_TRUE(reader.Open(path)) << reader.LastErrMsg();
    if (format != nullptr)
        *format = reader.SourceFormat();
    std::vector<double> samples;
    while (reader.Read(samples, 1000) > 0) {
    }
    return samples;
}

// Feeds both sides in chunks of unequal sizes, as the decoders deliver them.
TSampleCompare Compared(const std::vector<double>& source, const std::vector<double>& output,
                        int channels) {
    TSampleCompare compare(channels);
    size_t s = 0, o = 0;
    while (s < source.size() || o < output.size()) {
        const size_t sc = std::min(source.size() - s, size_t(1234) * channels);
        compare.AddSource({source.begin() + s, source.begin() + s + sc});
        s += sc;
        const size_t oc = std::min(output.size() - o, size_t(777) * channels);
        compare.AddOutput({output.begin() + o, output.begin() + o + oc});
        o += oc;
    }
    return compare;
}

class OutputVerify : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        media_ = testmedia::TempDir("app/output-verify");
        // Noise uses every bit of the samples.
        source_ = testmedia::Make(media_ + "/noise.flac",
                                  "-f lavfi -i anoisesrc=duration=1:amplitude=0.5:seed=7 "
                                  "-af aformat=s16:44100:stereo -c:a flac");
        copy_ = testmedia::Make(media_ + "/copy.flac", "-i " + testmedia::Quote(source_) +
                                                           " -c:a flac -compression_level 8");
        wav_ = testmedia::Make(media_ + "/copy.wav", "-i " + testmedia::Quote(source_));
        ASSERT_FALSE(source_.empty());
        ASSERT_FALSE(copy_.empty());
        ASSERT_FALSE(wav_.empty());
        scratch_ = apptest::FreshDir("scratch");
    }

    std::string media_, source_, copy_, wav_, scratch_;
};

TEST_F(OutputVerify, FlacFromFlacIsIdenticalBitForBit) {
    for (const std::string& output : {copy_, wav_}) {
        const TVerifyResult result = VerifyOutput(source_, output, "out");
        EXPECT_TRUE(result.Passed) << result.Message;
        EXPECT_TRUE(result.Exact);
        EXPECT_EQ(result.OutputFrames, 44100);
        EXPECT_EQ(result.SourceFrames, 44100);
        EXPECT_EQ(result.FirstDifference, -1);
        EXPECT_EQ(result.Message, "verified: out: identical to the source, bit for bit (44100 "
                                  "frames)");
    }
}

TEST_F(OutputVerify, AlteredDecodedOutputFailsWhereItDiffers) {
    TAudioFormat format;
    const std::vector<double> source = Decoded(source_, &format);
    const std::vector<double> output = Decoded(copy_);
    ASSERT_EQ(format.Channels, 2);
    ASSERT_EQ(source.size(), 2u * 44100);
    ASSERT_EQ(output, source);

    const struct {
        const char* What;
        size_t Sample; // the sample altered
        double Change; // added to it
        bool Exact;    // compared bit for bit
        size_t Cut;    // samples taken off the end
        bool Passes;
    } rows[] = {
        {"one step of one sample", 30001, 1.0 / 32768, true, 0, false},
        {"the first sample", 0, 0.25, true, 0, false},
        {"the last sample", 2 * 44100 - 1, 1.0 / 32768, true, 0, false},
        {"cut by one frame", 0, 0, true, 2, false},
        {"nothing", 0, 0, true, 0, true},
        {"within the tolerance", 5000, 0.0005, false, 0, true},
        {"past the tolerance", 5000, 0.01, false, 0, false},
        {"shorter within the tolerance", 0, 0, false, 2 * 400, true},
        {"shorter past the tolerance", 0, 0, false, 2 * 2000, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        std::vector<double> altered = output;
        altered[row.Sample] += row.Change;
        altered.resize(altered.size() - row.Cut);
        const TSampleCompare compare = Compared(source, altered, 2);
        const TVerifyResult result = JudgeComparison(compare, row.Exact, 44100, "out.flac");
        EXPECT_EQ(result.Passed, row.Passes) << result.Message;
        EXPECT_EQ(result.OutputFrames, static_cast<int64_t>(altered.size() / 2));
        if (row.Change != 0) {
            EXPECT_EQ(result.FirstDifference, static_cast<int64_t>(row.Sample / 2));
            EXPECT_NEAR(result.PeakDifference, row.Change, 1e-12);
        }
        if (!row.Passes) {
            EXPECT_EQ(result.Message.rfind("verify failed: out.flac: ", 0), 0u) << result.Message;
        }
    }
}

TEST_F(OutputVerify, CorruptedOutputFileFails) {
    // A WAV file whose samples were changed on the disk: frame 10000 of the left channel.
    std::string bytes = apptest::ReadFile(wav_);
    const size_t data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    bytes[data + 8 + 10000 * 4] ^= 0x40;
    const std::string corrupted = scratch_ + "corrupted.wav";
    apptest::WriteFile(corrupted, bytes);
    TVerifyResult result = VerifyOutput(source_, corrupted, "corrupted.wav");
    EXPECT_FALSE(result.Passed);
    EXPECT_EQ(result.FirstDifference, 10000);
    EXPECT_NE(result.Message.find("00:00:00.226 (frame 10000)"), std::string::npos)
        << result.Message;

    // Cut short: half its samples.
    const std::string cut = scratch_ + "cut.wav";
    apptest::WriteFile(cut, bytes.substr(0, data + 8 + 22050 * 4));
    result = VerifyOutput(source_, cut, "cut.wav");
    EXPECT_FALSE(result.Passed) << result.Message;

    // Not audio at all.
    result = VerifyOutput(source_, source_ + ".missing", "missing.flac");
    EXPECT_FALSE(result.Passed);
    EXPECT_EQ(result.Message.rfind("verify failed: missing.flac: ", 0), 0u) << result.Message;
}

TEST_F(OutputVerify, QueuedJobFailsOnADifferenceAndNotesAnAgreement) {
    TQueuedJob job;
    job.SourcePath = source_;
    job.OutputPath = scratch_ + "out.wav";
    job.TemporaryPath = scratch_ + ".out.audioconv-part.wav";
    fs::copy_file(wav_, job.TemporaryPath);
    TTerminateInfo info;
    info.Finished = true;
    VerifyQueuedJob(job, info);
    EXPECT_FALSE(info.Exception) << info.ExceptionMsg;
    EXPECT_EQ(info.Note.rfind("verified: " + job.OutputPath + ": identical", 0), 0u) << info.Note;

    std::string bytes = apptest::ReadFile(wav_);
    bytes[bytes.find("data") + 8 + 4000] ^= 1;
    apptest::WriteFile(job.TemporaryPath, bytes);
    info = TTerminateInfo();
    info.Finished = true;
    VerifyQueuedJob(job, info);
    EXPECT_TRUE(info.Exception);
    EXPECT_EQ(info.ExceptionMsg.rfind("verify failed: " + job.OutputPath, 0), 0u)
        << info.ExceptionMsg;
    // The failed job then leaves nothing behind.
    EndQueuedJob(job, false, info);
    EXPECT_FALSE(fs::exists(job.TemporaryPath));
    EXPECT_FALSE(fs::exists(job.OutputPath));
}

} // namespace
