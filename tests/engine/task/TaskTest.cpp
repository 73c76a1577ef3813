// The task object's life cycle: start, stop, cancel, termination and release of its files.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "EngineTestEnv.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "files/MediaOpen.h"

namespace {

namespace fs = std::filesystem;

// What OnTerminate saw, filled on whatever thread delivers it.
struct TTerminations {
    std::mutex Mutex;
    std::vector<uint32_t> Threads;
    bool FinishedSeen = true;
    bool ErrorSeen = true;
    TManualResetEvent Delivered{false};

    void Attach(TCustomFFmpeg& task) {
        task.OnTerminate = [this](TCustomFFmpeg* sender) {
            std::lock_guard guard(Mutex);
            Threads.push_back(CurrentThreadID());
            FinishedSeen = sender->Finished;
            ErrorSeen = sender->ErrorOccurred;
            Delivered.Set();
        };
    }
    size_t Count() {
        std::lock_guard guard(Mutex);
        return Threads.size();
    }
    // Waits for the delivery while serving the calls workers queue for the main thread.
    void Wait() {
        while (!Delivered.WaitFor(std::chrono::milliseconds(20)))
            ProcessPendingMessages();
    }
};

std::string TempPath(const std::string& name) {
    fs::create_directories(AUDIOCONV_TEST_TMP_DIR);
    return std::string(AUDIOCONV_TEST_TMP_DIR) + "/" + name;
}

// A muxer context for `path`, with its file opened for writing when `open`.
AVFormatContext* NewOutput(const std::string& path, bool open) {
    AVFormatContext* ctx = nullptr;
    EXPECT_GE(ff::avformat_alloc_output_context2(&ctx, nullptr, "wav", path.c_str()), 0);
    if (ctx != nullptr && open) {
        EXPECT_EQ(OpenOutputIO(&ctx->pb, path, AVIO_FLAG_WRITE), 0);
    }
    return ctx;
}

std::unique_ptr<EngineInputFile> OpenedInput() {
    // Made once for all the tests of the suite, which ctest runs side by side: the fixture
    // helper writes a file of its own and renames it, so no test reads a half-written one.
    const std::string path =
        testmedia::Make(TempPath("task-sine.wav"), "-f lavfi -i sine=frequency=1000:duration=1");
    EXPECT_FALSE(path.empty());
    auto input = std::make_unique<EngineInputFile>();
    AVFormatContext* ctx = nullptr;
    EXPECT_EQ(OpenInputContext(&ctx, path, nullptr, nullptr), 0);
    input->Container.reset(ctx);
    return input;
}

class EngineTask : public TEngineTest {};

TEST_F(EngineTask, CapacityMustBeFrom1To512) {
    EXPECT_THROW(TTestTask(0), std::invalid_argument);
    EXPECT_THROW(TTestTask(513), std::invalid_argument);
    TTestTask largest(512);
    EXPECT_EQ(largest.Capacity, 512);
}

TEST_F(EngineTask, StartsWithTheResetValues) {
    TTestTask task;
    EXPECT_TRUE(task.RaiseOptionErrors);
    EXPECT_EQ(task.ProgressInterval, 500000);
    EXPECT_EQ(task.PreviewInterval, 100000);
    EXPECT_EQ(task.IOTimeout.load(), 10000);
    EXPECT_EQ(task.ExpectedDuration, -1);
    EXPECT_EQ(task.RecordingTime, INT64_MAX);
    EXPECT_EQ(task.AudioQScale, -99999.0f);
    EXPECT_EQ(task.FrameRate.den, 0);
    ASSERT_TRUE(task.OptionContext);
    for (int type = 0; type < OptionMediaTypeCount; ++type)
        EXPECT_EQ(task.OptionContext->CodecContexts[type]->codec_type, type);
    EXPECT_FALSE(task.Running || task.Terminated || task.Finished || task.ErrorOccurred);
}

TEST_F(EngineTask, StartWithoutOutputsTerminatesOnTheCallersThread) {
    TTestTask task;
    TTerminations done;
    done.Attach(task);
    TLogCapture log;
    EXPECT_EQ(task.Start(true, tpNormal), nullptr);
    ASSERT_EQ(done.Count(), 1u);
    EXPECT_EQ(done.Threads[0], CurrentThreadID());
    EXPECT_TRUE(task.ErrorOccurred);
    EXPECT_EQ(task.ErrorMessage, "At least one output file must be specified");
    EXPECT_TRUE(task.Terminated);
    EXPECT_FALSE(task.Running);
    const auto logged = log.Matching("At least one output file must be specified");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].Level, llQuiet);
    EXPECT_EQ(logged[0].Sender, &task);

    // A task runs at most once, and a terminated task is left alone.
    EXPECT_EQ(task.Start(true, tpNormal), nullptr);
    EXPECT_EQ(task.Start(false, tpNormal), nullptr);
    task.Cancel(true);
    EXPECT_EQ(done.Count(), 1u);
}

