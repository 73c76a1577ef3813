// The threads of a run's codecs: the threads available to the task go to the codecs that can
// use them, an explicit `threads` option wins, and the output is the one of a one-thread run.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "RunTestEnv.h"

namespace {

using namespace runtest;

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class EngineCodecThreads : public EngineRun {
protected:
    // Converts `source` to `out` with `codec`; the decoder's thread count seen during the run
    // (0 when no audio went through).
    static int Convert(const std::string& source, const std::string& out, const char* codec,
                       int available, const std::string& threads = "") {
        TTestTask task;
        task.ThreadsAvailable = available;
        if (!threads.empty())
            task.ParseOption("threads", threads);
        int seen = 0;
        task.OnAudioHook = [&](TCustomFFmpeg*, uint8_t*, int64_t, int, int, int, AVSampleFormat) {
            if (!task.InputStreams.empty() && task.InputStreams[0]->decoder)
                seen = task.InputStreams[0]->decoder->thread_count;
        };
        OpenInput(task, source);
        TOutputOptions o;
        o.AudioCodec = codec;
        o.DisableVideo = true;
        CreateOutput(task, out, o);
        EXPECT_EQ(RunTask(task), "");
        return seen;
    }
};

TEST_F(EngineCodecThreads, DecoderThreadsFollowTheTaskUnlessGiven) {
    const std::string flac = FlacSource();
    const std::string wav = WavSource(2);
    ASSERT_FALSE(flac.empty());
    ASSERT_FALSE(wav.empty());
    const struct {
        const std::string& Source;
        int Available;
        const char* Threads; // the `threads` option, "" for none
        int Expected;
    } cases[] = {
        {flac, 1, "", 1}, // the default: one thread
        {flac, 2, "", 3}, // a job alone: the FLAC decoder takes the cores and one more
        {flac, 4, "", 5},  {flac, 2, "3", 3}, // given explicitly: kept
        {flac, 4, "1", 1}, {wav, 2, "", 1},   // PCM has no threads to use
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Source + " available " + std::to_string(c.Available) + " threads '" +
                     c.Threads + "'");
        EXPECT_EQ(Convert(c.Source, OutPath("threads.wav"), "pcm_s16le", c.Available, c.Threads),
                  c.Expected);
    }
}

TEST_F(EngineCodecThreads, OutputEqualsTheOneThreadRunByteForByte) {
    const std::string flac = FlacSource();
    const std::string wav = WavSource(2);
    ASSERT_FALSE(flac.empty());
    ASSERT_FALSE(wav.empty());
    const struct {
        const std::string& Source;
        const char* Extension;
        const char* Codec;
    } cases[] = {{flac, ".flac", "flac"},
                 {flac, ".wav", "pcm_s16le"},
                 {flac, ".m4a", "aac"}, // timestamps too: frame threads hold frames back
                 {wav, ".wav", "pcm_s16le"},
                 {wav, ".flac", "flac"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Source + " to " + c.Extension);
        const std::string one = OutPath(std::string("one") + c.Extension);
        const std::string many = OutPath(std::string("many") + c.Extension);
        Convert(c.Source, one, c.Codec, 1);
        Convert(c.Source, many, c.Codec, 4);
        const std::string a = ReadAll(one);
        ASSERT_GT(a.size(), 1000u);
        EXPECT_TRUE(a == ReadAll(many));
    }
}

} // namespace
