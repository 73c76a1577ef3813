// A conversion run: job states, the run's totals and times as reports arrive, terminations
// brought onto the main thread in order, and real runs through the encoder one and two jobs
// at a time with a job that fails while it runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "AppTestEnv.h"
#include "FFEncode.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "ProbedOutput.h"
#include "jobs/ConversionRun.h"
#include "jobs/OutputFormats.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t Seconds(int64_t s) {
    return s * 1000000;
}

constexpr double SecondsToDays(double s) {
    return s / 86400.0;
}

// Records what the run tells, and on which thread.
class TRecorder : public TRunObserver {
public:
    struct TEnd {
        int Job;
        TTerminateInfo Info;
        bool OnMainThread;
        int Depth; // ends being handled when this one began, itself included
    };
    std::vector<TEnd> Ends;
    std::vector<int> Progressed;
    int RunEndedCalls = 0;
    bool RunEndedOnMainThread = false;
    size_t EndsBeforeRunEnded = 0;
    // Called inside each JobEnded, as a message box's event loop would run.
    std::function<void()> InsideJobEnded;

    void JobProgressed(int job) override { Progressed.push_back(job); }
    void JobEnded(int job, const TTerminateInfo& info) override {
        ++depth_;
        Ends.push_back({job, info, IsMainThread(), depth_});
        if (InsideJobEnded)
            InsideJobEnded();
        --depth_;
    }
    void RunEnded() override {
        ++RunEndedCalls;
        RunEndedOnMainThread = IsMainThread();
        EndsBeforeRunEnded = Ends.size();
    }

private:
    int depth_ = 0;
};

TQueuedJob Job(int index, int64_t durationUs) {
    TQueuedJob job;
    job.TaskIndex = index;
    job.SourcePath = "/music/song" + std::to_string(index) + ".mp3";
    job.OutputPath = "/out/song" + std::to_string(index) + ".wma";
    job.DurationUs = durationUs;
    return job;
}

TProgressInfo Report(int job, int64_t currentUs, int64_t totalUs) {
    TProgressInfo info;
    info.TaskIndex = job;
    info.CurrentDuration = currentUs;
    info.TotalDuration = totalUs;
    return info;
}

TTerminateInfo End(int job, bool finished, bool exception = false, const std::string& msg = "") {
    TTerminateInfo info;
    info.TaskIndex = job;
    info.Finished = finished;
    info.Exception = exception;
    info.ExceptionMsg = msg;
    return info;
}

// A run driven by its reports alone: the encoder never runs.
class RunByReports : public ::testing::Test {
protected:
    TFFEncoder Encoder;
    TConversionRun Run{Encoder, {ofWMA, 4, "/out"}, PostToMainThread};
    TRecorder Recorder;
};

TEST_F(RunByReports, TimesOfTheWholeRunFromFinishedJobsAndTheRunningOne) {
    // 600 s queued; the first job of 100 s has finished, the second is at 50 s after 30 s.
    Run.Prepare({Job(0, Seconds(100)), Job(1, Seconds(500))}, &Recorder);
    EXPECT_EQ(Run.TotalDurationUs(), Seconds(600));
    EXPECT_FALSE(RunTimes(Run.StateAt(Run.StartTime() + SecondsToDays(30))).Known);

    Run.Progress(Report(0, Seconds(100), Seconds(100)));
    Run.Terminated(End(0, true));
    ProcessPendingMessages();
    Run.Progress(Report(1, Seconds(50), Seconds(500)));

    EXPECT_EQ(Run.DoneDurationMs(), 100000);
    EXPECT_EQ(Run.LastReportedJob(), 1);
    EXPECT_EQ(Run.States()[0].Status, jsFinish);
    EXPECT_EQ(Run.States()[0].Progress, "100%");
    EXPECT_EQ(Run.States()[1].Status, jsConverting);
    EXPECT_EQ(Run.States()[1].Progress, "10%");
    const TRunTimes times = RunTimes(Run.StateAt(Run.StartTime() + SecondsToDays(30)));
    EXPECT_EQ(times.Estimated, "0:02:00");
    EXPECT_EQ(times.Elapsed, "0:00:30");
    EXPECT_EQ(times.Left, "0:01:30");
}

