// The logger: level mapping, filtering, and the library callback's line assembly,
// prefixes, repeat counting and delivery on the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FFLoad.h"
#include "MyUtils.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVUtilStubs.h"
#include "log/FFLog.h"

namespace {

struct TReceived {
    void* Sender;
    uint32_t ThreadID;
    TLogLevel Level;
    std::string Msg;
    bool OnMainThread;
};

// Calls the library callback as the libraries do, with a va_list.
__attribute__((format(printf, 3, 4))) void LibLog(void* obj, int level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    TFFLogger::LibraryLogCallback(obj, level, fmt, args);
    va_end(args);
}

std::string Hex16(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016" PRIXPTR, reinterpret_cast<uintptr_t>(p));
    return buf;
}

// A context the way the libraries lay one out: class record first, then a parent pointer.
struct TFakeContext {
    const AVClass* Class;
    void* Parent;
    const char* Name;
};

const char* FakeItemName(void* ctx) {
    return static_cast<TFakeContext*>(ctx)->Name;
}

AVClass MakeClass(int version) {
    AVClass c{};
    c.class_name = "FakeClass";
    c.item_name = FakeItemName;
    c.version = version;
    c.parent_log_context_offset = offsetof(TFakeContext, Parent);
    return c;
}

const AVClass CurrentClass = MakeClass(LIBAVUTIL_VERSION_INT);
const AVClass OldClass = MakeClass(0x320F02); // before the parent-context offset existed

std::string Tag(const char* name, const void* p) {
    return std::string("[") + name + " @ " + Hex16(p) + "]";
}

class FFLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        ASSERT_TRUE(FFLoader->Load(EncoderLibraries)) << FFLoader->LastErrMsg();
        ResetLibraryLogStateForTesting();
        logger_ = std::make_unique<TFFLogger>();
        logger_->SetLogLevel(llInfo);
        logger_->SetOnLog(Recorder());
    }
    void TearDown() override {
        logger_.reset();
        ResetLibraryLogStateForTesting();
    }

    TLogEvent Recorder() {
        return [this](void* sender, uint32_t tid, TLogLevel level, const std::string& msg) {
            received_.push_back({sender, tid, level, msg, IsMainThread()});
        };
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const TReceived& r : received_)
            out.push_back(r.Msg);
        return out;
    }

    std::unique_ptr<TFFLogger> logger_;
    std::vector<TReceived> received_;
    TFakeContext child_{&CurrentClass, nullptr, "child"};
};

TEST(FFLogLevels, MappingBothDirections) {
    const struct {
        TLogLevel Level;
        int Library;
    } toLibrary[] = {{llQuiet, -8},   {llPanic, 0}, {llFatal, 8},    {llError, 16},
                     {llWarning, 24}, {llInfo, 32}, {llVerbose, 40}, {llDebug, 48}};
    for (const auto& c : toLibrary)
        EXPECT_EQ(LogLevelToLibrary(c.Level), c.Library) << int(c.Level);

    const struct {
        int Library;
        TLogLevel Level;
    } fromLibrary[] = {{-100, llQuiet}, {-9, llQuiet}, {-8, llQuiet},   {-7, llPanic},
                       {0, llPanic},    {7, llPanic},  {8, llFatal},    {15, llFatal},
                       {16, llError},   {23, llError}, {24, llWarning}, {31, llWarning},
                       {32, llInfo},    {39, llInfo},  {40, llVerbose}, {47, llVerbose},
                       {48, llDebug},   {100, llDebug}};
    for (const auto& c : fromLibrary)
        EXPECT_EQ(LibraryToLogLevel(c.Library), c.Level) << c.Library;
}

TEST_F(FFLogTest, SetLogLevelByNameTakesWordsAndNumbers) {
    const struct {
        const char* Name;
        TLogLevel Level;
    } cases[] = {{"warning", llWarning}, {"WARNING", llWarning}, {"Verbose", llVerbose},
                 {"quiet", llQuiet},     {"DEBUG", llDebug},     {"20", llError},
                 {"-8", llQuiet},        {"+33", llInfo},        {"7", llPanic}};
    for (const auto& c : cases) {
        logger_->SetLogLevel(c.Level == llInfo ? llDebug : llInfo); // force a change
        logger_->SetLogLevelByName(c.Name);
        EXPECT_EQ(logger_->LogLevel(), c.Level) << c.Name;
        EXPECT_EQ(ff::av_log_get_level(), LogLevelToLibrary(c.Level)) << c.Name;
    }
}

