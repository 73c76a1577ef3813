// The process-wide logger: the one place where log text of the media layer (the FFmpeg
// libraries' own lines and the components' messages) reaches the application.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

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

    // Deliver OnLog on the main thread. A line logged on another thread joins the log queue
    // and the thread goes on at once; the main thread's event loop delivers the queue in
    // order (see DeliverQueuedLogLines). A line logged on the main thread is delivered at
    // once, after the lines queued before it.
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

    // The handler may be set or cleared while other threads log. On the main thread the
    // lines queued so far go to the old handler first, so none is lost and, once this
    // returns, the old handler is not called again.
    void SetOnLog(TLogEvent handler);
    bool HasOnLog() const;

private:
    friend TFFLogger* FFLogger();
    friend void DeliverQueuedLogLines();
    friend void DeliverLogLines(const std::vector<TLogInfo>& lines);
    TFFLogger(void* AOwner, bool owned);
    void Deliver(const TLogInfo& info);
    // Calls OnLog with one delivery's values on this thread.
    void Run(const TLogInfo& info);

    bool owned_ = false;
    std::atomic<TLogLevel> logLevel_{llInfo};
    mutable std::mutex handlerMutex_;
    TLogEvent onLog_;
};

// The current logger; creates an owned one when none exists.
TFFLogger* FFLogger();

// Delivers the lines other threads have queued for the main thread, in the order they were
// queued (so each thread's lines keep their order), to the current logger's OnLog. Runs on
// the main thread only (elsewhere it does nothing). The main thread's event loop runs it for
// every queued line, and so does ProcessPendingMessages; a program without an event loop
// calls it (or ProcessPendingMessages) itself, at the latest before it reads the log.
void DeliverQueuedLogLines();

// While it lives, the lines logged on the thread that made it (the components' messages and
// the libraries' lines that pass the level) are kept in it instead of being delivered, so
// that their owner can deliver them later, at their place among other lines. Take hands
// them over in the order they were logged; lines not taken are delivered when it goes.
// Captures nest on a thread: the innermost one keeps the lines. Made and destroyed on the
// same thread, in reverse order.
class TLogHold {
public:
    TLogHold();
    ~TLogHold();
    TLogHold(const TLogHold&) = delete;
    TLogHold& operator=(const TLogHold&) = delete;

    std::vector<TLogInfo> Take();

private:
    friend class TFFLogger;
    TLogHold* outer_;
    std::vector<TLogInfo> lines_;
};

// Delivers kept lines with their own sender, thread id and level, as a line logged now on
// this thread is delivered (on the main thread at once, after the lines queued before).
void DeliverLogLines(const std::vector<TLogInfo>& lines);

// Tests only: forgets the text pending per thread and the repeat state of the library
// callback, so that a test starts as the process does.
void ResetLibraryLogStateForTesting();
