// A run whose encoders and decoders log while they open (under the codec locks) while the
// main thread, and a prober thread of its own, probe a video file over and over: the prober
// takes the codec lock for its picture decoder, so a worker that waited for the main thread
// while holding that lock would stop both for good. A watchdog ends the process instead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "FFDecode.h"
#include "FFEncode.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "log/FFLog.h"

namespace {

using namespace std::chrono_literals;

// Aborts the process (a failed test) when it is not dismissed in time: a deadlock cannot be
// ended from inside.
class TWatchdog {
public:
    explicit TWatchdog(std::chrono::seconds bound)
        : thread_([this, bound] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, bound, [this] { return dismissed_; })) {
                  std::fprintf(stderr,
                               "watchdog: the run and the probes did not end within %llds "
                               "(deadlock)\n",
                               static_cast<long long>(bound.count()));
                  std::abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(mutex_);
            dismissed_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool dismissed_ = false;
    std::thread thread_;
};

// One probe as the source list makes it: the facts, then a picture for the thumbnail (the
// picture decoder opens and closes under the codec lock).
bool ProbeWithPicture(TFFDecoder& decoder, const std::string& file) {
    if (!decoder.LoadFile(file))
        return false;
    const bool picture = decoder.Decode();
    decoder.CloseFile();
    return picture;
}

TEST(RunWhileProbing, EncodersThatLogWhileOpeningDoNotStopTheProbingMainThread) {
    testmedia::LoadLibraries();
    const std::string dir = testmedia::TempDir("run-while-probing");
    const std::string source =
        testmedia::Make(dir + "/tone.wav", "-f lavfi -i sine=frequency=440:duration=1");
    const std::string video = testmedia::Make(
        dir + "/clip.mkv", "-f lavfi -i testsrc=size=96x64:rate=10:duration=1 -c:v mpeg4");
    ASSERT_FALSE(source.empty());
    ASSERT_FALSE(video.empty());

    TFFLogger logger;
    // At debug level the codec lock logs while it is held, and so do the codecs while they
    // open; an AAC encoder asked for far too high a bit rate warns while it opens.
    logger.SetLogLevel(llDebug);
    std::atomic<int> mainThreadLines{0};
    std::atomic<int> otherLines{0};
    logger.SetOnLog([&](void*, uint32_t, TLogLevel, const std::string&) {
        ++(IsMainThread() ? mainThreadLines : otherLines);
    });

    TFFEncoder encoder;
    constexpr int Tasks = 6;
    for (int i = 0; i < Tasks; ++i) {
        const int index = encoder.AddTask(source);
        ASSERT_EQ(index, i) << encoder.LastErrMsg();
        TOutputOptions output;
        output.AudioCodec = "aac";
        output.AudioBitrate = 2000000;
        output.FileName = dir + "/out" + std::to_string(i) + ".m4a";
        ASSERT_TRUE(encoder.SetOutputFile(index, output.FileName, output)) << encoder.LastErrMsg();
    }
    std::atomic<bool> ended{false};
    encoder.OnTerminate.Assign([&](void*, const TTerminateInfo& info) {
        if (info.TaskIndex < 0)
            ended = true;
    });

    int mainProbes = 0;
    std::atomic<int> threadProbes{0};
    {
        TWatchdog watchdog(240s);
        std::atomic<bool> stopProber{false};
        std::thread prober([&] {
            TFFDecoder decoder;
            while (!stopProber)
                if (ProbeWithPicture(decoder, video))
                    ++threadProbes;
        });
        encoder.StartTask(2);
        TFFDecoder decoder;
        while (!ended) {
            EXPECT_TRUE(ProbeWithPicture(decoder, video)) << decoder.LastErrMsg();
            ++mainProbes;
            ProcessPendingMessages();
        }
        stopProber = true;
        prober.join();
        encoder.OnTerminate.Clear();
        ProcessPendingMessages();
    }
    logger.SetOnLog(nullptr);

    for (int i = 0; i < Tasks; ++i)
        EXPECT_TRUE(encoder.Tasks().Get(i)->Finished) << "task " << i;
    EXPECT_GT(mainProbes, 0);
    EXPECT_GT(threadProbes.load(), 0);
    // Everything logged on the workers reached the main thread.
    EXPECT_GT(mainThreadLines.load(), 0);
    EXPECT_EQ(otherLines.load(), 0);
}

} // namespace
