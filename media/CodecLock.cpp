#include "CodecLock.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "MyUtils.h"
#include "log/FFLog.h"

namespace {

// A mutex with the semantics of an operating-system mutex object: it has an owner
// thread, may be taken again by its owner, and refuses a release by another thread.
class TOsMutex {
public:
    explicit TOsMutex(int id) : id_(id) {}
    int Id() const { return id_; }

    void Wait() {
        const uint32_t self = CurrentThreadID();
        std::unique_lock lock(m_);
        if (count_ > 0 && owner_ == self) {
            ++count_;
            return;
        }
        cv_.wait(lock, [&] { return count_ == 0; });
        owner_ = self;
        count_ = 1;
    }
    bool Release() {
        std::lock_guard lock(m_);
        if (count_ == 0 || owner_ != CurrentThreadID())
            return false;
        if (--count_ == 0)
            cv_.notify_one();
        return true;
    }

private:
    int id_;
    std::mutex m_;
    std::condition_variable cv_;
    uint32_t owner_ = 0;
    int count_ = 0;
};

std::atomic<bool> GFinalizing{false};
std::atomic<int> GNextMutexId{1};
TOsMutex* GCodecMutexSlot = nullptr; // the one mutex this manager creates

// What the libraries once kept: the registered manager and their mutex pointer.
TLockManager GManager = nullptr;
void* GLibraryMutex = nullptr;

void LogLock(TLogLevel level, const std::string& text) {
    FFLogger()->Log(nullptr, level, text);
}

std::string Fmt(const char* fmt, int value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

std::string Fmt(const char* fmt, int value, const char* text) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, value, text);
    return buf;
}

TOsMutex* HandleOf(void** mutex) {
    if (mutex == nullptr || *mutex == nullptr)
        return nullptr;
    return *static_cast<TOsMutex**>(*mutex);
}

int CreateMutex(void** mutex) {
    if (TOsMutex* existing = HandleOf(mutex)) {
        LogLock(llError, Fmt("error, codec mutex [%d] already exist.", existing->Id()));
        return -1;
    }
    if (GCodecMutexSlot != nullptr) {
        LogLock(llWarning,
                Fmt("warning, local codec mutex [%d] not destroyed.", GCodecMutexSlot->Id()));
        delete GCodecMutexSlot;
        GCodecMutexSlot = nullptr;
    }
    try {
        GCodecMutexSlot = new TOsMutex(GNextMutexId++);
    } catch (const std::exception&) {
        LogLock(llError,
                std::string("error, failed to create codec mutex: ") + std::strerror(ENOMEM) + ".");
        return -1;
    }
    LogLock(llDebug, Fmt("create codec mutex [%d].", GCodecMutexSlot->Id()));
    if (mutex)
        *mutex = &GCodecMutexSlot;
    return 0;
}

int ObtainMutex(void** mutex) {
    TOsMutex* h = HandleOf(mutex);
    if (h == nullptr) {
        LogLock(llError, "error, codec mutex not available.");
        return -1;
    }
    h->Wait();
    LogLock(llDebug, Fmt("obtain codec mutex [%d].", h->Id()));
    return 0;
}

int ReleaseMutex(void** mutex) {
    TOsMutex* h = HandleOf(mutex);
    if (h == nullptr) {
        LogLock(llError, "error, codec mutex not available.");
        return -1;
    }
    if (!h->Release()) {
        LogLock(llError, Fmt("error, could not release codec mutex [%d]: %s.", h->Id(),
                             std::strerror(EPERM)));
        return -1;
    }
    LogLock(llDebug, Fmt("release codec mutex [%d].", h->Id()));
    return 0;
}

int DestroyMutex(void** mutex) {
    if (TOsMutex* h = HandleOf(mutex)) {
        LogLock(llDebug, Fmt("destory codec mutex [%d].", h->Id()));
        TOsMutex** slot = static_cast<TOsMutex**>(*mutex);
        delete h;
        *slot = nullptr;
        *mutex = nullptr;
    }
    return 0;
}

} // namespace

int CodecLockManager(void** mutex, int op) {
    if (GFinalizing)
        return 0;
    switch (op) {
    case LockCreate:
        return CreateMutex(mutex);
    case LockObtain:
        return ObtainMutex(mutex);
    case LockRelease:
        return ReleaseMutex(mutex);
    case LockDestroy:
        return DestroyMutex(mutex);
    default:
        LogLock(llError,
                Fmt("error, invalid codec mutex operation %d.", static_cast<signed char>(op)));
        return -1;
    }
}

int RegisterLockManager(TLockManager manager) {
    if (GManager != nullptr && GManager(&GLibraryMutex, LockDestroy) != 0)
        return -1;
    GManager = manager;
    if (GManager != nullptr && GManager(&GLibraryMutex, LockCreate) != 0)
        return -1;
    return 0;
}

void SetLockFinalizing(bool finalizing) {
    GFinalizing = finalizing;
}
bool LockFinalizing() {
    return GFinalizing;
}

TCodecLock::TCodecLock() {
    if (GManager != nullptr)
        held_ = GManager(&GLibraryMutex, LockObtain) == 0;
}

TCodecLock::~TCodecLock() {
    if (held_ && GManager != nullptr)
        GManager(&GLibraryMutex, LockRelease);
}
