#include "FFLog.h"

#include <cassert>
#include <charconv>
#include <cstdio>
#include <deque>
#include <stdexcept>
#include <strings.h>
#include <utility>
#include <vector>

#include "MyUtils.h"
#include "binding/AVUtilStubs.h"
#include "binding/MyUtilStubs.h"

int LogLevelToLibrary(TLogLevel level) {
    return (static_cast<int>(level) - 1) * 8;
}

TLogLevel LibraryToLogLevel(int libraryLevel) {
    const int v = libraryLevel / 8 + 1; // C++ division truncates toward zero
    return static_cast<TLogLevel>(v < llQuiet ? llQuiet : v > llDebug ? llDebug : v);
}

namespace {

// ---- process-wide state ----------------------------------------------------------------

// The current logger, guarded by its own small lock (FFLogger may run on any thread).
std::mutex GCurrentLock;
TFFLogger* GCurrent = nullptr;

// The level last given to the libraries; library messages above it are dropped at once.
std::atomic<int> GCurrentLibraryLevel{AV_LOG_INFO};

// Text received through the library callback for one thread and not yet delivered.
struct TLogItem {
    uint32_t ThreadID;
    std::string Text;
    TLogItem* Next;
};

// One item per thread id that ever logged; items live until the unit ends.
class TLogList {
public:
    TLogList() = default;
    TLogList(const TLogList&) = delete;
    TLogList& operator=(const TLogList&) = delete;
    ~TLogList() { Clear(); }

    TLogItem& Find(uint32_t threadID) {
        for (TLogItem* item = head_; item != nullptr; item = item->Next)
            if (item->ThreadID == threadID)
                return *item;
        head_ = new TLogItem{threadID, std::string(), head_};
        return *head_;
    }
    void Clear() {
        while (head_ != nullptr)
            delete std::exchange(head_, head_->Next);
    }

private:
    TLogItem* head_ = nullptr;
};

// What the log lock guards: the per-thread text, the line assembly and the repeat state.
struct TLibraryLogState {
    TLogList List;
    std::string PreviousPiece;
    int RepeatCount = 0;
};

// The log lock is constant-initialised, so it serves a library line at any time of the
// process; the state behind it is made on first use and freed when the unit ends.
std::mutex GLogLock;
TLibraryLogState* GLogState = nullptr;

// The innermost log capture of this thread, if any.
thread_local TLogHold* GThreadHold = nullptr;

TLibraryLogState& LogState() {
    if (GLogState == nullptr)
        GLogState = new TLibraryLogState();
    return *GLogState;
}

// ---- the queue of lines for the main thread ---------------------------------------------

// Lines other threads hand to the main thread. A worker appends and goes on; the main thread
// takes them one at a time, so a handler that logs (and so delivers again) keeps the order.
// Its lock is taken alone: nothing else is locked while it is held.
class TLogQueue {
public:
    void Push(TLogInfo info) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(info));
    }
    bool Pop(TLogInfo& info) {
        std::lock_guard lock(mutex_);
        if (lines_.empty())
            return false;
        info = std::move(lines_.front());
        lines_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::deque<TLogInfo> lines_;
};

// Constant-initialised parts only, so that a line may be queued at any time of the process.
TLogQueue* GLogQueue = nullptr;
std::mutex GLogQueueMake;

TLogQueue& LogQueue() {
    std::lock_guard lock(GLogQueueMake);
    if (GLogQueue == nullptr)
        GLogQueue = new TLogQueue();
    return *GLogQueue;
}

// The current logger without creating one.
TFFLogger* CurrentLogger() {
    std::lock_guard lock(GCurrentLock);
    return GCurrent;
}

// ProcessPendingMessages delivers the queue too.
[[maybe_unused]] const bool GDrainRegistered = (AddMainThreadDrain(&DeliverQueuedLogLines), true);

