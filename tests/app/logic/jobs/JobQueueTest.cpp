// Queueing sources as encoder jobs: the jobs, their log lines, the run totals, output names
// shared out within one run, and the outputs the queued jobs produce.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AppTestEnv.h"
#include "FFEncode.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "ProbedOutput.h"
#include "jobs/JobQueue.h"
#include "jobs/OutputFormats.h"

namespace {

namespace fs = std::filesystem;

class JobQueue : public ::testing::Test {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        const std::string dir = testmedia::TempDir("app/job-queue");
        short_ = testmedia::Make(dir + "/short.wav",
                                 "-f lavfi -i sine=frequency=440:duration=1 -ac 2 -ar 44100");
        long_ = testmedia::Make(dir + "/long.wav",
                                "-f lavfi -i sine=frequency=440:duration=2 -ac 1 -ar 22050");
        ASSERT_FALSE(short_.empty());
        ASSERT_FALSE(long_.empty());
        out_ = apptest::FreshDir("out");
    }
    void TearDown() override {
        if (encoder_.Working())
            encoder_.Stop(true);
        encoder_.ClearTasks();
    }

    // Runs the queued tasks `parallel` at a time on workers and returns every termination
    // record, the final one last.
    std::vector<TTerminateInfo> RunAll(int parallel) {
        std::mutex mutex;
        std::vector<TTerminateInfo> ends;
        bool done = false;
        encoder_.OnTerminate.Assign([&](void*, const TTerminateInfo& info) {
            std::lock_guard guard(mutex);
            ends.push_back(info);
            done = done || info.TaskIndex < 0;
        });
        encoder_.StartTask(parallel);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        for (;;) {
            ProcessPendingMessages();
            {
                std::lock_guard guard(mutex);
                if (done || std::chrono::steady_clock::now() > deadline)
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        encoder_.OnTerminate.Clear();
        return ends;
    }

    TJobLog Collect() {
        return [this](const std::string& line) { log_.push_back(line); };
    }

    int64_t ProbedDuration(const std::string& path) {
        TFFDecoder prober;
        EXPECT_TRUE(prober.LoadFile(path));
        TFileStreamInfo info;
        prober.GetFileStreamInfo(info);
        return info.Duration;
    }

    TFFEncoder encoder_;
    std::vector<std::string> log_;
    std::string short_;
    std::string long_;
    std::string out_;
};

TEST_F(JobQueue, OneJobPerSourceWithItsDurationInTheTotal) {
    TJobQueue queue(encoder_, {ofMP3, 0, out_}, Collect());
    ASSERT_TRUE(queue.QueueSource(short_)) << queue.LastError();
    ASSERT_TRUE(queue.QueueSource(long_)) << queue.LastError();

    EXPECT_EQ(log_, std::vector<std::string>(2, "File has been added to convert list."));
    EXPECT_EQ(encoder_.TaskCount(), 2);
    ASSERT_EQ(queue.Jobs().size(), 2u);
    const int64_t shortUs = ProbedDuration(short_);
    const int64_t longUs = ProbedDuration(long_);
    EXPECT_GT(shortUs, 900000);
    EXPECT_GT(longUs, shortUs);
    EXPECT_EQ(queue.Jobs()[0].TaskIndex, 0);
    EXPECT_EQ(queue.Jobs()[0].SourcePath, short_);
    EXPECT_EQ(queue.Jobs()[0].OutputPath, out_ + "short.mp3");
    EXPECT_EQ(queue.Jobs()[0].DurationUs, shortUs);
    EXPECT_EQ(queue.Jobs()[1].TaskIndex, 1);
    EXPECT_EQ(queue.Jobs()[1].OutputPath, out_ + "long.mp3");
    EXPECT_EQ(queue.TotalDurationUs(), shortUs + longUs);
    EXPECT_EQ(encoder_.Decoder().FileName(), "") << "the prober closes each source";

    queue.Clear();
    EXPECT_EQ(queue.TotalDurationUs(), 0);
    EXPECT_TRUE(queue.Jobs().empty());
    EXPECT_TRUE(queue.ClaimedNames().empty());
}

TEST_F(JobQueue, QueueJobsStartsTheRunOver) {
    const std::string bad = apptest::FreshDir("src") + "broken.wav";
    apptest::WriteFile(bad, "RIFF");
    TJobQueue queue(encoder_, {ofFLAC, 5, out_}, Collect());
    ASSERT_TRUE(queue.QueueSource(short_));
    EXPECT_EQ(queue.QueueJobs({bad, long_, short_}), 2);
    ASSERT_EQ(queue.Jobs().size(), 2u);
    EXPECT_EQ(queue.Jobs()[0].SourcePath, long_);
    EXPECT_EQ(queue.Jobs()[1].SourcePath, short_);
    EXPECT_EQ(queue.TotalDurationUs(), ProbedDuration(long_) + ProbedDuration(short_));
    ASSERT_EQ(log_.size(), 4u);
    EXPECT_EQ(log_[1].rfind("File load error: ", 0), 0u) << log_[1];
}

TEST_F(JobQueue, SourcesOfTheSameNameGetNumberedOutputs) {
    const std::string dir = testmedia::TempDir("app/job-queue");
    const std::string mp3 = testmedia::Make(dir + "/song.mp3", "-f lavfi -i sine=duration=1");
    const std::string ogg =
        testmedia::Make(dir + "/song.ogg", "-f lavfi -i sine=duration=1 -c:a libvorbis");
    ASSERT_FALSE(mp3.empty());
    ASSERT_FALSE(ogg.empty());
    TJobQueue queue(encoder_, {ofWMA, 0, out_}, Collect());
    ASSERT_TRUE(queue.QueueSource(mp3)) << queue.LastError();
    ASSERT_TRUE(queue.QueueSource(ogg)) << queue.LastError();
    ASSERT_EQ(queue.Jobs().size(), 2u);
    EXPECT_EQ(queue.Jobs()[0].OutputPath, out_ + "song.wma");
    EXPECT_EQ(queue.Jobs()[1].OutputPath, out_ + "song(1).wma");
    EXPECT_EQ(queue.ClaimedNames().size(), 2u);
}

TEST_F(JobQueue, UnreadableSourceIsLoggedAndGetsNoJob) {
    const std::string bad = apptest::FreshDir("src") + "broken.mp3";
    apptest::WriteFile(bad, std::string(4096, '\x5a'));
    TJobQueue queue(encoder_, {ofMP3, 0, out_}, Collect());
    EXPECT_FALSE(queue.QueueSource(bad));
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("File load error: ", 0), 0u) << log_[0];
    EXPECT_NE(log_[0].find("broken.mp3"), std::string::npos) << log_[0];
    EXPECT_EQ(queue.LastError(), log_[0]);
    EXPECT_EQ(encoder_.TaskCount(), 0);
    EXPECT_TRUE(queue.Jobs().empty());
    EXPECT_EQ(queue.TotalDurationUs(), 0);
}

TEST_F(JobQueue, RefusedOutputRemovesItsTask) {
    TJobQueue queue(encoder_, {ofMP3, 0, out_ + "missing/deeper/"}, Collect());
    EXPECT_FALSE(queue.QueueSource(short_));
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("Cannot do convert, error: ", 0), 0u) << log_[0];
    EXPECT_GT(log_[0].size(), std::string("Cannot do convert, error: ").size());
    EXPECT_EQ(encoder_.TaskCount(), 0);
    EXPECT_TRUE(queue.Jobs().empty());
    EXPECT_TRUE(queue.ClaimedNames().empty());
}