TEST_F(RunByReports, JobsSideBySideAddTheirProcessedParts) {
    Run.Prepare({Job(0, Seconds(100)), Job(1, Seconds(100)), Job(2, Seconds(100))}, &Recorder);
    Run.Progress(Report(0, Seconds(30), Seconds(100)));
    Run.Progress(Report(1, Seconds(20), Seconds(100)));
    EXPECT_EQ(Run.StateAt(Run.StartTime()).CurrentDurationUs, Seconds(50));
    // The second one reported last: it is the current file.
    EXPECT_EQ(Run.LastReportedJob(), 1);
    Run.Terminated(End(0, true));
    ProcessPendingMessages();
    const TRunState state = Run.StateAt(Run.StartTime() + SecondsToDays(60));
    EXPECT_EQ(state.DoneDurationMs, 100000);
    EXPECT_EQ(state.CurrentDurationUs, Seconds(20));
    EXPECT_EQ(RunTimes(state).Estimated, "0:02:30"); // 300 s x 60 s / 120 s
}

TEST_F(RunByReports, UnknownLengthShowsNotAvailableAndLeavesTheEstimate) {
    Run.Prepare({Job(0, -1), Job(1, Seconds(10))}, &Recorder);
    EXPECT_EQ(Run.TotalDurationUs(), Seconds(10));
    Run.Progress(Report(0, Seconds(5), -1));
    EXPECT_EQ(Run.States()[0].Progress, "N/A");
    EXPECT_EQ(Run.States()[0].Status, jsWaiting);
    EXPECT_EQ(Run.StateAt(Run.StartTime() + SecondsToDays(10)).CurrentDurationUs, 0);
    EXPECT_FALSE(RunTimes(Run.StateAt(Run.StartTime() + SecondsToDays(10))).Known);

    Run.Terminated(End(0, true));
    ProcessPendingMessages();
    EXPECT_EQ(Run.DoneDurationMs(), 0) << "an unknown length adds nothing when it is done";
    Run.Progress(Report(1, Seconds(5), Seconds(10)));
    EXPECT_EQ(RunTimes(Run.StateAt(Run.StartTime() + SecondsToDays(10))).Estimated, "0:00:20");
}

TEST_F(RunByReports, CancelledJobsAreNeitherSuccessesNorFailures) {
    std::vector<TQueuedJob> jobs;
    for (int i = 0; i < 5; ++i)
        jobs.push_back(Job(i, Seconds(10)));
    Run.Prepare(jobs, &Recorder);
    Run.Progress(Report(2, Seconds(3), Seconds(10)));
    for (const TTerminateInfo& end :
         {End(0, true), End(1, true), End(2, false), End(3, false), End(4, false), End(-1, true)})
        Run.Terminated(end);
    ProcessPendingMessages();

    const TRunSummary summary = Run.Summary();
    EXPECT_EQ(summary.Total, 5);
    EXPECT_EQ(summary.Successed, 2);
    EXPECT_EQ(summary.Failed, 0);
    EXPECT_EQ(Run.CancelledCount(), 3);
    for (int i = 2; i < 5; ++i)
        EXPECT_STREQ(JobStatusText(Run.States()[i].Status), "Cancelled") << i;
    EXPECT_EQ(Run.States()[2].Progress, "30%") << "the cancelled job keeps its last percentage";
    EXPECT_TRUE(Run.Ended());
    EXPECT_EQ(Recorder.RunEndedCalls, 1);
}

