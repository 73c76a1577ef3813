// The task's answers to interrupt polls: the I/O timeout of a blocking open and the stop
// request of a running task, through the process-wide interrupt registry.
#include "EngineTestEnv.h"
#include "MyUtils.h"

namespace {

class EngineInterrupt : public TEngineTest {
protected:
    bool Poll() { return InterruptCallback(nullptr) == 1; }

    TTestTask task;
    TTestTask other;
};

TEST_F(EngineInterrupt, TimeoutAnswersOnlyForItsTaskAfterTheLimit) {
    TLogCapture log;
    task.IOTimeout = 10000;
    task.IOStartTime = ff::av_gettime() - 11000000; // 11 seconds ago
    EXPECT_FALSE(task.CheckIOTimeout(&other));
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_TRUE(task.CheckIOTimeout(&task));
    const auto timeout = log.Matching("connecting/reading/writing timeout");
    ASSERT_EQ(timeout.size(), 1u);
    EXPECT_EQ(timeout[0].Level, llInfo);
    EXPECT_EQ(timeout[0].Sender, &task);

    task.IOStartTime = INT64_MAX; // no deadline
    EXPECT_FALSE(task.CheckIOTimeout(&task));
    task.IOStartTime = 0; // cancelled
    EXPECT_TRUE(task.CheckIOTimeout(&task));
    EXPECT_EQ(log.Matching("connecting/reading/writing canceled").size(), 1u);
    task.IOTimeout = 0; // no limit at all
    EXPECT_FALSE(task.CheckIOTimeout(&task));
}

// 3,000,000 ms times 1000 does not fit 32 bits; the limit must not wrap to a negative one.
TEST_F(EngineInterrupt, LongTimeoutsDoNotWrap) {
    task.IOTimeout = 3000000;
    task.IOStartTime = ff::av_gettime();
    EXPECT_FALSE(task.CheckIOTimeout(&task));
}

TEST_F(EngineInterrupt, WatchdogIsRegisteredForTheThreadAndStopWithoutThreadCancelsIt) {
    const size_t before = InterruptCB->Count();
    task.IOTimeout = 3000000;
    task.ArmIOWatchdog();
    EXPECT_EQ(InterruptCB->Count(), before + 1);
    EXPECT_FALSE(Poll());
    task.Stop(false); // no worker: cancels the blocking open in progress
    EXPECT_EQ(task.IOStartTime.load(), 0);
    EXPECT_TRUE(Poll());
    task.DisarmIOWatchdog();
    EXPECT_EQ(task.IOStartTime.load(), INT64_MAX);
    EXPECT_EQ(InterruptCB->Count(), before);
    EXPECT_FALSE(Poll());
}

TEST_F(EngineInterrupt, StopCheckAnswersTheStopRequestOfItsTask) {
    const size_t before = InterruptCB->Count();
    EXPECT_FALSE(task.CheckStopRequest(&task));
    task.RegisterStopCheck();
    EXPECT_FALSE(Poll());
    task.StopRequested = true;
    EXPECT_TRUE(task.CheckStopRequest(&task));
    EXPECT_FALSE(task.CheckStopRequest(&other));
    EXPECT_TRUE(Poll());
    task.UnregisterStopCheck();
    EXPECT_EQ(InterruptCB->Count(), before);
    EXPECT_FALSE(Poll());
}

} // namespace