TEST_F(FFLogTest, SetLogLevelByNameRejectsNonNumbers) {
    logger_->SetLogLevel(llWarning);
    for (const char* name : {"loud", "20x", "", "0x10", "1.5"}) {
        EXPECT_THROW(logger_->SetLogLevelByName(name), std::invalid_argument) << name;
        EXPECT_EQ(logger_->LogLevel(), llWarning) << name;
    }
}

TEST_F(FFLogTest, LogFiltersByLevel) {
    // Expected deliveries per message level llQuiet .. llDebug.
    const struct {
        TLogLevel Setting;
        bool Delivered[8];
    } cases[] = {
        {llInfo, {true, true, true, true, true, true, true, false}},
        {llQuiet, {true, false, false, false, false, false, false, false}},
    };
    int sender = 0;
    for (const auto& c : cases) {
        logger_->SetLogLevel(c.Setting);
        for (int level = llQuiet; level <= llDebug; ++level) {
            received_.clear();
            logger_->Log(&sender, static_cast<TLogLevel>(level), "message");
            ASSERT_EQ(received_.size(), c.Delivered[level] ? 1u : 0u)
                << "setting " << int(c.Setting) << ", level " << level;
            if (!received_.empty()) {
                EXPECT_EQ(received_[0].Sender, &sender);
                EXPECT_EQ(received_[0].Level, level);
                EXPECT_EQ(received_[0].ThreadID, CurrentThreadID());
                EXPECT_EQ(received_[0].Msg, "message");
            }
        }
    }
}

TEST_F(FFLogTest, LogFmtFormatsWholeMessage) {
    const std::string longText(5000, 'q');
    logger_->LogFmt(nullptr, llError, "%s-%d|%s", "a", 5, longText.c_str());
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0].Msg, "a-5|" + longText);
    EXPECT_EQ(received_[0].Level, llError);
}

TEST_F(FFLogTest, RepeatedLinesAreCounted) {
    for (int i = 0; i < 3; ++i)
        LibLog(&child_, AV_LOG_INFO, "same %d\n", 1);
    LibLog(&child_, AV_LOG_INFO, "other\n");
    const std::string tag = Tag("child", &child_);
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              tag + "same 1", "    Last message repeated 2 times", tag + "other"}));
    for (const TReceived& r : received_) {
        EXPECT_EQ(r.Sender, logger_.get());
        EXPECT_EQ(r.ThreadID, CurrentThreadID());
        EXPECT_EQ(r.Level, llInfo);
    }
}

