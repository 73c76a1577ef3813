// Stopping a run: a suspended or running worker, a blocking open, a run blocked in a read.
#include "RunTestEnv.h"

using namespace runtest;

namespace {

struct TEnded {
    TManualResetEvent Event{false};
    std::atomic<bool> Finished{true};
    std::atomic<bool> Error{true};

    void Attach(TCustomFFmpeg& task) {
        task.OnTerminate = [this](TCustomFFmpeg* sender) {
            Finished = sender->Finished.load();
            Error = sender->ErrorOccurred.load();
            Event.Set();
        };
    }
    // Waits while serving the calls that workers queue for the main thread.
    bool Wait() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!Event.WaitFor(std::chrono::milliseconds(20))) {
            ProcessPendingMessages();
            if (std::chrono::steady_clock::now() > deadline)
                return false;
        }
        return true;
    }
};

TEST_F(EngineRun, StopWithoutWaitOnASuspendedWorkerWritesHeaderAndTrailer) {
    TEnded ended;
    const std::string out = OutPath("stopped-before.wav");
    {
        TTestTask task;
        ended.Attach(task);
        OpenInput(task, WavSource(2));
        CreateOutput(task, out, TOutputOptions{});
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        task.Stop(false); // resumes the suspended worker
        ASSERT_TRUE(ended.Wait());
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_EQ(Packets(out), 0);
    EXPECT_TRUE(WavComplete(out));
}

TEST_F(EngineRun, StopWhileRunningLeavesACompleteOutputUpToThatPoint) {
    TEnded ended;
    const std::string out = OutPath("stopped-while.wav");
    {
        TTestTask task;
        ended.Attach(task);
        OpenInput(task, WavSource(3));
        CreateOutput(task, out, TOutputOptions{});
        // The worker asks itself to stop after a number of decoded chunks.
        int chunks = 0;
        task.OnAudioHook = [&chunks](TCustomFFmpeg* sender, uint8_t*, int64_t, int, int, int,
                                     AVSampleFormat) {
            if (++chunks == 20)
                sender->Stop(false);
        };
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        thread->Resume();
        ASSERT_TRUE(ended.Wait());
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_TRUE(WavComplete(out));
    const double seconds = PacketSeconds(out);
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 2.0);
}

// A local listening socket; a connection to it completes (the backlog takes it) whether or
// not it is accepted.
class TLocalServer {
public:
    TLocalServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 4);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~TLocalServer() {
        for (int c : clients_)
            close(c);
        close(fd_);
    }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // The next connection, or -1 after 20 s without one.
    int Accept() {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            return -1;
        const int c = accept(fd_, nullptr, nullptr);
        if (c >= 0)
            clients_.push_back(c);
        return c;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
};

TEST_F(EngineRun, OpenThatNeverAnswersIsAbandonedAfterIOTimeout) {
    TLocalServer server;
    TLogCapture log;
    TTestTask task;
    task.IOTimeout = 200;
    EXPECT_FALSE(task.OpenInputFile(server.Url()));
    EXPECT_EQ(task.InputCount(), 0);
    EXPECT_FALSE(log.Matching("connecting/reading/writing timeout").empty());
}

TEST_F(EngineRun, StopCancelsABlockingOpen) {
    TLocalServer server;
    TLogCapture log;
    TTestTask task;
    task.IOTimeout = 600000;
    std::atomic<bool> opened{true};
    std::atomic<bool> done{false};
    std::thread opener([&] {
        opened = task.OpenInputFile(server.Url());
        done = true;
    });
    // Once the connection is there, the open is blocked reading from it.
    EXPECT_GE(server.Accept(), 0);
    task.Stop(false);
    while (!done) // the log is delivered on this thread
        ProcessPendingMessages();
    opener.join();
    // The opener's last lines may have been queued after the loop's last delivery.
    ProcessPendingMessages();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(log.Matching("connecting/reading/writing canceled").empty());
    EXPECT_TRUE(log.Matching("connecting/reading/writing timeout").empty());
}

// A running task blocked in a read of an input that stopped sending ends at once on Stop,
// with everything read so far written and the trailer in place.
TEST_F(EngineRun, StopEndsARunBlockedInARead) {
    const std::string source = WavSource(1);
    std::vector<char> bytes(fs::file_size(source));
    std::ifstream(source, std::ios::binary).read(bytes.data(), static_cast<long>(bytes.size()));
    // A data chunk of unknown length, as a live stream sends it: the input ends only when the
    // connection does.
    const std::string head(bytes.data(), std::min<size_t>(bytes.size(), 256));
    const size_t data = head.find("data");
    ASSERT_NE(data, std::string::npos);
    std::memset(bytes.data() + data + 4, 0xff, 4);

    TLocalServer server;
    std::atomic<int> client{-1};
    std::thread sender([&] {
        client = server.Accept();
        if (client >= 0) // the whole file, then silence on an open connection
            (void)!write(client, bytes.data(), bytes.size());
    });
    TEnded ended;
    const std::string out = OutPath("stopped-read.wav");
    {
        TTestTask task;
        ended.Attach(task);
        task.ParseOption("f", "wav");
        task.ParseOption("analyzeduration", "100000");
        ASSERT_TRUE(task.OpenInputFile(server.Url())) << task.LastError;
        sender.join();
        CreateOutput(task, out, TOutputOptions{});
        TConvertThread* thread = task.Start(true);
        ASSERT_NE(thread, nullptr);
        thread->Resume();
        // Everything sent reaches the output; then the run waits for more.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (task.AudioSize < static_cast<int64_t>(bytes.size()) - 8192 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        task.Stop(true);
        EXPECT_TRUE(ended.Event.WaitFor(std::chrono::milliseconds(0)));
    }
    EXPECT_FALSE(ended.Finished);
    EXPECT_FALSE(ended.Error);
    EXPECT_TRUE(WavComplete(out));
    EXPECT_NEAR(PacketSeconds(out), 1.0, 0.1);
}

} // namespace
