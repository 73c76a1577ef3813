// The encoder component as the application drives it: tasks on real files, the run state,
// the order of the terminations, stopping, and the relays of progress and audio.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FFEncode.h"
#include "FFLoad.h"
#include "MediaFixture.h"
#include "MyUtils.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A safety bound for waiting on worker threads, so that a fault ends the test instead of
// hanging it. No test depends on how long anything takes.
constexpr auto WaitBound = 120s;

// Waits for `done` while serving the calls workers queue for the main thread; false when the
// bound passes first.
bool PumpUntil(std::mutex& mutex, std::condition_variable& cv, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + WaitBound;
    for (;;) {
        ProcessPendingMessages();
        std::unique_lock lock(mutex);
        if (cv.wait_for(lock, 5ms, done))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

// The terminations an encoder delivers, with the thread of each delivery.
class TTerminations {
public:
    struct TEntry {
        TTerminateInfo Info;
        uint32_t ThreadID;
    };

    // With clearOnFinal the handler clears the tasks on the final delivery, as the
    // application does.
    explicit TTerminations(TFFEncoder& encoder, bool clearOnFinal = false) : encoder_(encoder) {
        encoder.OnTerminate.Assign([this, clearOnFinal](void* sender, const TTerminateInfo& info) {
            if (++inFlight_ > 1)
                overlapped_ = true;
            if (sender != &encoder_)
                wrongSender_ = true;
            if (clearOnFinal && info.TaskIndex < 0) {
                try {
                    encoder_.ClearTasks();
                } catch (const std::exception& e) {
                    clearError_ = e.what();
                }
            }
            --inFlight_;
            {
                std::lock_guard guard(mutex_);
                entries_.push_back(TEntry{info, CurrentThreadID()});
            }
            cv_.notify_all();
        });
    }
    ~TTerminations() { encoder_.OnTerminate.Clear(); }

    std::vector<TEntry> Entries() {
        std::lock_guard guard(mutex_);
        return entries_;
    }
    // Waits until `count` final deliveries (task index -1) have come.
    bool WaitForFinal(int count = 1) {
        return PumpUntil(mutex_, cv_, [&] { return Finals() >= count; });
    }
    bool WaitForCount(size_t count) {
        return PumpUntil(mutex_, cv_, [&] { return entries_.size() >= count; });
    }
    void Reset() {
        std::lock_guard guard(mutex_);
        entries_.clear();
    }
    bool Overlapped() const { return overlapped_; }
    bool WrongSender() const { return wrongSender_; }
    std::string ClearError() const {
        std::lock_guard guard(mutex_);
        return clearError_;
    }

private:
    int Finals() const {
        int n = 0;
        for (const TEntry& e : entries_)
            n += e.Info.TaskIndex < 0 ? 1 : 0;
        return n;
    }

    TFFEncoder& encoder_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<TEntry> entries_;
    std::atomic<int> inFlight_{0};
    std::atomic<bool> overlapped_{false};
    std::atomic<bool> wrongSender_{false};
    std::string clearError_;
};

std::vector<int> IndexesOf(const std::vector<TTerminations::TEntry>& entries) {
    std::vector<int> indexes;
    for (const auto& e : entries)
        indexes.push_back(e.Info.TaskIndex);
    return indexes;
}

std::optional<std::string> RaisedMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

class ComponentEncoder : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        dir_ = testmedia::TempDir(std::string("component/") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        source_ = testmedia::Make(testmedia::TempDir("component") + "/sine-1s.wav",
                                  "-f lavfi -i sine=frequency=440:duration=1 -ac 2");
        ASSERT_FALSE(source_.empty());
    }

    std::string Out(const std::string& name) const { return dir_ + "/" + name; }

    // One task converting the source to `output` (a WAV by its name); its index.
    int AddJob(TFFEncoder& encoder, const std::string& output) {
        const int index = encoder.AddTask(source_);
        EXPECT_GE(index, 0) << encoder.LastErrMsg();
        EXPECT_TRUE(encoder.SetOutputFile(index, output)) << encoder.LastErrMsg();
        return index;
    }

    std::string dir_;
    std::string source_;
};

TEST_F(ComponentEncoder, ProgressIntervalHasAFloorOf100) {
    TFFEncoder encoder;
    EXPECT_EQ(encoder.ProgressInterval(), 500);
    const struct {
        int Set;
        int Stored;
    } cases[] = {{50, 100}, {100, 100}, {101, 101}, {-5, 100}, {2000, 2000}};
    for (const auto& c : cases) {
        encoder.SetProgressInterval(c.Set);
        EXPECT_EQ(encoder.ProgressInterval(), c.Stored) << "set " << c.Set;
    }
}

// Without the libraries a task cannot even be made: AddTask refuses instead of calling
// into unbound functions.
TEST_F(ComponentEncoder, AddTaskNeedsTheLibraries) {
    TFFEncoder encoder;
    FFLoader->Unload(EncoderLibraries);
    EXPECT_FALSE(encoder.AVLibLoaded());
    EXPECT_EQ(encoder.AddTask(source_), -1);
    EXPECT_EQ(encoder.LastErrMsg(), "Media libraries not loaded.");
    EXPECT_EQ(encoder.TaskCount(), 0);
    ASSERT_TRUE(encoder.LoadAVLib(AUDIOCONV_LIB_DIR)) << encoder.LastErrMsg();
    EXPECT_TRUE(encoder.AVLibLoaded());
    EXPECT_EQ(encoder.AddTask(source_), 0) << encoder.LastErrMsg();
}

// Three tasks, one at a time on worker threads: a delivery per task in list order, then the
// final one; never two at once, never on the main thread.
TEST_F(ComponentEncoder, StartTaskOneDeliversEveryTaskThenTheFinal) {
    TFFEncoder encoder;
    TTerminations terminations(encoder);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(AddJob(encoder, Out("out" + std::to_string(i) + ".wav")), i);
    encoder.StartTask(1);
    ASSERT_TRUE(terminations.WaitForFinal());
    const auto entries = terminations.Entries();
    ASSERT_EQ(IndexesOf(entries), (std::vector<int>{0, 1, 2, -1}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(entries[static_cast<size_t>(i)].Info.Finished) << i;
        EXPECT_FALSE(entries[static_cast<size_t>(i)].Info.Exception)
            << entries[static_cast<size_t>(i)].Info.ExceptionMsg;
    }
    const TTerminateInfo& final = entries.back().Info;
    EXPECT_TRUE(final.Finished);
    EXPECT_FALSE(final.Exception);
    EXPECT_TRUE(final.ExceptionMsg.empty());
    for (const auto& e : entries)
        EXPECT_NE(e.ThreadID, MainThreadID());
    EXPECT_FALSE(terminations.Overlapped());
    EXPECT_FALSE(terminations.WrongSender());
    // Done: the queue operations still refuse until the tasks are cleared.
    EXPECT_TRUE(encoder.AllFinished());
    EXPECT_EQ(RaisedMessage([&] { encoder.AddTask(source_); }), "Cannot AddTask while working.");
    encoder.ClearTasks();
    EXPECT_EQ(encoder.TaskCount(), 0);
    EXPECT_FALSE(encoder.Working());
    EXPECT_GE(encoder.AddTask(source_), 0);
}

// The cores go to the jobs that run at once: a job alone gets them all, jobs side by side
// share them and never ask for more together.
TEST_F(ComponentEncoder, TasksShareTheCoresAmongTheJobsThatRunAtOnce) {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const struct {
        int Tasks, Count, JobsAtOnce;
    } cases[] = {{1, 1, 1}, {1, 0, 1}, {3, 0, 1}, {1, 4, 1}, {2, 2, 2}, {3, 2, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Tasks) + " tasks, StartTask(" + std::to_string(c.Count) +
                     ")");
        TFFEncoder encoder;
        TTerminations terminations(encoder);
        for (int i = 0; i < c.Tasks; ++i)
            ASSERT_EQ(AddJob(encoder, Out("share" + std::to_string(i) + ".wav")), i);
        encoder.StartTask(c.Count);
        ASSERT_TRUE(terminations.WaitForFinal());
        for (int i = 0; i < c.Tasks; ++i)
            EXPECT_EQ(encoder.Tasks().Get(i)->ThreadsAvailable.load(),
                      std::max(1, cores / c.JobsAtOnce))
                << i;
    }
}

// Not threaded: every task and the final delivery on the calling thread, before StartTask
// returns.
TEST_F(ComponentEncoder, StartTaskZeroRunsEverythingOnTheCallingThread) {
    TFFEncoder encoder;
    TTerminations terminations(encoder);
    for (int i = 0; i < 3; ++i)
        AddJob(encoder, Out("out" + std::to_string(i) + ".wav"));
    encoder.StartTask(0);
    const auto entries = terminations.Entries();
    EXPECT_EQ(IndexesOf(entries), (std::vector<int>{0, 1, 2, -1}));
    for (const auto& e : entries)
        EXPECT_EQ(e.ThreadID, CurrentThreadID());
    EXPECT_TRUE(encoder.AllFinished());
}

// An empty run delivers nothing and stays working; ClearTasks ends it. A later run's
// deliveries are then the only ones (a delivery of the empty run would have come first).
TEST_F(ComponentEncoder, StartTaskOnAnEmptyListDeliversNothing) {
    TFFEncoder encoder;
    TTerminations terminations(encoder);
    encoder.StartTask(1);
    EXPECT_TRUE(encoder.Working());
    EXPECT_FALSE(encoder.AllFinished());
    encoder.Stop(true);
    EXPECT_TRUE(encoder.Working());
    encoder.ClearTasks();
    EXPECT_FALSE(encoder.Working());

    AddJob(encoder, Out("after.wav"));
    encoder.StartTask(1);
    ASSERT_TRUE(terminations.WaitForFinal());
    EXPECT_EQ(IndexesOf(terminations.Entries()), (std::vector<int>{0, -1}));
}

TEST_F(ComponentEncoder, OperationsWhileWorkingRaise) {
    TFFEncoder idle;
    const int index = AddJob(idle, Out("one.wav"));
    // An empty run keeps an encoder working without any task running.
    TFFEncoder busy;
    busy.StartTask(1);
    const struct {
        const char* Name;
        std::function<void(TFFEncoder&)> Call;
    } cases[] = {
        {"AddTask", [&](TFFEncoder& e) { e.AddTask(source_); }},
        {"SetOutputFile", [&](TFFEncoder& e) { e.SetOutputFile(index, Out("two.wav")); }},
        {"RemoveTask", [&](TFFEncoder& e) { e.RemoveTask(index); }},
        {"StartTask", [&](TFFEncoder& e) { e.StartTask(1); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RaisedMessage([&] { c.Call(busy); }),
                  std::string("Cannot ") + c.Name + " while working.");
        EXPECT_EQ(RaisedMessage([&] { c.Call(idle); }), std::nullopt) << c.Name;
    }
    busy.ClearTasks();
}

// Refused inputs and outputs: -1 or false with the reason; a refused output leaves the task
// listed and usable.
TEST_F(ComponentEncoder, FailuresLeaveTheirReason) {
    TFFEncoder encoder;
    const std::string missing = Out("missing.wav");
    EXPECT_EQ(encoder.AddTask(missing), -1);
    EXPECT_EQ(encoder.LastErrMsg(), missing + ": No such file or directory");
    EXPECT_EQ(encoder.TaskCount(), 0);

    // An option that raises: its message, and no task.
    TInputOptions badOption;
    badOption.ExtOptions = "ar=abc";
    EXPECT_EQ(encoder.AddTask(source_, badOption), -1);
    EXPECT_EQ(encoder.LastErrMsg(), "'abc' is not a valid integer value");
    EXPECT_EQ(encoder.TaskCount(), 0);

    const int index = encoder.AddTask(source_);
    ASSERT_EQ(index, 0);
    const std::string unwritable = Out("no-such-folder/out.wav");
    EXPECT_FALSE(encoder.SetOutputFile(index, unwritable));
    EXPECT_EQ(encoder.LastErrMsg(), unwritable + ": No such file or directory");
    EXPECT_EQ(encoder.TaskCount(), 1);
    EXPECT_TRUE(encoder.SetOutputFile(index, Out("out0.wav"))) << encoder.LastErrMsg();

    // At most 20 outputs per task.
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(encoder.SetOutputFile(index, Out("out" + std::to_string(i) + ".wav")))
            << i << ": " << encoder.LastErrMsg();
    EXPECT_FALSE(encoder.SetOutputFile(index, Out("out20.wav")));
    EXPECT_EQ(encoder.LastErrMsg(), "max output files 20 reached");
    EXPECT_FALSE(fs::exists(Out("out20.wav")));

    EXPECT_THROW(encoder.SetOutputFile(5, Out("x.wav")), std::out_of_range);
    encoder.RemoveTask(index);
    EXPECT_EQ(encoder.TaskCount(), 0);
}

TEST_F(ComponentEncoder, PreviewSwitchesTheTaskFlags) {
    TFFEncoder encoder;
    const int first = AddJob(encoder, Out("a.wav"));
    encoder.SetPreview(true);
    EXPECT_EQ(encoder.Tasks().Get(first)->PreviewFlags, 1);
    encoder.SetPreviewBitmap(true);
    EXPECT_EQ(encoder.Tasks().Get(first)->PreviewFlags, 3);
    const int second = AddJob(encoder, Out("b.wav"));
    EXPECT_EQ(encoder.Tasks().Get(second)->PreviewFlags, 3);
    encoder.SetPreview(false);
    EXPECT_EQ(encoder.Tasks().Get(first)->PreviewFlags, 2);
    EXPECT_EQ(encoder.Tasks().Get(second)->PreviewFlags, 2);
    EXPECT_FALSE(encoder.Preview());
    EXPECT_TRUE(encoder.PreviewBitmap());
}

// Stop with wait while the first of three tasks runs (held inside its audio hook until the
// stop request reaches it): it ends unfinished, the two others end without running, then the
// final delivery comes.
TEST_F(ComponentEncoder, StopWhileTheFirstTaskRuns) {
    TFFEncoder encoder;
    TTerminations terminations(encoder);
    TOutputOptions output;
    output.AudioHook = true;
    for (int i = 0; i < 3; ++i) {
        const int index = encoder.AddTask(source_);
        ASSERT_EQ(index, i) << encoder.LastErrMsg();
        ASSERT_TRUE(encoder.SetOutputFile(index, Out("out" + std::to_string(i) + ".wav"), output))
            << encoder.LastErrMsg();
    }
    std::mutex mutex;
    std::condition_variable cv;
    std::set<int> hooked;
    std::atomic<bool> heldTooLong{false};
    encoder.OnAudioHook.Assign(
        [&](void*, int taskIndex, int64_t, uint8_t*, int, int, int, AVSampleFormat) {
            {
                std::lock_guard guard(mutex);
                hooked.insert(taskIndex);
            }
            cv.notify_all();
            TFFmpeg* task = encoder.Tasks().Get(taskIndex);
            const auto deadline = std::chrono::steady_clock::now() + WaitBound;
            while (!task->StopRequested) {
                if (std::chrono::steady_clock::now() > deadline) {
                    heldTooLong = true;
                    break;
                }
                std::this_thread::sleep_for(1ms);
            }
        });
    encoder.StartTask(1);
    ASSERT_TRUE(PumpUntil(mutex, cv, [&] { return !hooked.empty(); }));
    EXPECT_EQ(RaisedMessage([&] { encoder.ClearTasks(); }), "Cannot ClearTasks while working.");
    encoder.Stop(true);
    ASSERT_TRUE(terminations.WaitForFinal());
    EXPECT_FALSE(heldTooLong);
    EXPECT_EQ(hooked, std::set<int>{0});
    const auto entries = terminations.Entries();
    ASSERT_EQ(IndexesOf(entries), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_FALSE(entries[0].Info.Finished);
    EXPECT_FALSE(entries[0].Info.Exception) << entries[0].Info.ExceptionMsg;
    for (int i = 1; i <= 2; ++i) {
        EXPECT_FALSE(entries[static_cast<size_t>(i)].Info.Finished);
        EXPECT_FALSE(entries[static_cast<size_t>(i)].Info.Exception);
    }
    // The outputs of the tasks that never ran stayed empty and go with their tasks.
    encoder.ClearTasks();
    EXPECT_FALSE(fs::exists(Out("out1.wav")));
    EXPECT_FALSE(fs::exists(Out("out2.wav")));
}

// Closing the window detaches the handlers while tasks run. Here the first termination's
// handler is still inside a call to the main thread when OnTerminate is cleared on the main
// thread: the clear serves that call, returns only once the handler has left, and nothing
// reaches the handler afterwards.
TEST_F(ComponentEncoder, HandlersDetachWhileTasksRun) {
    std::mutex mutex;
    std::condition_variable cv;
    int entered = 0;
    int left = 0;
    {
        TFFEncoder encoder;
        for (int i = 0; i < 3; ++i)
            AddJob(encoder, Out("out" + std::to_string(i) + ".wav"));
        encoder.OnTerminate.Assign([&](void*, const TTerminateInfo&) {
            {
                std::lock_guard guard(mutex);
                ++entered;
            }
            cv.notify_all();
            CallInMainThread([] {});
            std::lock_guard guard(mutex);
            ++left;
        });
        encoder.StartTask(1);
        {
            // Not serving main-thread calls: the handler stays inside its call.
            std::unique_lock lock(mutex);
            ASSERT_TRUE(cv.wait_for(lock, WaitBound, [&] { return entered == 1; }));
        }
        encoder.OnTerminate.Clear();
        {
            std::lock_guard guard(mutex);
            EXPECT_EQ(left, 1);
        }
        encoder.Stop(true);
        std::condition_variable never;
        EXPECT_TRUE(PumpUntil(mutex, never, [&] { return encoder.AllFinished(); }));
        encoder.ClearTasks();
    }
    std::lock_guard guard(mutex);
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(left, 1);
}

// The application's whole road: probe, add, start, progress on the main thread, termination
// with success, and an output as long as the source.
TEST_F(ComponentEncoder, ConvertsARealFileEndToEnd) {
    const std::string source = testmedia::Make(testmedia::TempDir("component") + "/tone-3s.wav",
                                               "-f lavfi -i sine=frequency=660:duration=3 -ac 2");
    ASSERT_FALSE(source.empty());
    TFFEncoder encoder;
    encoder.SetProgressInterval(100);
    ASSERT_TRUE(encoder.Decoder().LoadFile(source)) << encoder.Decoder().LastErrMsg();
    TFileStreamInfo facts;
    encoder.Decoder().GetFileStreamInfo(facts);
    EXPECT_EQ(facts.Duration, 3000000);

    TInputOptions input;
    input.FileName = encoder.Decoder().FileName();
    input.ExtOptions = "vn=1";
    TOutputOptions output;
    output.FileName = Out("tone.mp3");
    output.AudioCodec = "libmp3lame";
    output.AudioBitrate = 128000;
    output.AudioSampleRate = 44100;
    output.AudioChannels = 2;
    void* opener = nullptr;
    AVFormatContext* opened = nullptr;
    encoder.OnBeforeFindStreamInfo.Assign([&](void* sender, AVFormatContext* context) {
        opener = sender;
        opened = context;
    });
    const int index = encoder.AddTask(input.FileName, input);
    ASSERT_EQ(index, 0) << encoder.LastErrMsg();
    // The relay names the task that opens the input; the task's prober holds that input.
    TFFmpeg* task = encoder.Tasks().Get(index);
    EXPECT_EQ(opener, static_cast<void*>(static_cast<TCustomFFmpeg*>(task)));
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(task->GetDecoder(0)->FormatContext(), opened);
    EXPECT_EQ(task->GetDecoder(0)->AudioStreamCount(), 1);
    ASSERT_TRUE(encoder.SetOutputFile(index, output.FileName, output)) << encoder.LastErrMsg();
    encoder.Decoder().CloseFile();

    std::vector<TProgressInfo> reports;
    std::atomic<bool> offMainThread{false};
    encoder.OnProgress.Assign([&](void*, PProgressInfo info) {
        if (!IsMainThread())
            offMainThread = true;
        reports.push_back(*info);
    });
    TTerminations terminations(encoder);
    encoder.StartTask(1);
    ASSERT_TRUE(terminations.WaitForFinal());
    encoder.OnProgress.Clear();

    const auto entries = terminations.Entries();
    ASSERT_EQ(IndexesOf(entries), (std::vector<int>{0, -1}));
    EXPECT_TRUE(entries[0].Info.Finished);
    EXPECT_FALSE(entries[0].Info.Exception) << entries[0].Info.ExceptionMsg;
    EXPECT_FALSE(offMainThread);
    ASSERT_FALSE(reports.empty());
    const TProgressInfo& last = reports.back();
    EXPECT_EQ(last.TaskIndex, 0);
    EXPECT_EQ(last.FileIndex, -1);
    EXPECT_EQ(last.TotalDuration, 3000000);
    EXPECT_NEAR(static_cast<double>(last.CurrentDuration), 3e6, 1e5);
    EXPECT_EQ(last.CurrentSize, static_cast<int64_t>(fs::file_size(output.FileName)));
    encoder.ClearTasks();

    TFFDecoder probe;
    ASSERT_TRUE(probe.LoadFile(output.FileName)) << probe.LastErrMsg();
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.SampleRate, 44100);
    EXPECT_EQ(audio.Channels, 2);
    TFileStreamInfo outFacts;
    probe.GetFileStreamInfo(outFacts);
    EXPECT_NEAR(static_cast<double>(outFacts.Duration), 3e6, 1e5);
}

// Thirty short tasks, two at a time, stopped at a different point of each of ten runs and
// cleared by the final delivery's handler as the application does: every task ends exactly
// once, the final delivery comes last, and nothing hangs (the suite also runs this under
// ThreadSanitizer).
int OpenFileCount() {
    int count = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr)
            ++count;
        closedir(fds);
    }
    return count;
}