TEST_F(EngineTask, StartWithoutInputsReleasesTheOutputs) {
    TTestTask task;
    TTerminations done;
    done.Attach(task);
    task.AppendOutputFile(std::make_shared<TOutputContainer>(ff::avformat_alloc_context()));
    ASSERT_EQ(task.OutputCount(), 1);
    EXPECT_EQ(task.Start(false, tpNormal), nullptr);
    EXPECT_EQ(task.ErrorMessage, "At least one input file must be specified");
    EXPECT_EQ(task.OutputCount(), 0);
    EXPECT_EQ(done.Count(), 1u);
}

TEST_F(EngineTask, CancelWithWaitOfANeverStartedTaskDeliversFromATerminationThread) {
    TTestTask task;
    TTerminations done;
    done.Attach(task);
    task.Cancel(true);
    // The wait covers the whole delivery.
    ASSERT_EQ(done.Count(), 1u);
    EXPECT_NE(done.Threads[0], CurrentThreadID());
    EXPECT_FALSE(done.FinishedSeen);
    EXPECT_FALSE(done.ErrorSeen);
    EXPECT_TRUE(task.Terminated);
    task.Cancel(true);
    EXPECT_EQ(task.Start(false, tpNormal), nullptr);
    EXPECT_EQ(done.Count(), 1u);
}

TEST_F(EngineTask, CancelWithoutWaitTwiceDeliversOnceAndTheTaskWaitsBeforeItIsFreed) {
    std::atomic<int> deliveries{0};
    {
        TTestTask task;
        task.OnTerminate = [&](TCustomFFmpeg*) { ++deliveries; };
        task.Cancel(false);
        task.Cancel(false);
        EXPECT_EQ(task.Start(true, tpNormal), nullptr);
    }
    EXPECT_EQ(deliveries, 1);
}

// The run itself belongs to a later part of the job; here the worker carries it and ends
// the task with exactly one termination, on the worker's thread.
TEST_F(EngineTask, StopWithWaitResumesASuspendedWorkerAndWaitsForItsEnd) {
    const std::string out = TempPath("task-stop-wait.wav");
    TTestTask task;
    TTerminations done;
    done.Attach(task);
    task.InputFiles.push_back(OpenedInput());
    task.AppendOutputFile(std::make_shared<TOutputContainer>(NewOutput(out, true)));
    TConvertThread* thread = task.Start(true, tpLower);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(thread->Suspended());
    EXPECT_TRUE(task.Running);
    EXPECT_EQ(done.Count(), 0u);

    task.Stop(true);
    ASSERT_EQ(done.Count(), 1u);
    EXPECT_NE(done.Threads[0], CurrentThreadID());
    EXPECT_TRUE(task.StopRequested);
    EXPECT_FALSE(task.Finished);
    EXPECT_FALSE(task.Running);
    EXPECT_TRUE(task.Terminated);
    EXPECT_EQ(task.InputCount(), 0);
    EXPECT_EQ(task.OutputCount(), 0);
    EXPECT_FALSE(fs::exists(out)); // it stayed empty
}