TEST_F(JobQueue, RefusedInputIsLogged) {
    TJobQueue queue(encoder_, {ofMP3, 0, out_}, Collect());
    TInputOptions in;
    in.FileName = out_ + "nothing-here.wav";
    TOutputOptions out;
    out.FileName = out_ + "nothing-here.mp3";
    EXPECT_FALSE(queue.AddJob(in, out));
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0].rfind("Adding file error: ", 0), 0u) << log_[0];
    EXPECT_EQ(encoder_.TaskCount(), 0);
}

TEST_F(JobQueue, WithoutACallbackLinesGoToTheApplicationLog) {
    TGlobalVars vars;
    TGlobalVars* const saved = GlobalVars;
    GlobalVars = &vars;
    TJobQueue queue(encoder_, {ofMP3, 0, out_});
    queue.QueueSource(short_);
    GlobalVars = saved;
    EXPECT_EQ(vars.LogLines, std::vector<std::string>{"File has been added to convert list."});
}

// The jobs convert to what their presets name, the mended ones included.
TEST_F(JobQueue, QueuedJobsProduceThePresetsOutputs) {
    const std::string dir = testmedia::TempDir("app/job-queue");
    const std::string flac =
        testmedia::Make(dir + "/tone.flac", "-f lavfi -i sine=duration=1 -ac 2");
    ASSERT_FALSE(flac.empty());
    struct TCase {
        int Format;
        int Preset;
        std::string Source;
        const char* Codec;
        int SampleRate;
        int Channels;
    };
    const TCase cases[] = {
        {ofMP3, 0, short_, "mp3", 44100, 2},
        {ofWAV, 4, long_, "pcm_s16le", 44100, 2},
        {ofOGG, 1, short_, "vorbis", 22050, 1},
        {ofOGG, 2, long_, "vorbis", 22050, 2},
        {ofAAC, 1, short_, "aac", 22050, 1},
        {ofM4A, 1, short_, "aac", 48000, 2},
        // No bit rate is known for the FLAC source: the encoder keeps its own.
        {ofWMA, 4, flac, "wmav2", 48000, 2},
    };
    std::vector<std::string> outputs;
    for (const TCase& c : cases) {
        TJobQueue queue(encoder_, {c.Format, c.Preset, out_}, Collect());
        ASSERT_TRUE(queue.QueueSource(c.Source)) << queue.LastError();
        outputs.push_back(queue.Jobs()[0].OutputPath);
    }
    std::vector<TTerminateInfo> ends;
    encoder_.OnTerminate.Assign(
        [&ends](void*, const TTerminateInfo& info) { ends.push_back(info); });
    encoder_.StartTask(0);
    encoder_.OnTerminate.Clear();
    ASSERT_EQ(ends.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(outputs[i]);
        EXPECT_TRUE(ends[i].Finished);
        EXPECT_FALSE(ends[i].Exception) << ends[i].ExceptionMsg;
        const apptest::TProbedOutput probed = apptest::ProbeOutput(outputs[i]);
        ASSERT_TRUE(probed.Read);
        EXPECT_EQ(probed.AudioCodec, cases[i].Codec);
        EXPECT_EQ(probed.SampleRate, cases[i].SampleRate);
        EXPECT_EQ(probed.Channels, cases[i].Channels);
        EXPECT_EQ(probed.VideoStreams, 0);
        EXPECT_GT(probed.Duration, 0.5);
    }
}

