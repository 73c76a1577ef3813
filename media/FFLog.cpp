// Minimal logger, to be replaced by the full implementation.
#include "FFLog.h"

#include "AVUtilStubs.h"
#include "MyUtils.h"

int LogLevelToLibrary(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }
TLogLevel LibraryToLogLevel(int n) {
    int v = n / 8 + 1;
    return static_cast<TLogLevel>(v < 0 ? 0 : v > 7 ? 7 : v);
}
namespace {
TFFLogger* GCurrent = nullptr;
}
TFFLogger::TFFLogger(void*) { GCurrent = this; }
TFFLogger::~TFFLogger() {
    if (GCurrent == this)
        GCurrent = nullptr;
}
void TFFLogger::SetLogLevel(TLogLevel level) { logLevel_ = level; }
void TFFLogger::SetLogLevelByName(const std::string&) {}
void TFFLogger::ApplyLogLevel() {}
void TFFLogger::InstallLogCallback() {}
void TFFLogger::Log(void* s, TLogLevel l, const std::string& m) {
    Deliver(s, CurrentThreadID(), l, m);
}
void TFFLogger::LogFmt(void*, TLogLevel, const char*, ...) {}
void TFFLogger::LogLibraryLine(uint32_t, int, const std::string&) {}
void TFFLogger::LibraryLogCallback(void*, int, const char*, va_list) {}
void TFFLogger::SetOnLog(TLogEvent h) {
    std::lock_guard g(handlerMutex_);
    onLog_ = std::move(h);
}
bool TFFLogger::HasOnLog() const {
    std::lock_guard g(handlerMutex_);
    return bool(onLog_);
}
void TFFLogger::Deliver(void* s, uint32_t t, TLogLevel l, const std::string& m) {
    TLogEvent h;
    {
        std::lock_guard g(handlerMutex_);
        h = onLog_;
    }
    if (h)
        h(s, t, l, m);
}
TFFLogger* FFLogger() {
    if (!GCurrent) {
        GCurrent = new TFFLogger(nullptr);
        GCurrent->owned_ = true;
    }
    return GCurrent;
}
