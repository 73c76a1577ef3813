// Shared pieces of the engine tests: loading the media libraries, a task whose internal
// tables the tests can reach, and a capture of the logger's deliveries.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "FFmpeg.h"
#include "log/FFLog.h"

inline bool EngineLibrariesLoaded() {
    static const bool loaded = [] {
        FFLoader->SetLibraryPath(AUDIOCONV_LIB_DIR);
        return FFLoader->Load(EncoderLibraries);
    }();
    return loaded;
}

// Loads the libraries before the fixture's members (tasks) are created.
class TEngineTest : public ::testing::Test {
protected:
    TEngineTest() { EngineLibrariesLoaded(); }
    void SetUp() override { ASSERT_TRUE(EngineLibrariesLoaded()) << FFLoader->LastErrMsg(); }
};

class TTestTask : public TCustomFFmpeg {
public:
    explicit TTestTask(int capacity = 1) : TCustomFFmpeg(capacity) {}
    using TCustomFFmpeg::AppendOutputFile;
    using TCustomFFmpeg::AudioSize;
    using TCustomFFmpeg::FrameHooks;
    using TCustomFFmpeg::InputCodecs;
    using TCustomFFmpeg::InputFiles;
    using TCustomFFmpeg::InputStreams;
    using TCustomFFmpeg::OpenDecoders;
    using TCustomFFmpeg::OpenEncoders;
    using TCustomFFmpeg::OutputCodecs;
    using TCustomFFmpeg::OutputFiles;
    using TCustomFFmpeg::OutputStreams;
};

// Collects what the logger delivers while the capture exists.
class TLogCapture {
public:
    struct TEntry {
        void* Sender;
        uint32_t ThreadID;
        TLogLevel Level;
        std::string Msg;
    };

    TLogCapture() {
        FFLogger()->SetOnLog(
            [this](void* sender, uint32_t thread, TLogLevel level, const std::string& msg) {
                std::lock_guard guard(mutex_);
                entries_.push_back(TEntry{sender, thread, level, msg});
            });
    }
    ~TLogCapture() { FFLogger()->SetOnLog(nullptr); }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    std::vector<TEntry> Entries() const {
        std::lock_guard guard(mutex_);
        return entries_;
    }
    // Deliveries whose text contains `part`.
    std::vector<TEntry> Matching(const std::string& part) const {
        std::vector<TEntry> found;
        for (const TEntry& e : Entries())
            if (e.Msg.find(part) != std::string::npos)
                found.push_back(e);
        return found;
    }

private:
    mutable std::mutex mutex_;
    std::vector<TEntry> entries_;
};

// The message of what `call` raises; none when it raises nothing.
template <typename F> std::optional<std::string> RaisedMessage(F&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}
