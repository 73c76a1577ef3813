// The process-wide logger: the one place where log text of the media layer (the FFmpeg
// libraries' own lines and the components' messages) reaches the application.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "FFBaseComponent.h"

enum TLogLevel : uint8_t {
    llQuiet,
    llPanic,
    llFatal,
    llError,
    llWarning,
    llInfo,
    llVerbose,
    llDebug
};

// Library numeric levels: quiet -8, panic 0, fatal 8, error 16, ... debug 48.
int LogLevelToLibrary(TLogLevel level);
TLogLevel LibraryToLogLevel(int libraryLevel);

// OnLog: sender, id of the thread that produced the text, level, one line of text.
using TLogEvent = std::function<void(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel,
                                     const std::string& ALogMsg)>;

// The values of one delivery; every delivery carries its own.
struct TLogInfo {
    void* Sender = nullptr;
    uint32_t ThreadID = 0;
    TLogLevel LogLevel = llInfo;
    std::string LogMsg;
};

class TFFLogger : public TFFBaseComponent {
public:
    // Replaces an owned (on-demand) logger; throws std::logic_error when the application
    // has created a logger already.
    explicit TFFLogger(void* AOwner = nullptr);
    ~TFFLogger() override;
    TFFLogger(const TFFLogger&) = delete;
    TFFLogger& operator=(const TFFLogger&) = delete;

    bool Owned() const { return owned_; }

    // Deliver OnLog on the main thread (through CallInMainThread).
    std::atomic<bool> TriggerEventInMainThread{true};

    TLogLevel LogLevel() const { return logLevel_.load(); }
    void SetLogLevel(TLogLevel level);
    // Level words ("quiet" ... "debug", any case) or a decimal library level; a text that
    // is neither raises std::invalid_argument.
    void SetLogLevelByName(const std::string& name);
    // Hands the library level of LogLevel to the libraries (when avutil is bound).
    void ApplyLogLevel();
    // Installs LibraryLogCallback in avutil, then ApplyLogLevel. Called after avutil is bound.
    void InstallLogCallback();

    // Filtered delivery of one message.
    void Log(void* Sender, TLogLevel level, const std::string& msg);
    void LogFmt(void* Sender, TLogLevel level, const char* fmt, ...)
        __attribute__((format(printf, 4, 5)));
    // Unfiltered delivery of one line assembled by the library callback.
    void LogLibraryLine(uint32_t threadID, int libraryLevel, const std::string& line);

    // The callback installed in the libraries.
    static void LibraryLogCallback(void* obj, int level, const char* fmt, va_list args);

    // The handler may be set or cleared while other threads log.
    void SetOnLog(TLogEvent handler);
    bool HasOnLog() const;

private:
    friend TFFLogger* FFLogger();
    TFFLogger(void* AOwner, bool owned);
    void Deliver(const TLogInfo& info);

    bool owned_ = false;
    std::atomic<TLogLevel> logLevel_{llInfo};
    mutable std::mutex handlerMutex_;
    TLogEvent onLog_;
};

// The current logger; creates an owned one when none exists.
TFFLogger* FFLogger();

// Tests only: forgets the text pending per thread and the repeat state of the library
// callback, so that a test starts as the process does.
void ResetLibraryLogStateForTesting();