TEST_F(RunByReports, TerminationsFromAnotherThreadApplyOnTheMainThreadOneAtATimeInOrder) {
    Run.Prepare({Job(0, Seconds(1)), Job(1, Seconds(1)), Job(2, Seconds(1))}, &Recorder);
    // A failure's message box runs an event loop: what arrives meanwhile waits for it.
    Recorder.InsideJobEnded = [] { ProcessPendingMessages(); };
    std::thread delivery([this] {
        for (const TTerminateInfo& end :
             {End(0, true), End(1, true, true, "bitrate too low"), End(2, true), End(-1, true)})
            Run.Terminated(end);
    });
    delivery.join();
    EXPECT_TRUE(Recorder.Ends.empty()) << "nothing is applied before the main thread runs";
    ProcessPendingMessages();

    ASSERT_EQ(Recorder.Ends.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Recorder.Ends[i].Job, static_cast<int>(i));
        EXPECT_TRUE(Recorder.Ends[i].OnMainThread);
        EXPECT_EQ(Recorder.Ends[i].Depth, 1) << "end " << i << " began inside another";
    }
    EXPECT_EQ(Recorder.Ends[1].Info.ExceptionMsg, "bitrate too low");
    EXPECT_EQ(Recorder.RunEndedCalls, 1);
    EXPECT_TRUE(Recorder.RunEndedOnMainThread);
    EXPECT_EQ(Recorder.EndsBeforeRunEnded, 3u);
    const TRunSummary summary = Run.Summary();
    EXPECT_EQ(summary.Successed, 2);
    EXPECT_EQ(summary.Failed, 1);
    // A second report of an end, and reports after it, change nothing.
    Run.Terminated(End(1, true));
    ProcessPendingMessages();
    Run.Progress(Report(1, 5, 10));
    EXPECT_EQ(Run.States()[1].Status, jsFailed);
    EXPECT_EQ(Recorder.Ends.size(), 3u);
}

TEST_F(RunByReports, NothingQueuedDoesNotStartTheEncoder) {
    EXPECT_FALSE(Run.Start(1, &Recorder));
    EXPECT_FALSE(Encoder.Working());
    EXPECT_FALSE(Run.Started());
    EXPECT_EQ(Run.Summary().Total, 0);
}

// Real conversions to WMA with the preset that takes the source's bit rate: a source of
// 8 kbit/s is below what the encoder accepts, so its job fails once it runs.
class RunThroughTheEncoder : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        const std::string dir = testmedia::TempDir("app/conversion-run");
        for (int i = 0; i < 4; ++i) {
            Good.push_back(
                testmedia::Make(dir + "/good" + std::to_string(i) + ".mp3",
                                "-f lavfi -i sine=frequency=" + std::to_string(300 + 100 * i) +
                                    ":duration=2 -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k"));
            ASSERT_FALSE(Good.back().empty());
        }
        Low = testmedia::Make(dir + "/low.mp3", "-f lavfi -i sine=frequency=440:duration=2 -ac 1 "
                                                "-ar 8000 -c:a libmp3lame -b:a 8k");
        ASSERT_FALSE(Low.empty());
        Out = apptest::FreshDir("out");
    }

    // Runs until the final termination has been applied.
    void RunToTheEnd(TConversionRun& run, int parallel) {
        ASSERT_TRUE(run.Start(parallel, &Recorder));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!run.Ended() && std::chrono::steady_clock::now() < deadline) {
            ProcessPendingMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(run.Ended());
    }

    TFFEncoder Encoder;
    TRecorder Recorder;
    std::vector<std::string> Good;
    std::string Low;
    std::string Out;
};