TEST_F(EngineTask, StopWithoutWaitResumesTheWorker) {
    TTerminations done;
    {
        TTestTask task;
        done.Attach(task);
        task.InputFiles.push_back(OpenedInput());
        task.AppendOutputFile(
            std::make_shared<TOutputContainer>(NewOutput(TempPath("task-stop.wav"), true)));
        ASSERT_NE(task.Start(true, tpNormal), nullptr);
        task.Stop(false);
        done.Wait();
        EXPECT_FALSE(task.Finished);
    }
    EXPECT_EQ(done.Count(), 1u);
}

TEST_F(EngineTask, NotThreadedRunEndsOnTheCallersThread) {
    TTestTask task;
    TTerminations done;
    done.Attach(task);
    task.InputFiles.push_back(OpenedInput());
    task.AppendOutputFile(
        std::make_shared<TOutputContainer>(NewOutput(TempPath("task-inline.wav"), true)));
    EXPECT_EQ(task.Start(false, tpNormal), nullptr);
    ASSERT_EQ(done.Count(), 1u);
    EXPECT_EQ(done.Threads[0], CurrentThreadID());
    EXPECT_TRUE(task.Terminated);
    EXPECT_EQ(task.InputCount(), 0);
}

TEST_F(EngineTask, ReleaseFilesDeletesOnlyOutputsThatStayedEmpty) {
    const std::string empty = TempPath("release-empty.wav");
    const std::string written = TempPath("release-written.wav");
    TTestTask task;
    auto shared = std::make_shared<TOutputContainer>(NewOutput(empty, true));
    task.AppendOutputFile(shared);
    task.AppendOutputFile(shared); // join mode: two slots, one container
    AVFormatContext* ctx = NewOutput(written, true);
    ff::avio_write(ctx->pb, reinterpret_cast<const unsigned char*>("abc"), 3);
    task.AppendOutputFile(std::make_shared<TOutputContainer>(ctx));
    ASSERT_TRUE(fs::exists(empty));
    task.ReleaseFiles();
    EXPECT_EQ(task.OutputCount(), 0);
    EXPECT_FALSE(fs::exists(empty));
    ASSERT_TRUE(fs::exists(written));
    EXPECT_EQ(fs::file_size(written), 3u);
    fs::remove(written);
}

TEST_F(EngineTask, ReleaseFilesFreesTheOptionStore) {
    TTestTask task;
    task.ParseOption("vcodec", "libx264");
    task.ParseOption("map", "0.0");
    task.ReleaseFiles();
    EXPECT_FALSE(task.OptionContext);
    EXPECT_FALSE(task.VideoCodecName.has_value());
    EXPECT_TRUE(task.StreamMaps.empty());
    // Without a store every library option is refused.
    EXPECT_FALSE(task.SetLibraryOption("g", "1"));
}

TEST(EngineThreadPriority, LowerLevelsAreTakenAndRaisingFallsBackToNormal) {
    int normal = 0, lowest = 0, critical = 0;
    bool criticalTaken = false;
    std::thread([&] {
        normal = getpriority(PRIO_PROCESS, CurrentThreadID());
        EXPECT_TRUE(ApplyThreadPriority(tpNormal));
        EXPECT_TRUE(ApplyThreadPriority(tpLowest));
        lowest = getpriority(PRIO_PROCESS, CurrentThreadID());
    }).join();
    std::thread([&] {
        criticalTaken = ApplyThreadPriority(tpTimeCritical);
        critical = getpriority(PRIO_PROCESS, CurrentThreadID());
    }).join();
    EXPECT_EQ(lowest, std::min(normal + NiceOffsetOf(tpLowest), 19));
    EXPECT_EQ(critical,
              criticalTaken ? std::max(normal + NiceOffsetOf(tpTimeCritical), -20) : normal);
    EXPECT_EQ(getpriority(PRIO_PROCESS, CurrentThreadID()), normal);
}

} // namespace