// Opened on start, a waiting task holds no file; a file that cannot be opened ends its task
// with the message AddTask or SetOutputFile gives when they open at once.
TEST_F(ComponentEncoder, TasksOpenedOnStartHoldNoFileAndFailWithTheAddTimeMessage) {
    const std::string text = Out("text.wav");
    {
        std::FILE* file = std::fopen(text.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("no audio in here, only text that is long enough to be probed\n", file);
        std::fclose(file);
    }
    TInputOptions badOption;
    badOption.ExtOptions = "ar=abc";
    TOutputOptions badOutput;
    badOutput.ExtOptions = "ab=xyz";
    const struct {
        const char* Case;
        std::string Input;
        TInputOptions InputOptions;
        TOutputOptions OutputOptions;
    } cases[] = {
        {"not media", text, {}, {}},
        {"input option", source_, badOption, {}},
        {"output option", source_, {}, badOutput},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        fs::remove(Out("lazy.wav"));
        // What the encoder says when it opens at add time.
        std::string expected;
        {
            TFFEncoder eager;
            const int index = eager.AddTask(c.Input, c.InputOptions);
            if (index < 0)
                expected = eager.LastErrMsg();
            else if (!eager.SetOutputFile(index, Out("eager.wav"), c.OutputOptions))
                expected = eager.LastErrMsg();
        }
        ASSERT_FALSE(expected.empty());

        TFFEncoder encoder;
        encoder.SetOpenOnStart(true);
        TTerminations terminations(encoder);
        const int index = encoder.AddTask(c.Input, c.InputOptions);
        ASSERT_EQ(index, 0) << encoder.LastErrMsg();
        ASSERT_TRUE(encoder.SetOutputFile(index, Out("lazy.wav"), c.OutputOptions))
            << encoder.LastErrMsg();
        encoder.StartTask(0);
        const auto entries = terminations.Entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_TRUE(entries[0].Info.Exception);
        EXPECT_FALSE(entries[0].Info.Finished);
        EXPECT_EQ(entries[0].Info.ExceptionMsg, expected);
        EXPECT_FALSE(fs::exists(Out("lazy.wav")));
    }

    TFFEncoder encoder;
    encoder.SetOpenOnStart(true);
    TTerminations terminations(encoder);
    for (int i = 0; i < 12; ++i)
        fs::remove(Out("ok" + std::to_string(i) + ".wav"));
    const int before = OpenFileCount();
    for (int i = 0; i < 12; ++i) {
        const int index = encoder.AddTask(source_, TInputOptions{});
        ASSERT_GE(index, 0) << encoder.LastErrMsg();
        ASSERT_TRUE(
            encoder.SetOutputFile(index, Out("ok" + std::to_string(i) + ".wav"), TOutputOptions{}))
            << encoder.LastErrMsg();
    }
    EXPECT_EQ(OpenFileCount(), before);
    EXPECT_FALSE(fs::exists(Out("ok0.wav"))) << "created before the task started";
    encoder.StartTask(0);
    const auto entries = terminations.Entries();
    ASSERT_EQ(entries.size(), 13u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(entries[i].Info.Finished) << entries[i].Info.ExceptionMsg;
        EXPECT_GT(fs::file_size(Out("ok" + std::to_string(i) + ".wav")), 44u);
    }
    EXPECT_EQ(OpenFileCount(), before);
}

int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.' ? 1 : 0;
        closedir(tasks);
    }
    return count;
}