// The window's jobs get the same tags and covers: the queue writes them into the finished
// output, from the source's tags and, for a source without a picture, its folder's cover.
TEST_F(JobQueue, AFinishedJobGetsTheSourcesTagsAndItsFolderCover) {
    const std::string album = apptest::FreshDir("album");
    const std::string source =
        testmedia::Make(album + "01.flac", "-f lavfi -i sine=duration=1 -ac 2 -metadata TITLE=Song "
                                           "-metadata DISCNUMBER=1 -metadata DISCTOTAL=2 "
                                           "-metadata MUSICBRAINZ_ALBUMID=album-id");
    ASSERT_FALSE(source.empty());
    ASSERT_FALSE(testmedia::Make(album + "cover.png",
                                 "-f lavfi -i color=c=green:s=32x32:d=1 -frames:v 1 -f image2")
                     .empty());
    TGlobalVars vars;
    vars.OutputFormat = ofMP3;
    vars.OutputFileDir = out_;
    TJobQueue queue(encoder_, JobSettingsOf(vars), Collect());
    ASSERT_TRUE(queue.QueueSource(source)) << queue.LastError();
    const std::vector<TTerminateInfo> ends = RunAll(1);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].Finished && !ends[0].Exception) << ends[0].ExceptionMsg;
    const std::string output = queue.Jobs()[0].OutputPath;
    const std::string tags = apptest::RunForOutput(
        "ffprobe -v error -show_entries format_tags -of default=nw=1 " + testmedia::Quote(output));
    EXPECT_NE(tags.find("TAG:title=Song\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:disc=1/2\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:MusicBrainz Album Id=album-id\n"), std::string::npos) << tags;
    EXPECT_EQ(apptest::RunForOutput("ffprobe -v error -select_streams v -show_entries "
                                    "stream=codec_name,width:stream_disposition=attached_pic "
                                    "-of csv=p=0 " +
                                    testmedia::Quote(output)),
              "png,32,1\n");
}

