#include "FrameHook.h"

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "MyUtils.h"
#include "binding/AVUtilStubs.h"

namespace {

struct THookLibrary {
    std::string Path;
    void* Handle = nullptr;
};

// Hook libraries stay loaded for the rest of the process once loaded.
std::mutex GHookLibrariesLock;
std::vector<THookLibrary> GHookLibraries;

void LogHookError(const char* fmt, const std::string& text) {
    ff::av_log(nullptr, AV_LOG_ERROR, fmt, text.c_str());
}

// Loads a hook library by path; its dependencies that its own folder holds are resolved
// from there (LoadLibraryFromDir). The current folder is left alone: it is process-wide and
// other tasks may be running.
void* LoadHookLibrary(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string error;
    void* handle = LoadLibraryFromDir(dir, name, error);
    if (handle == nullptr)
        LogHookError("%s\n", error);
    return handle;
}

void* FindOrLoadHookLibrary(const std::string& path) {
    std::lock_guard guard(GHookLibrariesLock);
    for (const THookLibrary& lib : GHookLibraries)
        if (lib.Path == path)
            return lib.Handle;
    void* handle = LoadHookLibrary(path);
    if (handle != nullptr)
        GHookLibraries.push_back(THookLibrary{path, handle});
    return handle;
}

template <typename T> T Entry(void* handle, const char* name) {
    return reinterpret_cast<T>(dlsym(handle, name));
}

} // namespace

std::vector<std::string> SplitFrameHookWords(const std::string& value) {
    const char* separators = value.find('|') != std::string::npos ? "|" : " \t";
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < value.size() && static_cast<int>(words.size()) < MaxFrameHookWords) {
        const size_t start = value.find_first_not_of(separators, pos);
        if (start == std::string::npos)
            break;
        const size_t end = value.find_first_of(separators, start);
        words.push_back(value.substr(start, end == std::string::npos ? end : end - start));
        pos = end == std::string::npos ? value.size() : end;
    }
    return words;
}

bool TFrameHookChain::Add(const std::vector<std::string>& words) {
    if (words.empty())
        return false;
    const std::string& path = words.front();
    void* handle = FindOrLoadHookLibrary(path);
    if (handle == nullptr)
        return false;

    THook hook;
    hook.Process = Entry<TFrameHookProcess>(handle, "Process");
    if (hook.Process == nullptr) {
        LogHookError("Failed to find Process entrypoint in %s\n", path);
        return false;
    }
    const auto configure = Entry<TFrameHookConfigure>(handle, "Configure");
    if (configure == nullptr && words.size() > 1) {
        LogHookError("Failed to find Configure entrypoint in %s\n", path);
        return false;
    }
    hook.Release = Entry<TFrameHookRelease>(handle, "Release");

    if (configure != nullptr) {
        std::vector<std::unique_ptr<char[]>> storage;
        std::vector<char*> argv;
        for (const std::string& w : words) {
            storage.push_back(std::make_unique<char[]>(w.size() + 1));
            std::memcpy(storage.back().get(), w.c_str(), w.size() + 1);
            argv.push_back(storage.back().get());
        }
        argv.push_back(nullptr);
        if (configure(&hook.Context, static_cast<int>(words.size()), argv.data()) != 0) {
            LogHookError("Failed to Configure %s\n", path);
            return false;
        }
    }
    hooks_.push_back(hook);
    return true;
}

void TFrameHookChain::Process(TFrameHookPicture& picture, int64_t pts) const {
    for (const THook& hook : hooks_)
        hook.Process(hook.Context, &picture, pts);
}

void TFrameHookChain::Clear() {
    for (const THook& hook : hooks_)
        if (hook.Release != nullptr)
            hook.Release(hook.Context);
    hooks_.clear();
}