// Opened on start, a waiting job holds no engine task: only the running one has a task, and
// it is gone by the final delivery. A stop while the first job runs ends every job that never
// started from the thread that stops, each through the one delivery queue in list order,
// without a thread per job.
TEST_F(ComponentEncoder, WaitingJobsHoldNoEngineTaskAndEndInOrderWhenCancelled) {
    constexpr int JobCount = 300;
    const int before = TFFmpeg::Instances();
    {
        TFFEncoder eager;
        AddJob(eager, Out("eager.wav"));
        EXPECT_EQ(eager.Tasks().EngineTaskCount(), 1);
        EXPECT_EQ(TFFmpeg::Instances(), before + 1);
    }
    const struct {
        const char* Case;
        bool Wait;
    } cases[] = {{"stop with wait", true}, {"stop without wait", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TFFEncoder encoder;
        encoder.SetOpenOnStart(true);
        TTerminations terminations(encoder);
        std::mutex mutex;
        std::condition_variable cv;
        std::set<uint32_t> hookThreads;
        int hookCalls = 0;
        int peakThreads = 0;
        TOutputOptions output;
        output.AudioHook = true;
        for (int i = 0; i < JobCount; ++i) {
            const int index = encoder.AddTask(source_, TInputOptions{});
            ASSERT_EQ(index, i) << encoder.LastErrMsg();
            ASSERT_TRUE(encoder.SetOutputFile(index, Out("w" + std::to_string(i) + ".wav"), output))
                << encoder.LastErrMsg();
            encoder.SetTaskEndHook(index, [&](TTerminateInfo&) {
                std::lock_guard guard(mutex);
                hookThreads.insert(CurrentThreadID());
                ++hookCalls;
                peakThreads = std::max(peakThreads, ThreadCount());
            });
        }
        EXPECT_EQ(encoder.Tasks().EngineTaskCount(), 0);
        EXPECT_EQ(TFFmpeg::Instances(), before);

        // The first job stays inside its audio hook until the stop reaches it.
        std::atomic<bool> hooked{false};
        encoder.OnAudioHook.Assign(
            [&](void*, int taskIndex, int64_t, uint8_t*, int, int, int, AVSampleFormat) {
                TFFmpeg* task = encoder.Tasks().Get(taskIndex);
                hooked = true;
                cv.notify_all();
                const auto deadline = std::chrono::steady_clock::now() + WaitBound;
                while (task != nullptr && !task->StopRequested &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
            });
        encoder.StartTask(1);
        ASSERT_TRUE(PumpUntil(mutex, cv, [&] { return hooked.load(); }));
        EXPECT_EQ(encoder.Tasks().EngineTaskCount(), 1);
        EXPECT_EQ(TFFmpeg::Instances(), before + 1);
        const int threadsBefore = ThreadCount();
        encoder.Stop(c.Wait);
        ASSERT_TRUE(terminations.WaitForFinal());
        encoder.OnAudioHook.Clear();

        const auto entries = terminations.Entries();
        ASSERT_EQ(entries.size(), static_cast<size_t>(JobCount + 1));
        EXPECT_EQ(entries.back().Info.TaskIndex, -1);
        // The jobs that never started, one after another in list order; the running one
        // before them when the stop waited for it.
        std::vector<int> never;
        for (size_t i = 0; i + 1 < entries.size(); ++i) {
            const TTerminateInfo& info = entries[i].Info;
            EXPECT_FALSE(info.Finished) << info.TaskIndex;
            EXPECT_FALSE(info.Exception) << info.TaskIndex << ": " << info.ExceptionMsg;
            if (info.TaskIndex != 0)
                never.push_back(info.TaskIndex);
        }
        ASSERT_EQ(never.size(), static_cast<size_t>(JobCount - 1));
        for (int i = 1; i < JobCount; ++i)
            EXPECT_EQ(never[static_cast<size_t>(i - 1)], i);
        if (c.Wait)
            EXPECT_EQ(entries[0].Info.TaskIndex, 0);
        else
            EXPECT_TRUE(entries[0].Info.TaskIndex == 0 ||
                        entries[JobCount - 1].Info.TaskIndex == 0);
        EXPECT_FALSE(terminations.Overlapped());
        {
            std::lock_guard guard(mutex);
            EXPECT_EQ(hookCalls, JobCount);
            // The worker of the first job and the thread that stopped.
            EXPECT_LE(hookThreads.size(), 2u);
            EXPECT_LE(peakThreads, threadsBefore + 1);
        }
        // The task of the job that ran is gone before the final delivery.
        EXPECT_EQ(TFFmpeg::Instances(), before);
        EXPECT_EQ(encoder.Tasks().EngineTaskCount(), 0);
        encoder.ClearTasks();
    }
}

// A batch opened on start, two at a time, runs every job; each task is freed after its job
// has ended, also while its end hook is still busy on its worker as the other job's end is
// delivered, and none is left by the final delivery.
TEST_F(ComponentEncoder, JobsOpenedOnStartFreeTheirTasksAfterTheyEnd) {
    constexpr int JobCount = 40;
    const int before = TFFmpeg::Instances();
    TFFEncoder encoder;
    encoder.SetOpenOnStart(true);
    TTerminations terminations(encoder);
    std::atomic<int> peakTasks{0};
    for (int i = 0; i < JobCount; ++i) {
        const int index = encoder.AddTask(source_, TInputOptions{});
        ASSERT_EQ(index, i) << encoder.LastErrMsg();
        ASSERT_TRUE(encoder.SetOutputFile(index, Out("b" + std::to_string(i) + ".wav"), {}))
            << encoder.LastErrMsg();
        encoder.SetTaskEndHook(index, [&, i](TTerminateInfo& info) {
            // The hook uses the task's record while it runs: odd jobs keep it a while.
            if (i % 2 == 1)
                std::this_thread::sleep_for(5ms);
            info.Warning = "job " + std::to_string(i);
            int seen = peakTasks.load();
            const int now = TFFmpeg::Instances() - before;
            while (now > seen && !peakTasks.compare_exchange_weak(seen, now)) {
            }
        });
    }
    encoder.StartTask(2);
    ASSERT_TRUE(terminations.WaitForFinal());
    const auto entries = terminations.Entries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(JobCount + 1));
    std::set<int> ended;
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        const TTerminateInfo& info = entries[i].Info;
        EXPECT_TRUE(info.Finished) << info.TaskIndex << ": " << info.ExceptionMsg;
        EXPECT_EQ(info.Warning, "job " + std::to_string(info.TaskIndex));
        ended.insert(info.TaskIndex);
    }
    EXPECT_EQ(ended.size(), static_cast<size_t>(JobCount));
    EXPECT_EQ(entries.back().Info.TaskIndex, -1);
    EXPECT_GE(peakTasks.load(), 1);
    EXPECT_LE(peakTasks.load(), JobCount / 2);
    EXPECT_EQ(TFFmpeg::Instances(), before);
    EXPECT_EQ(encoder.Tasks().EngineTaskCount(), 0);
    for (int i = 0; i < JobCount; ++i)
        EXPECT_GT(fs::file_size(Out("b" + std::to_string(i) + ".wav")), 44u) << i;
    encoder.ClearTasks();
}