// Unit end: the pending texts, the repeat state and the queued lines go, and so does an owned
// logger.
struct TLogUnitEnd {
    ~TLogUnitEnd() {
        {
            std::lock_guard lock(GLogLock);
            delete std::exchange(GLogState, nullptr);
        }
        {
            std::lock_guard lock(GLogQueueMake);
            delete std::exchange(GLogQueue, nullptr);
        }
        TFFLogger* owned = nullptr;
        {
            std::lock_guard lock(GCurrentLock);
            if (GCurrent != nullptr && GCurrent->Owned())
                owned = std::exchange(GCurrent, nullptr);
        }
        delete owned;
    }
} GLogUnitEnd;

// ---- prefix of a library line ------------------------------------------------------------

// First library version whose class record carries the parent-context offset (50.15.3).
constexpr int ParentContextClassVersion = 0x320F03;

const AVClass* ClassOf(void* obj) {
    return *static_cast<const AVClass* const*>(obj);
}

std::string ItemName(void* obj, const AVClass* cls) {
    const char* name = cls->item_name != nullptr ? cls->item_name(obj) : cls->class_name;
    return name != nullptr ? name : "";
}

// Upper-case hexadecimal, zero-padded to the pointer width.
std::string PointerText(const void* p) {
    static const char Digits[] = "0123456789ABCDEF";
    auto v = reinterpret_cast<uintptr_t>(p);
    std::string text(sizeof(uintptr_t) * 2, '0');
    for (auto it = text.rbegin(); it != text.rend(); ++it, v >>= 4)
        *it = Digits[v & 0xF];
    return text;
}

std::string ObjectTag(void* obj, const AVClass* cls) {
    std::string tag = "[";
    tag += ItemName(obj, cls);
    tag += " @ ";
    tag += PointerText(obj);
    tag += "]";
    return tag;
}

// "[parent @ P] [item @ P]" or "[item @ P]"; empty without an object or class record.
std::string LinePrefix(void* obj) {
    if (obj == nullptr)
        return std::string();
    const AVClass* cls = ClassOf(obj);
    if (cls == nullptr) // nothing to name the object by
        return std::string();
    std::string prefix;
    if (cls->version >= ParentContextClassVersion && cls->parent_log_context_offset != 0) {
        void* parent =
            *reinterpret_cast<void**>(static_cast<uint8_t*>(obj) + cls->parent_log_context_offset);
        if (parent != nullptr && ClassOf(parent) != nullptr)
            prefix = ObjectTag(parent, ClassOf(parent)) + " ";
    }
    return prefix + ObjectTag(obj, cls);
}

// ---- formatting -------------------------------------------------------------------------

// The C runtime's formatter of the function table; the program's own C library until that
// table is bound (avutil, which logs, is loaded before it).
int RuntimeVsnprintf(char* buf, size_t size, const char* fmt, va_list args) {
    return ff::vsnprintf != nullptr ? ff::vsnprintf(buf, size, fmt, args)
                                    : std::vsnprintf(buf, size, fmt, args);
}

constexpr size_t FirstBufferSize = 2048;
constexpr size_t BufferGrowth = 2048;

// Formats into zero-filled buffers of 2048, 4096, 6144, ... bytes until the text fits. The
// formatter tells the length it needs, so sizes too small for it are skipped. A formatting
// error ends the retries with what the buffer holds. The text ends at the first zero byte.
std::string FormatLibraryText(const char* fmt, va_list args) {
    std::vector<char> buf(FirstBufferSize, '\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int n = RuntimeVsnprintf(buf.data(), buf.size(), fmt, copy);
        va_end(copy);
        if (n < 0 || static_cast<size_t>(n) < buf.size())
            break;
        size_t size = buf.size() + BufferGrowth;
        while (size <= static_cast<size_t>(n))
            size += BufferGrowth;
        buf.assign(size, '\0');
    }
    return std::string(buf.data(), strnlen(buf.data(), buf.size()));
}