TEST_F(FFLogTest, RepeatStateIsKeptWithoutHandler) {
    logger_->SetOnLog(nullptr);
    LibLog(nullptr, AV_LOG_WARNING, "x\n");
    logger_->SetOnLog(Recorder());
    LibLog(nullptr, AV_LOG_WARNING, "x\n");
    LibLog(nullptr, AV_LOG_WARNING, "y\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"    Last message repeated 1 times", "y"}));
    EXPECT_EQ(received_[0].Level, llWarning);
}

TEST_F(FFLogTest, FragmentsMakeOneLineWithFirstPrefix) {
    TFakeContext other{&CurrentClass, nullptr, "other"};
    LibLog(&child_, AV_LOG_INFO, "part %s, ", "one");
    EXPECT_TRUE(received_.empty());
    LibLog(&other, AV_LOG_INFO, "part two\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{Tag("child", &child_) + "part one, part two"}));
}

TEST_F(FFLogTest, MessageWithTwoLineFeedsGivesTwoLines) {
    LibLog(&child_, AV_LOG_ERROR, "first\nsecond\ntail");
    EXPECT_EQ(Messages(), (std::vector<std::string>{Tag("child", &child_) + "first", "second"}));
    LibLog(nullptr, AV_LOG_ERROR, " end\n");
    ASSERT_EQ(received_.size(), 3u);
    EXPECT_EQ(received_[2].Msg, "tail end");
    EXPECT_EQ(received_[2].Level, llError);
}

TEST_F(FFLogTest, MessagesAboveLibraryLevelAreDroppedFirst) {
    LibLog(nullptr, AV_LOG_VERBOSE, "dropped fragment ");
    LibLog(nullptr, AV_LOG_INFO, "kept\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"kept"}));

    logger_->SetLogLevel(llQuiet);
    EXPECT_EQ(ff::av_log_get_level(), AV_LOG_QUIET);
    LibLog(nullptr, AV_LOG_PANIC, "panic\n");
    EXPECT_EQ(received_.size(), 1u);

    logger_->SetLogLevel(llDebug);
    LibLog(nullptr, AV_LOG_VERBOSE, "verbose\n");
    ASSERT_EQ(received_.size(), 2u);
    EXPECT_EQ(received_[1].Msg, "verbose");
    EXPECT_EQ(received_[1].Level, llVerbose);
}

TEST_F(FFLogTest, LongMessagesArriveWhole) {
    // Lengths around the 2048-byte first buffer and its growth steps.
    for (size_t length : {2046u, 2047u, 2048u, 4095u, 4096u, 6143u, 10000u}) {
        received_.clear();
        const std::string text(length, static_cast<char>('a' + length % 26));
        LibLog(nullptr, AV_LOG_INFO, "%s\n", text.c_str());
        ASSERT_EQ(received_.size(), 1u) << length;
        EXPECT_EQ(received_[0].Msg, text) << length;
    }
}

TEST_F(FFLogTest, PrefixNamesObjectAndParent) {
    TFakeContext parent{&CurrentClass, nullptr, "parent"};
    TFakeContext withParent{&CurrentClass, &parent, "kid"};
    TFakeContext oldWithParent{&OldClass, &parent, "old"};
    TFakeContext classlessParent{nullptr, nullptr, "none"};
    TFakeContext withClasslessParent{&CurrentClass, &classlessParent, "kid2"};
    TFakeContext noClass{nullptr, nullptr, "none"};
    const struct {
        void* Object;
        std::string Prefix;
    } cases[] = {
        {nullptr, ""},
        {&noClass, ""},
        {&child_, Tag("child", &child_)},
        {&withParent, Tag("parent", &parent) + " " + Tag("kid", &withParent)},
        {&oldWithParent, Tag("old", &oldWithParent)},
        {&withClasslessParent, Tag("kid2", &withClasslessParent)},
    };
    int i = 0;
    for (const auto& c : cases) {
        received_.clear();
        LibLog(c.Object, AV_LOG_INFO, "case %d\n", i);
        ASSERT_EQ(received_.size(), 1u) << i;
        EXPECT_EQ(received_[0].Msg, c.Prefix + "case " + std::to_string(i)) << i;
        ++i;
    }
}

TEST_F(FFLogTest, RealLibraryObjectThroughAvLog) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name("pcm_s16le");
    ASSERT_NE(codec, nullptr);
    auto freeContext = [](AVCodecContext* c) { ff::avcodec_free_context(&c); };
    std::unique_ptr<AVCodecContext, decltype(freeContext)> ctx(ff::avcodec_alloc_context3(codec),
                                                               freeContext);
    ASSERT_NE(ctx, nullptr);
    const std::string name = ctx->av_class->item_name(ctx.get());
    ASSERT_FALSE(name.empty());

    ff::av_log(ctx.get(), AV_LOG_WARNING, "real %d\n", 7);
    ff::av_log(ctx.get(), AV_LOG_DEBUG, "too detailed\n");
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0].Msg, "[" + name + " @ " + Hex16(ctx.get()) + "]real 7");
    EXPECT_EQ(received_[0].Level, llWarning);
    EXPECT_EQ(received_[0].Sender, logger_.get());
}