TEST_F(RunThroughTheEncoder, SecondOfThreeFailsWhileRunning) {
    std::vector<std::string> log;
    TConversionRun run(Encoder, {ofWMA, 4, Out}, PostToMainThread,
                       [&](const std::string& line) { log.push_back(line); });
    ASSERT_EQ(run.QueueJobs({Good[0], Low, Good[1]}), 3);
    EXPECT_EQ(log, std::vector<std::string>(3, "File has been added to convert list."));
    RunToTheEnd(run, 1);

    const TRunSummary summary = run.Summary();
    EXPECT_EQ(summary.Total, 3);
    EXPECT_EQ(summary.Successed, 2);
    EXPECT_EQ(summary.Failed, 1);
    ASSERT_EQ(Recorder.Ends.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Recorder.Ends[i].Job, static_cast<int>(i)) << "one job at a time, in order";
        EXPECT_TRUE(Recorder.Ends[i].OnMainThread);
    }
    EXPECT_TRUE(Recorder.Ends[1].Info.Exception);
    EXPECT_FALSE(Recorder.Ends[1].Info.ExceptionMsg.empty());
    EXPECT_EQ(run.States()[1].Status, jsFailed);
    EXPECT_EQ(run.DoneDurationMs(),
              run.Jobs()[0].DurationUs / 1000 + run.Jobs()[2].DurationUs / 1000);
    EXPECT_EQ(Recorder.EndsBeforeRunEnded, 3u);
    EXPECT_EQ(Encoder.TaskCount(), 0) << "the tasks are cleared at the end";
    EXPECT_FALSE(Encoder.Working());

    for (const int job : {0, 2}) {
        const apptest::TProbedOutput facts = apptest::ProbeOutput(run.Jobs()[job].OutputPath);
        ASSERT_TRUE(facts.Read) << run.Jobs()[job].OutputPath;
        EXPECT_EQ(facts.AudioCodec, "wmav2");
        EXPECT_EQ(facts.SampleRate, 48000);
        EXPECT_EQ(facts.Channels, 2);
        EXPECT_NEAR(facts.Duration, 2.0, 0.2);
    }
    EXPECT_FALSE(fs::exists(run.Jobs()[1].OutputPath)) << "the failed job leaves no file";
}

TEST_F(RunThroughTheEncoder, TwoAtATimeEndEveryJobOnTheMainThread) {
    TConversionRun run(Encoder, {ofMP3, 0, Out}, PostToMainThread);
    ASSERT_EQ(run.QueueJobs(Good), 4);
    RunToTheEnd(run, 2);

    EXPECT_EQ(run.Summary().Successed, 4);
    ASSERT_EQ(Recorder.Ends.size(), 4u);
    std::vector<bool> seen(4, false);
    for (const TRecorder::TEnd& end : Recorder.Ends) {
        EXPECT_TRUE(end.OnMainThread);
        EXPECT_FALSE(seen[end.Job]) << "job " << end.Job << " ended twice";
        seen[end.Job] = true;
    }
    EXPECT_EQ(Recorder.EndsBeforeRunEnded, 4u);
    EXPECT_EQ(Recorder.RunEndedCalls, 1);
    for (const TQueuedJob& job : run.Jobs()) {
        const apptest::TProbedOutput facts = apptest::ProbeOutput(job.OutputPath);
        ASSERT_TRUE(facts.Read) << job.OutputPath;
        EXPECT_EQ(facts.AudioCodec, "mp3");
        EXPECT_NEAR(facts.Duration, 2.0, 0.2);
    }
}

TEST_F(RunThroughTheEncoder, StopWithWaitEndsTheRunThroughItsTerminations) {
    TConversionRun run(Encoder, {ofFLAC, 5, Out}, PostToMainThread);
    ASSERT_EQ(run.QueueJobs(Good), 4);
    ASSERT_TRUE(run.Start(1, &Recorder));
    run.Stop(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!run.Ended() && std::chrono::steady_clock::now() < deadline) {
        ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(Recorder.Ends.size(), 4u);
    // The first may have finished before the stop reached it; the others never ran.
    EXPECT_GE(run.CancelledCount(), 3);
    EXPECT_EQ(run.FailedCount(), 0);
    EXPECT_EQ(run.Summary().Successed + run.CancelledCount(), 4);
    // Jobs that never ran made no file; the one stopped while it ran may keep its part.
    int cancelledOutputs = 0;
    for (size_t i = 0; i < run.Jobs().size(); ++i) {
        const bool exists = fs::exists(run.Jobs()[i].OutputPath);
        if (run.States()[i].Status == jsFinish)
            EXPECT_TRUE(exists) << i;
        else
            cancelledOutputs += exists;
    }
    EXPECT_LE(cancelledOutputs, 1);
}

} // namespace