// Memory and open files follow the running jobs: a batch far longer than the files the
// process may open converts every file.
TEST_F(JobQueue, ABatchLongerThanTheOpenFileLimitConvertsEveryFile) {
    const std::string tiny = testmedia::Make(testmedia::TempDir("app/job-queue") + "/tiny.wav",
                                             "-f lavfi -i sine=duration=0.2 -ac 1 -ar 8000");
    ASSERT_FALSE(tiny.empty());
    int openNow = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr)
            ++openNow;
        closedir(fds);
    }
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    constexpr int Jobs = 80;
    TJobQueue queue(encoder_, {ofWAV, 0, out_}, Collect());
    rlimit lowered = saved;
    // Room for two running jobs and the process's own needs; one file per waiting job would
    // not fit.
    lowered.rlim_cur = static_cast<rlim_t>(openNow + 32);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    for (int i = 0; i < Jobs; ++i)
        ASSERT_TRUE(queue.QueueSource(tiny)) << queue.LastError();
    const std::vector<TTerminateInfo> ends = RunAll(2);
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_EQ(ends.size(), static_cast<size_t>(Jobs) + 1);
    for (const TTerminateInfo& end : ends) {
        EXPECT_TRUE(end.Finished) << end.TaskIndex;
        EXPECT_FALSE(end.Exception) << end.TaskIndex << ": " << end.ExceptionMsg;
    }
    int outputs = 0;
    for (const auto& entry : fs::directory_iterator(out_)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        ++outputs;
    }
    EXPECT_EQ(outputs, Jobs);
    EXPECT_TRUE(apptest::ProbeOutput(queue.Jobs().back().OutputPath).Read);
}