// The program's own formatter for LogFmt.
std::string FormatMessage(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

// ---- line assembly ----------------------------------------------------------------------

// Adds one piece of library text for a thread; returns the lines it completes (a pending
// repeat count first). Runs under the log lock.
std::vector<std::string> AssemblePiece(TLibraryLogState& state, TLogItem& item, std::string piece) {
    std::vector<std::string> lines;
    if (piece.empty()) // nothing received: neither a repeat nor a line
        return lines;
    if (piece.back() == '\n' && piece == state.PreviousPiece) {
        ++state.RepeatCount;
        return lines;
    }
    item.Text += piece;
    if (state.RepeatCount > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "    Last message repeated %d times", state.RepeatCount);
        lines.emplace_back(text);
        state.RepeatCount = 0;
    }
    state.PreviousPiece = std::move(piece);
    for (size_t lf; (lf = item.Text.find('\n')) != std::string::npos;) {
        lines.push_back(item.Text.substr(0, lf));
        item.Text.erase(0, lf + 1);
    }
    return lines;
}

// ---- level names ------------------------------------------------------------------------

struct TLevelName {
    const char* Name;
    int LibraryLevel;
};

constexpr TLevelName LevelNames[] = {
    {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
    {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
    {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG},
};

// A decimal integer, optionally signed; anything else raises std::invalid_argument.
int DecimalToInt(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last)
        throw std::invalid_argument("'" + text + "' is not a valid integer value");
    return value;
}

int LibraryLevelOfName(const std::string& name) {
    for (const TLevelName& level : LevelNames)
        if (strcasecmp(name.c_str(), level.Name) == 0)
            return level.LibraryLevel;
    return DecimalToInt(name);
}

} // namespace

// ---- the logger -------------------------------------------------------------------------

TFFLogger::TFFLogger(void* AOwner) : TFFLogger(AOwner, false) {
    // An owned logger gives way; one that the application created does not.
    for (;;) {
        TFFLogger* previous = nullptr;
        {
            std::lock_guard lock(GCurrentLock);
            if (GCurrent == nullptr) {
                GCurrent = this;
                return;
            }
            if (!GCurrent->owned_)
                throw std::logic_error("Allow creating only one instance of TFFLogger.");
            previous = std::exchange(GCurrent, nullptr);
        }
        delete previous;
    }
}

// Sets the fields only; whoever constructs decides whether it becomes the current logger.
TFFLogger::TFFLogger(void* /*AOwner*/, bool owned)
    : owned_(owned), logLevel_(LibraryToLogLevel(GCurrentLibraryLevel.load())) {}

// The lines queued for this logger reach its handler before it goes.
TFFLogger::~TFFLogger() {
    if (CurrentLogger() == this)
        DeliverQueuedLogLines();
    std::lock_guard lock(GCurrentLock);
    if (GCurrent == this)
        GCurrent = nullptr;
}

TFFLogger* FFLogger() {
    std::lock_guard lock(GCurrentLock);
    if (GCurrent == nullptr)
        GCurrent = new TFFLogger(nullptr, true);
    return GCurrent;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
    if (logLevel_.exchange(level) != level)
        ApplyLogLevel();
}

void TFFLogger::SetLogLevelByName(const std::string& name) {
    SetLogLevel(LibraryToLogLevel(LibraryLevelOfName(name)));
}

void TFFLogger::ApplyLogLevel() {
    if (ff::av_log_set_level == nullptr)
        return;
    GCurrentLibraryLevel = LogLevelToLibrary(LogLevel());
    ff::av_log_set_level(GCurrentLibraryLevel.load());
}

void TFFLogger::InstallLogCallback() {
    assert(ff::av_log_set_callback != nullptr && ff::av_log_set_level != nullptr);
    ff::av_log_set_callback(&TFFLogger::LibraryLogCallback);
    ApplyLogLevel();
}

