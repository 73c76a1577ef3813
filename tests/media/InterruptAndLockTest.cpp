#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CodecLock.h"
#include "FFLoad.h"
#include "MyUtils.h"
#include "log/FFLog.h"

namespace {

int GCalls = 0;
bool AlwaysTrue(void*, void*) {
    ++GCalls;
    return true;
}
bool ParamIsFlag(void*, void* param) {
    return *static_cast<bool*>(param);
}

TEST(InterruptRegistry, DuplicateAddIgnoredAndRemoveTakesFirstFullMatch) {
    TInterruptCB reg;
    const uint32_t me = CurrentThreadID();
    bool a = false, b = true;
    reg.AddCallback(me, &a, {ParamIsFlag, nullptr});
    reg.AddCallback(me, &a, {ParamIsFlag, nullptr});
    EXPECT_EQ(reg.Count(), 1u);
    reg.AddCallback(me, &b, {ParamIsFlag, nullptr});
    EXPECT_EQ(reg.Count(), 2u);
    EXPECT_FALSE(reg.CheckInterrupt(me)); // the first entry of this thread answers

    reg.RemoveCallback(me, &b, {AlwaysTrue, nullptr}); // other code: no match
    EXPECT_EQ(reg.Count(), 2u);
    reg.RemoveCallback(me, &a, {ParamIsFlag, nullptr});
    EXPECT_EQ(reg.Count(), 1u);
    EXPECT_TRUE(reg.CheckInterrupt(me)); // now &b answers
    reg.RemoveCallback(me, &b, {ParamIsFlag, nullptr});
    EXPECT_EQ(reg.Count(), 0u);
    EXPECT_FALSE(reg.CheckInterrupt(me));
}

TEST(InterruptRegistry, CheckIsPerThread) {
    GCalls = 0;
    const uint32_t me = CurrentThreadID();
    InterruptCB->AddCallback(me, nullptr, {AlwaysTrue, nullptr});
    EXPECT_EQ(InterruptCallback(nullptr), 1);
    int other = -1;
    std::thread([&] { other = InterruptCallback(nullptr); }).join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(GCalls, 1);
    const AVIOInterruptCB cb = IOInterruptCallback();
    EXPECT_EQ(cb.callback(cb.opaque), 1);
    InterruptCB->RemoveCallback(me, nullptr, {AlwaysTrue, nullptr});
    EXPECT_EQ(InterruptCallback(nullptr), 0);
}

// Captures what the lock manager logs.
class LockManager : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->Unload(AllLibraries); // no registered manager, no mutex left
        logger_ = FFLogger();
        logger_->SetLogLevel(llDebug);
        logger_->TriggerEventInMainThread = false;
        logger_->SetOnLog([this](void*, uint32_t, TLogLevel level, const std::string& msg) {
            lines_.push_back({level, msg});
        });
    }
    void TearDown() override {
        SetLockFinalizing(false);
        logger_->SetOnLog(nullptr);
        logger_->SetLogLevel(llInfo);
    }
    std::string Last() const { return lines_.empty() ? "" : lines_.back().second; }
    TLogLevel LastLevel() const { return lines_.back().first; }
    static std::string WithId(const char* fmt, int id) {
        char buf[128];
        std::snprintf(buf, sizeof buf, fmt, id);
        return buf;
    }
    TFFLogger* logger_ = nullptr;
    std::vector<std::pair<TLogLevel, std::string>> lines_;
};

int IdIn(const std::string& line) {
    const size_t open = line.find('[');
    return std::stoi(line.substr(open + 1));
}