// A job writes under a hidden temporary name; what it leaves under the final name depends on
// how it ended and on the queue's choice for stopped jobs.
TEST_F(JobQueue, AStoppedJobLeavesItsPartialOutputOnlyWhenTheSettingsKeepIt) {
    const std::string longer = testmedia::Make(testmedia::TempDir("app/job-queue") + "/long30.wav",
                                               "-f lavfi -i sine=duration=30 -ac 2 -ar 44100");
    ASSERT_FALSE(longer.empty());
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "keeping stopped outputs" : "removing stopped outputs");
        const std::string out = apptest::FreshDir(keep ? "keep" : "drop");
        TJobSettings settings{ofMP3, 0, out};
        settings.KeepStoppedOutputs = keep;
        TJobQueue queue(encoder_, settings, Collect());
        ASSERT_TRUE(queue.QueueSource(longer)) << queue.LastError();
        // Hidden, beside the final name, carrying the process id.
        const std::string temporary = queue.Jobs()[0].TemporaryPath;
        const std::string own = out + ".long30." + std::to_string(getpid()) + "-";
        EXPECT_EQ(temporary.rfind(own, 0), 0u) << temporary;
        EXPECT_EQ(temporary.substr(temporary.size() - 19), ".audioconv-part.mp3");

        std::mutex mutex;
        bool ended = false;
        TTerminateInfo end;
        encoder_.OnTerminate.Assign([&](void*, const TTerminateInfo& info) {
            std::lock_guard guard(mutex);
            if (info.TaskIndex == 0)
                end = info;
            ended = ended || info.TaskIndex < 0;
        });
        encoder_.StartTask(1);
        // Stopped once it has written part of its output, under the temporary name only.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::error_code ec;
        auto written = [&] {
            const uintmax_t size = fs::file_size(temporary, ec);
            return !ec && size >= 16384;
        };
        while (!written() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(written()) << "the job never wrote under its temporary name";
        EXPECT_FALSE(fs::exists(queue.Jobs()[0].OutputPath));
        encoder_.Stop(true);
        while (std::chrono::steady_clock::now() < deadline) {
            ProcessPendingMessages();
            std::lock_guard guard(mutex);
            if (ended)
                break;
        }
        encoder_.OnTerminate.Clear();
        encoder_.ClearTasks();

        EXPECT_FALSE(end.Finished);
        EXPECT_FALSE(end.Exception) << end.ExceptionMsg;
        EXPECT_FALSE(fs::exists(temporary));
        EXPECT_EQ(fs::exists(queue.Jobs()[0].OutputPath), keep);
        if (keep) {
            const apptest::TProbedOutput probed = apptest::ProbeOutput(queue.Jobs()[0].OutputPath);
            EXPECT_TRUE(probed.Read);
            EXPECT_GT(probed.Duration, 0.0);
            EXPECT_LT(probed.Duration, 29.0);
        }
    }
}

// A source cut short after it was queued converts what is left and says how much that was.
TEST_F(JobQueue, AShortOutputIsReportedWithBothLengths) {
    const std::string dir = testmedia::TempDir("app/job-queue");
    const std::string whole =
        testmedia::Make(dir + "/whole30.flac", "-f lavfi -i sine=duration=30 -ac 2");
    ASSERT_FALSE(whole.empty());
    const std::string cut = dir + "/cut30.flac";
    // The stream header keeps the whole length; the frames stop after a few seconds.
    apptest::WriteFile(cut, apptest::ReadFile(whole).substr(0, 60000));
    TJobQueue queue(encoder_, {ofWAV, 0, out_}, Collect());
    ASSERT_TRUE(queue.QueueSource(cut)) << queue.LastError();
    ASSERT_TRUE(queue.QueueSource(short_)) << queue.LastError();
    const std::vector<TTerminateInfo> ends = RunAll(1);
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_TRUE(ends[0].Finished);
    EXPECT_NE(ends[0].Warning.find("00:00:30.000"), std::string::npos) << ends[0].Warning;
    EXPECT_NE(ends[0].Warning.find(cut), std::string::npos) << ends[0].Warning;
    EXPECT_GT(ends[0].OutputDuration, 1000000);
    EXPECT_LT(ends[0].OutputDuration, 10000000);
    EXPECT_TRUE(fs::exists(queue.Jobs()[0].OutputPath));
    EXPECT_TRUE(ends[1].Warning.empty()) << ends[1].Warning;
}

TEST(ShortOutputWarning, OnlyWellShortOfAKnownLength) {
    struct TCase {
        int64_t ProbedUs;
        int64_t OutputUs;
        bool Warned;
    };
    const TCase cases[] = {
        {300000000, 88000000, true},                   // 88 s of 300 s
        {300000000, 299000000, false},                 // encoder delay and rounding
        {1000000, 600000, false},                      // short of it by less than the slack
        {10000000, 8000000, true},     {-1, 0, false}, // length unknown
    };
    for (const TCase& c : cases) {
        const std::string text = ShortOutputWarning("a.flac", c.ProbedUs, c.OutputUs);
        EXPECT_EQ(!text.empty(), c.Warned) << c.ProbedUs << " " << c.OutputUs << " " << text;
    }
    EXPECT_EQ(ShortOutputWarning("a.flac", 300000000, 88000000),
              "a.flac: only 00:01:28.000 of its 00:05:00.000 could be decoded");
}

} // namespace