void TFFLogger::SetOnLog(TLogEvent handler) {
    if (CurrentLogger() == this)
        DeliverQueuedLogLines();
    std::lock_guard lock(handlerMutex_);
    onLog_ = std::move(handler);
}

bool TFFLogger::HasOnLog() const {
    std::lock_guard lock(handlerMutex_);
    return static_cast<bool>(onLog_);
}

void TFFLogger::Log(void* Sender, TLogLevel level, const std::string& msg) {
    if (!HasOnLog())
        return;
    const TLogLevel current = LogLevel();
    // The engine's verbose notices pass at every level but quiet.
    if (level <= current || (level == llVerbose && current != llQuiet))
        Deliver(TLogInfo{Sender, CurrentThreadID(), level, msg});
}

void TFFLogger::LogFmt(void* Sender, TLogLevel level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string msg = FormatMessage(fmt, args);
    va_end(args);
    Log(Sender, level, msg);
}

void TFFLogger::LogLibraryLine(uint32_t threadID, int libraryLevel, const std::string& line) {
    if (!HasOnLog())
        return;
    Deliver(TLogInfo{this, threadID, LibraryToLogLevel(libraryLevel), line});
}

void TFFLogger::Run(const TLogInfo& info) {
    TLogEvent handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = onLog_;
    }
    if (handler)
        handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
}

// The handler is read on the thread that runs it, outside the handler lock. A thread other
// than the main thread never waits here: it may hold the codec locks, which the main thread
// takes when it probes a file.
void TFFLogger::Deliver(const TLogInfo& info) {
    if (TLogHold* capture = GThreadHold) {
        capture->lines_.push_back(info);
        return;
    }
    if (!TriggerEventInMainThread) {
        Run(info);
        return;
    }
    if (IsMainThread()) {
        DeliverQueuedLogLines();
        Run(info);
        return;
    }
    LogQueue().Push(info);
    // One posted call per line: a call the event loop drops (the loop ending) only delays its
    // line to the next delivery, never loses it.
    PostToMainThread(&DeliverQueuedLogLines);
}

void TFFLogger::LibraryLogCallback(void* obj, int level, const char* fmt, va_list args) {
    if (level > GCurrentLibraryLevel.load())
        return;
    const uint32_t threadID = CurrentThreadID();
    std::vector<std::string> lines;
    {
        std::lock_guard lock(GLogLock);
        const std::string prefix = LinePrefix(obj);
        std::string text = FormatLibraryText(fmt, args);
        TLibraryLogState& state = LogState();
        TLogItem& item = state.List.Find(threadID);
        std::string piece = item.Text.empty() ? prefix + text : std::move(text);
        lines = AssemblePiece(state, item, std::move(piece));
    }
    // Delivered after the lock is released: a delivery may wait for the main thread.
    if (lines.empty())
        return;
    TFFLogger* logger = FFLogger();
    for (const std::string& line : lines)
        logger->LogLibraryLine(threadID, level, line);
}

TLogHold::TLogHold() : outer_(GThreadHold) {
    GThreadHold = this;
}

TLogHold::~TLogHold() {
    GThreadHold = outer_;
    DeliverLogLines(lines_);
}

std::vector<TLogInfo> TLogHold::Take() {
    return std::exchange(lines_, {});
}

void DeliverLogLines(const std::vector<TLogInfo>& lines) {
    if (lines.empty())
        return;
    TFFLogger* logger = FFLogger();
    for (const TLogInfo& info : lines)
        logger->Deliver(info);
}

void DeliverQueuedLogLines() {
    if (!IsMainThread())
        return;
    TLogQueue& queue = LogQueue();
    for (TLogInfo info; queue.Pop(info);)
        if (TFFLogger* logger = CurrentLogger())
            logger->Run(info);
}

void ResetLibraryLogStateForTesting() {
    std::lock_guard lock(GLogLock);
    delete std::exchange(GLogState, nullptr);
}