TEST_F(FFLogTest, WorkerLinesReachTheMainThread) {
    for (bool onMain : {true, false}) {
        received_.clear();
        logger_->TriggerEventInMainThread = onMain;
        std::atomic<uint32_t> workerID{0};
        std::thread worker([&] {
            workerID = CurrentThreadID();
            LibLog(nullptr, AV_LOG_INFO, "from worker %d\n", int(onMain));
            logger_->Log(nullptr, llError, "direct");
        });
        // The worker does not wait for the main thread: it ends before anything is pumped.
        worker.join();
        EXPECT_EQ(received_.size(), onMain ? 0u : 2u) << onMain;
        ProcessPendingMessages();
        const std::string line = "from worker " + std::to_string(int(onMain));
        ASSERT_EQ(Messages(), (std::vector<std::string>{line, "direct"})) << onMain;
        for (const TReceived& r : received_) {
            EXPECT_EQ(r.OnMainThread, onMain);
            EXPECT_EQ(r.ThreadID, workerID.load());
        }
    }
}

// Several threads log at once, through the library callback and directly, while the main
// thread serves the queue now and then, logging lines of its own (or only serves it at the
// end): every line arrives once, on the main thread, and each thread's lines arrive in the
// order it logged them.
TEST_F(FFLogTest, LinesOfManyThreadsKeepTheirOrderAndNoneIsLost) {
    constexpr int Threads = 4;
    constexpr int LinesPerThread = 500;
    for (bool pumpWhileLogging : {false, true}) {
        received_.clear();
        std::atomic<int> finished{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < Threads; ++t)
            workers.emplace_back([&, t] {
                for (int n = 0; n < LinesPerThread; ++n) {
                    if (n % 2 == 0)
                        LibLog(nullptr, AV_LOG_WARNING, "t%d %d\n", t, n);
                    else
                        logger_->LogFmt(nullptr, llWarning, "t%d %d", t, n);
                }
                ++finished;
            });
        while (finished < Threads) {
            if (pumpWhileLogging) {
                ProcessPendingMessages();
                logger_->Log(nullptr, llInfo, "main");
            } else {
                std::this_thread::yield();
            }
        }
        for (std::thread& w : workers)
            w.join();
        if (!pumpWhileLogging) {
            EXPECT_TRUE(received_.empty());
        }
        DeliverQueuedLogLines();

        int next[Threads] = {};
        for (const TReceived& r : received_) {
            EXPECT_TRUE(r.OnMainThread);
            if (r.Msg == "main")
                continue;
            int t = -1, n = -1;
            ASSERT_EQ(std::sscanf(r.Msg.c_str(), "t%d %d", &t, &n), 2) << r.Msg;
            ASSERT_TRUE(t >= 0 && t < Threads) << r.Msg;
            EXPECT_EQ(n, next[t]) << "thread " << t << " out of order";
            next[t] = n + 1;
        }
        for (int t = 0; t < Threads; ++t)
            EXPECT_EQ(next[t], LinesPerThread)
                << "thread " << t << ", pumping " << pumpWhileLogging;
    }
}

// Lines still queued when the handler is replaced or the logger goes reach the handler that
// was set when they were logged.
TEST_F(FFLogTest, QueuedLinesReachTheOldHandlerBeforeItIsReplaced) {
    std::thread([&] { logger_->Log(nullptr, llError, "before replace"); }).join();
    std::vector<std::string> second;
    logger_->SetOnLog(
        [&](void*, uint32_t, TLogLevel, const std::string& msg) { second.push_back(msg); });
    EXPECT_EQ(Messages(), std::vector<std::string>{"before replace"});
    std::thread([&] { logger_->Log(nullptr, llError, "before reset"); }).join();
    logger_.reset();
    EXPECT_EQ(second, std::vector<std::string>{"before reset"});
}

TEST_F(FFLogTest, OnlyOneApplicationLogger) {
    try {
        TFFLogger second;
        FAIL() << "a second logger was created";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_EQ(FFLogger(), logger_.get());

    // An on-demand logger gives way to the application's, which starts at the
    // level last given to the libraries.
    logger_->SetLogLevel(llWarning);
    logger_.reset();
    TFFLogger* owned = FFLogger();
    EXPECT_TRUE(owned->Owned());
    EXPECT_EQ(owned->LogLevel(), llWarning);
    logger_ = std::make_unique<TFFLogger>();
    EXPECT_FALSE(logger_->Owned());
    EXPECT_EQ(FFLogger(), logger_.get());
    EXPECT_EQ(logger_->LogLevel(), llWarning);
}

} // namespace