TEST_F(LockManager, OperationTable) {
    void* mutex = nullptr;
    EXPECT_EQ(CodecLockManager(&mutex, LockObtain), -1);
    EXPECT_EQ(Last(), "error, codec mutex not available.");
    EXPECT_EQ(CodecLockManager(&mutex, LockRelease), -1);
    EXPECT_EQ(Last(), "error, codec mutex not available.");
    lines_.clear();
    EXPECT_EQ(CodecLockManager(&mutex, LockDestroy), 0); // nothing to destroy
    EXPECT_TRUE(lines_.empty());

    ASSERT_EQ(CodecLockManager(&mutex, LockCreate), 0);
    ASSERT_NE(mutex, nullptr);
    const int id = IdIn(Last());
    EXPECT_EQ(Last(), WithId("create codec mutex [%d].", id));
    EXPECT_EQ(LastLevel(), llDebug);

    EXPECT_EQ(CodecLockManager(&mutex, LockCreate), -1);
    EXPECT_EQ(Last(), WithId("error, codec mutex [%d] already exist.", id));
    EXPECT_EQ(LastLevel(), llError);

    EXPECT_EQ(CodecLockManager(&mutex, LockObtain), 0);
    EXPECT_EQ(Last(), WithId("obtain codec mutex [%d].", id));
    int otherResult = 0;
    std::thread([&] { otherResult = CodecLockManager(&mutex, LockRelease); }).join();
    EXPECT_EQ(otherResult, -1); // only the owner may release
    EXPECT_EQ(Last().rfind(WithId("error, could not release codec mutex [%d]: ", id), 0), 0u);
    EXPECT_EQ(CodecLockManager(&mutex, LockRelease), 0);
    EXPECT_EQ(Last(), WithId("release codec mutex [%d].", id));

    EXPECT_EQ(CodecLockManager(&mutex, 7), -1);
    EXPECT_EQ(Last(), "error, invalid codec mutex operation 7.");
    EXPECT_EQ(CodecLockManager(&mutex, 300), -1); // shown as a signed byte
    EXPECT_EQ(Last(), "error, invalid codec mutex operation 44.");

    EXPECT_EQ(CodecLockManager(&mutex, LockDestroy), 0);
    EXPECT_EQ(Last(), WithId("destory codec mutex [%d].", id));
    EXPECT_EQ(mutex, nullptr);
}

TEST_F(LockManager, LeftoverMutexIsReplacedWithWarning) {
    void* first = nullptr;
    ASSERT_EQ(CodecLockManager(&first, LockCreate), 0);
    const int id = IdIn(Last());
    void* second = nullptr;
    ASSERT_EQ(CodecLockManager(&second, LockCreate), 0);
    ASSERT_GE(lines_.size(), 2u);
    EXPECT_EQ(lines_[lines_.size() - 2].second,
              WithId("warning, local codec mutex [%d] not destroyed.", id));
    EXPECT_EQ(lines_[lines_.size() - 2].first, llWarning);
    EXPECT_EQ(CodecLockManager(&second, LockDestroy), 0);
}

TEST_F(LockManager, FinalizingMakesEveryOperationANoOp) {
    SetLockFinalizing(true);
    void* mutex = nullptr;
    for (int op : {0, 1, 2, 3, 9})
        EXPECT_EQ(CodecLockManager(&mutex, op), 0) << op;
    EXPECT_EQ(mutex, nullptr);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(LockManager, CodecLockSerialisesThreads) {
    ASSERT_EQ(RegisterLockManager(CodecLockManager), 0);
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    logger_->SetOnLog(nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                TCodecLock lock;
                const int now = ++inside;
                int seen = maxInside.load();
                while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
                }
                --inside;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(maxInside.load(), 1);
    EXPECT_EQ(RegisterLockManager(nullptr), 0);
}

TEST(MainThreadCall, RunsAtOnceOnTheMainThread) {
    ASSERT_TRUE(IsMainThread());
    int runs = 0;
    CallInMainThread([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

TEST(MainThreadCall, WorkerBlocksUntilTheMainThreadPumps) {
    std::atomic<bool> returned{false};
    std::atomic<uint32_t> ranOn{0};
    std::thread worker([&] {
        CallInMainThread([&] { ranOn = CurrentThreadID(); });
        returned = true;
    });
    // Not pumped yet: the call has not run and the worker waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(ranOn.load(), 0u);
    while (!returned.load()) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(ranOn.load(), MainThreadID());
}

TEST(MainThreadCall, ExceptionReachesTheWorker) {
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            CallInMainThread([] { throw std::runtime_error("from main"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
        done = true;
    });
    while (!done.load()) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(caught, "from main");
}

} // namespace
