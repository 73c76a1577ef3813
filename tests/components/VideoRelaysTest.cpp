// The video relays of the encoder component: the tasks' input and output hooks and preview
// bitmaps reach its events, one call at a time, with the bitmap's canvas locked during a
// hook or a preview, and the events can be detached while tasks run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

#include "FFEncode.h"
#include "MediaFixture.h"
#include "MyUtils.h"

namespace {

using namespace std::chrono_literals;

constexpr auto WaitBound = 120s;

class ComponentVideoRelays : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        dir_ = testmedia::TempDir("component-video");
        source_ = testmedia::Make(dir_ + "/video-1s.mkv",
                                  "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v "
                                  "mpeg4 -q:v 4");
        ASSERT_FALSE(source_.empty());
    }

    void AddVideoJob(TFFEncoder& encoder, const std::string& name) {
        const int index = encoder.AddTask(source_);
        ASSERT_GE(index, 0) << encoder.LastErrMsg();
        TOutputOptions o;
        o.VideoCodec = "mpeg4";
        o.DisableAudio = true;
        o.VideoInputHook = true;
        o.VideoOutputHook = true;
        ASSERT_TRUE(encoder.SetOutputFile(index, dir_ + "/" + name, o)) << encoder.LastErrMsg();
    }

    // Runs until the final termination, serving the main-thread calls meanwhile.
    static bool RunToTheEnd(TFFEncoder& encoder, int simultaneous) {
        std::atomic<bool> done{false};
        encoder.OnTerminate.Assign([&](void*, const TTerminateInfo& info) {
            if (info.TaskIndex < 0)
                done = true;
        });
        encoder.StartTask(simultaneous);
        const auto deadline = std::chrono::steady_clock::now() + WaitBound;
        while (!done && std::chrono::steady_clock::now() < deadline) {
            ProcessPendingMessages();
            std::this_thread::sleep_for(1ms);
        }
        encoder.OnTerminate.Clear();
        return done;
    }

    std::string dir_;
    std::string source_;
};

// A lock another thread can take now.
bool FreeElsewhere(std::mutex& lock) {
    return std::async(std::launch::async,
                      [&] {
                          if (!lock.try_lock())
                              return false;
                          lock.unlock();
                          return true;
                      })
        .get();
}

TEST_F(ComponentVideoRelays, HooksAndPreviewReachTheEventsOneAtATime) {
    TFFEncoder encoder;
    AddVideoJob(encoder, "a.mkv");
    AddVideoJob(encoder, "b.mkv");
    encoder.SetPreviewBitmap(true);

    std::mutex mutex;
    std::map<int, int> inputCalls, outputCalls;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false}, canvasFree{false}, badRecord{false};
    auto hook = [&](std::map<int, int>& calls, PHookInfo info) {
        if (++inside > 1)
            overlapped = true;
        if (info->Bitmap == nullptr || info->Bitmap->Width() != 160 || !info->Update ||
            info->StopHook)
            badRecord = true;
        else if (FreeElsewhere(info->Bitmap->CanvasLock()))
            canvasFree = true;
        {
            std::lock_guard guard(mutex);
            ++calls[info->TaskIndex];
        }
        --inside;
    };
    encoder.OnVideoInputHook.Assign([&](void*, PHookInfo info) { hook(inputCalls, info); });
    encoder.OnVideoOutputHook.Assign([&](void*, PHookInfo info) { hook(outputCalls, info); });
    std::atomic<int> previews{0};
    std::atomic<bool> previewOffMain{false}, previewCanvasFree{false};
    encoder.OnPreviewBitmap.Assign([&](void*, const TPreviewInfo& info) {
        if (!IsMainThread())
            previewOffMain = true;
        if (info.Bitmap != nullptr && FreeElsewhere(info.Bitmap->CanvasLock()))
            previewCanvasFree = true;
        if (info.Bitmap != nullptr && info.Bitmap->Width() == 160)
            ++previews;
    });

    ASSERT_TRUE(RunToTheEnd(encoder, 2));
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(canvasFree);
    EXPECT_FALSE(badRecord);
    EXPECT_EQ(inputCalls, (std::map<int, int>{{0, 25}, {1, 25}}));
    EXPECT_EQ(outputCalls, (std::map<int, int>{{0, 25}, {1, 25}}));
    EXPECT_GE(previews, 2); // the first picture of each task at least
    EXPECT_FALSE(previewOffMain);
    EXPECT_FALSE(previewCanvasFree);
}

// The window detaches the hooks when it closes, maybe while a task runs: no call comes after
// the detaching returned, and the run goes on to its end.
TEST_F(ComponentVideoRelays, HooksDetachWhileTasksRun) {
    TFFEncoder encoder;
    AddVideoJob(encoder, "detach.mkv");
    std::atomic<int> calls{0};
    std::atomic<bool> cleared{false}, calledAfterClear{false};
    encoder.OnVideoInputHook.Assign([&](void*, PHookInfo) {
        if (cleared)
            calledAfterClear = true;
        ++calls;
        std::this_thread::sleep_for(10ms);
    });
    std::atomic<bool> done{false};
    encoder.OnTerminate.Assign([&](void*, const TTerminateInfo& info) {
        if (info.TaskIndex < 0)
            done = true;
    });
    encoder.StartTask(1);
    const auto deadline = std::chrono::steady_clock::now() + WaitBound;
    while (calls < 3 && !done && std::chrono::steady_clock::now() < deadline) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(1ms);
    }
    const bool endedBeforeClear = done;
    encoder.OnVideoInputHook.Clear();
    cleared = true;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(1ms);
    }
    encoder.OnTerminate.Clear();
    EXPECT_TRUE(done);
    EXPECT_GE(calls, 3);
    EXPECT_FALSE(endedBeforeClear);
    EXPECT_FALSE(calledAfterClear);
}

} // namespace
