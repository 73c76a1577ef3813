#include "MyUtils.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

std::string LastDlError() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return (dir.empty() || dir.back() == '/') ? dir + name : dir + "/" + name;
}

#if defined(__SANITIZE_ADDRESS__)
#define AUDIOCONV_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AUDIOCONV_LEAK_CHECKED 1
#endif
#endif

// Under the leak checker a library stays mapped when it is freed: memory the libraries keep
// for the whole process (their static tables) then stays reachable, and what the checker
// reports is ours. Otherwise freeing unloads it.
#ifdef AUDIOCONV_LEAK_CHECKED
constexpr int KeepMapped = RTLD_NODELETE;
#else
constexpr int KeepMapped = 0;
#endif

void* OpenModule(const std::string& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | KeepMapped);
}

// A library in `dir` may need others from the same folder (its own FFmpeg build). The
// dynamic linker only looks in the system paths and the library's run path, so the
// dependencies that `dir` holds are loaded first, depth first: once a library with a
// given soname is loaded, every later request for that soname resolves to it. The
// handles are kept until the dependant is loaded, which then holds its own references.
void PreloadFolderDependencies(const std::string& dir, const std::string& path,
                               std::vector<void*>& held, int depth) {
    if (depth > 16)
        return;
    for (const std::string& needed : NeededLibraries(path)) {
        const std::string candidate = JoinPath(dir, needed);
        if (!IsExistingFile(candidate))
            continue;
        PreloadFolderDependencies(dir, candidate, held, depth + 1);
        if (void* h = OpenModule(candidate))
            held.push_back(h);
    }
}

} // namespace

void* LoadLibraryFromDir(const std::string& dir, const std::string& name, std::string& error) {
    void* handle = nullptr;
    const std::string full = dir.empty() ? std::string() : JoinPath(dir, name);
    if (!full.empty() && IsExistingFile(full)) {
        std::vector<void*> held;
        PreloadFolderDependencies(dir, full, held, 0);
        handle = OpenModule(full);
        if (!handle)
            error = LastDlError();
        for (void* h : held)
            dlclose(h);
    } else {
        handle = OpenModule(name);
        if (!handle)
            error = LastDlError();
    }
    return handle;
}

bool IsExistingFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void FreeLibraryModule(void* handle) {
    if (handle)
        dlclose(handle);
}

namespace {

void BindSymbol(const char* kind, const std::string& libFileName, void* handle, const char* name,
                void** ptr, bool optional) {
    dlerror();
    *ptr = handle ? dlsym(handle, name) : nullptr;
    if (*ptr == nullptr && !optional) {
        const std::string why = handle ? LastDlError() : "invalid module handle";
        throw ELoadError(std::string("Load ") + kind + " " + name + "@" + libFileName +
                         " error: " + why);
    }
}

} // namespace

void BindFunction(const std::string& libFileName, void* handle, const char* name, void** ptr,
                  bool optional) {
    BindSymbol("function", libFileName, handle, name, ptr, optional);
}

void BindVariable(const std::string& libFileName, void* handle, const char* name, void** ptr,
                  bool optional) {
    BindSymbol("variable", libFileName, handle, name, ptr, optional);
}

std::string ExecutableFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

uint32_t CurrentThreadID() {
    return static_cast<uint32_t>(gettid());
}

namespace {

// The process's main thread is the one that runs static initialisation.
const uint32_t GMainThreadID = CurrentThreadID();

struct TPendingCall {
    std::function<void()> proc;
    std::exception_ptr error;
    bool done = false;
};

// The built-in queue: worker threads append, the main thread runs them when it pumps.
class TBuiltinQueue final : public TMainThreadDispatcher {
public:
    void Post(std::function<void()> call) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    void Pump() override {
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(mutex_);
                if (calls_.empty())
                    return;
                call = std::move(calls_.front());
                calls_.pop_front();
            }
            call();
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

TBuiltinQueue GBuiltinQueue;

// The drains ProcessPendingMessages runs; registered during static initialisation (hence a
// function-local list).
std::vector<void (*)()>& Drains() {
    static std::vector<void (*)()> drains;
    return drains;
}
std::mutex GDrainsMutex;
std::atomic<TMainThreadDispatcher*> GDispatcher{&GBuiltinQueue};
std::mutex GCallMutex;
std::condition_variable GCallDone;

} // namespace

uint32_t MainThreadID() {
    return GMainThreadID;
}

bool IsMainThread() {
    return CurrentThreadID() == GMainThreadID;
}

void InstallMainThreadDispatcher(TMainThreadDispatcher* dispatcher) {
    GDispatcher.store(dispatcher ? dispatcher : &GBuiltinQueue);
}

void CallInMainThread(const std::function<void()>& proc) {
    if (IsMainThread()) {
        proc();
        return;
    }
    auto pending = std::make_shared<TPendingCall>();
    pending->proc = proc;
    GDispatcher.load()->Post([pending] {
        try {
            pending->proc();
        } catch (...) {
            pending->error = std::current_exception();
        }
        {
            std::lock_guard lock(GCallMutex);
            pending->done = true;
        }
        GCallDone.notify_all();
    });
    std::unique_lock lock(GCallMutex);
    GCallDone.wait(lock, [&] { return pending->done; });
    if (pending->error)
        std::rethrow_exception(pending->error);
}

void PostToMainThread(std::function<void()> call) {
    GDispatcher.load()->Post(std::move(call));
}

void AddMainThreadDrain(void (*drain)()) {
    std::lock_guard lock(GDrainsMutex);
    Drains().push_back(drain);
}

void ProcessPendingMessages() {
    if (!IsMainThread())
        return;
    TMainThreadDispatcher* d = GDispatcher.load();
    d->Pump();
    if (d != &GBuiltinQueue)
        GBuiltinQueue.Pump();
    std::vector<void (*)()> drains;
    {
        std::lock_guard lock(GDrainsMutex);
        drains = Drains();
    }
    for (void (*drain)() : drains)
        drain();
}