TEST_F(ComponentEncoder, ThirtyTasksStoppedAndRestartedTenTimes) {
    constexpr int TaskCount = 30;
    TFFEncoder encoder;
    TTerminations terminations(encoder, /*clearOnFinal=*/true);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        terminations.Reset();
        for (int i = 0; i < TaskCount; ++i) {
            ASSERT_EQ(AddJob(encoder,
                             Out("r" + std::to_string(round) + "-" + std::to_string(i) + ".wav")),
                      i);
        }
        encoder.StartTask(2);
        // Even rounds stop at once, odd ones after `round` tasks have ended.
        if (round % 2 == 1) {
            ASSERT_TRUE(terminations.WaitForCount(static_cast<size_t>(round)));
        }
        encoder.Stop(true);
        ASSERT_TRUE(terminations.WaitForFinal());
        const auto entries = terminations.Entries();
        ASSERT_EQ(entries.size(), static_cast<size_t>(TaskCount + 1));
        std::set<int> ended;
        for (size_t i = 0; i + 1 < entries.size(); ++i)
            ended.insert(entries[i].Info.TaskIndex);
        EXPECT_EQ(ended.size(), static_cast<size_t>(TaskCount));
        EXPECT_EQ(*ended.begin(), 0);
        EXPECT_EQ(*ended.rbegin(), TaskCount - 1);
        EXPECT_EQ(entries.back().Info.TaskIndex, -1);
        EXPECT_EQ(terminations.ClearError(), "");
        EXPECT_EQ(encoder.TaskCount(), 0);
        EXPECT_FALSE(encoder.Working());
    }
    EXPECT_FALSE(terminations.Overlapped());
}

} // namespace
