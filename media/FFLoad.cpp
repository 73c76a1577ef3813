#include "FFLoad.h"

#include <cassert>
#include <malloc.h>

#include "CodecLock.h"
#include "MyUtils.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVDeviceStubs.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "binding/MyUtilStubs.h"
#include "binding/SwResampleStubs.h"
#include "binding/SwScaleStubs.h"
#include "log/FFLog.h"

namespace {

// The C runtime is a system library: it is named by its soname and found by the system.
const TLibraryItem GLibraryItems[LibraryCount] = {
    {LibSwResample, "swresample", false, LIBSWRESAMPLE_VERSION_MAJOR, BindSwResample,
     UnbindSwResample},
    {LibAVCodec, "avcodec", false, LIBAVCODEC_VERSION_MAJOR, BindAVCodec, UnbindAVCodec},
    {LibAVDevice, "avdevice", false, LIBAVDEVICE_VERSION_MAJOR, BindAVDevice, UnbindAVDevice},
    {LibAVFilter, "avfilter", false, LIBAVFILTER_VERSION_MAJOR, BindAVFilter, UnbindAVFilter},
    {LibAVFormat, "avformat", false, LIBAVFORMAT_VERSION_MAJOR, BindAVFormat, UnbindAVFormat},
    {LibAVUtil, "avutil", false, LIBAVUTIL_VERSION_MAJOR, BindAVUtil, UnbindAVUtil},
    {LibSwScale, "swscale", false, LIBSWSCALE_VERSION_MAJOR, BindSwScale, UnbindSwScale},
    {LibCRuntime, "c", true, 6, BindCRuntime, UnbindCRuntime},
};

// The libraries allocate and free blocks of 128 KB to 550 KB for every file they open (the
// I/O buffer, the stream probe's packet buffer, decoder and encoder state). glibc maps a block
// of that size and, when a mapped block is freed, raises its threshold to that block's size:
// from the first file on, the blocks come from the heap instead, between the small records
// that a long batch keeps for each queued job, and the heap cannot give the freed space back.
// A batch of 2000 files kept about 50 MB of freed heap that way. A threshold set once keeps
// large blocks mapped, so their memory goes back to the system when they are freed.
void KeepLargeBlocksMapped() {
#ifdef __GLIBC__
    constexpr int LargeBlock = 128 * 1024; // glibc's own starting threshold
    mallopt(M_MMAP_THRESHOLD, LargeBlock);
#endif
}

void SplitAtLastSeparator(const std::string& path, std::string& folder, std::string& name) {
    const size_t pos = path.find_last_of('/');
    folder = pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
    name = pos == std::string::npos ? path : path.substr(pos + 1);
}

} // namespace

const TLibraryItem& LibraryItem(TAVLibrary lib) {
    return GLibraryItems[lib];
}

std::string DefaultLibraryFileName(const std::string& name, int version) {
    std::string result = "lib";
    result += name;
    result += ".so";
    if (version >= 0) {
        result += '.';
        result += std::to_string(version);
    }
    return result;
}

TFFLoader::TFFLoader() {
    Reset();
}

void TFFLoader::Reset() {
    for (int i = 0; i < LibraryCount; ++i)
        status_[i] = TLibraryStatus{static_cast<TAVLibrary>(i), {}, nullptr, false};
    lastErrMsg_.clear();
}

std::string TFFLoader::LibraryFileName(TAVLibrary lib) const {
    if (!status_[lib].FileName.empty())
        return status_[lib].FileName;
    return DefaultLibraryFileName(GLibraryItems[lib].Name, GLibraryItems[lib].Version);
}

void TFFLoader::SetLibraryFileName(TAVLibrary lib, const std::string& fileName) {
    status_[lib].FileName = fileName;
}

bool TFFLoader::Load(TAVLibrary lib) {
    TLibraryStatus& st = status_[lib];
    const TLibraryItem& item = GLibraryItems[lib];
    if (st.Handle == nullptr) {
        std::string folder, name;
        SplitAtLastSeparator(LibraryFileName(lib), folder, name);
        if (folder.empty() && !libraryPath_.empty() && !item.SystemLibrary) {
            folder = libraryPath_;
            if (folder.back() != '/')
                folder += '/';
        }
        std::string error;
        st.Handle = LoadLibraryFromDir(folder, name, error);
        if (st.Handle == nullptr) {
            // Name the path as tried: the folder's file, or the bare name it fell back to.
            const std::string tried = IsExistingFile(folder + name) ? folder + name : name;
            lastErrMsg_ = "Load library " + tried + " error: " + error;
            return false;
        }
    }
    if (!st.Bound) {
        try {
            item.BindProc(LibraryFileName(lib), st.Handle);
            st.Bound = true;
        } catch (const std::exception& e) {
            lastErrMsg_ = e.what();
        }
    }
    if (!st.Bound) {
        Unload(lib);
        return false;
    }
    RunLoadHooks(lib);
    return true;
}

void TFFLoader::RunLoadHooks(TAVLibrary lib) {
    switch (lib) {
    case LibAVCodec:
        RegisterLockManager(CodecLockManager);
        break;
    case LibAVUtil:
        FFLogger()->InstallLogCallback();
        KeepLargeBlocksMapped();
        break;
    default:
        // avformat: file names outside the locale's character set and the I/O interrupt
        // callback are handed to each context as it is opened; nothing is registered.
        break;
    }
}

bool TFFLoader::Load(TAVLibraries libs) {
    assert(!libs.Empty());
    for (int i = 0; i < LibraryCount; ++i) {
        const auto lib = static_cast<TAVLibrary>(i);
        if (libs.Contains(lib) && !Load(lib)) {
            Unload(libs);
            return false;
        }
    }
    return true;
}

bool TFFLoader::Loaded(TAVLibrary lib) const {
    return status_[lib].Handle != nullptr && status_[lib].Bound;
}

bool TFFLoader::Loaded(TAVLibraries libs) const {
    assert(!libs.Empty());
    for (int i = 0; i < LibraryCount; ++i) {
        const auto lib = static_cast<TAVLibrary>(i);
        if (libs.Contains(lib) && !Loaded(lib))
            return false;
    }
    return true;
}

void TFFLoader::Unload(TAVLibrary lib) {
    TLibraryStatus& st = status_[lib];
    if (st.Bound) {
        if (lib == LibAVCodec)
            RegisterLockManager(nullptr);
        GLibraryItems[lib].UnbindProc();
        st.Bound = false;
    }
    if (st.Handle != nullptr) {
        FreeLibraryModule(st.Handle);
        st.Handle = nullptr;
    }
}

void TFFLoader::Unload(TAVLibraries libs) {
    assert(!libs.Empty());
    for (int i = 0; i < LibraryCount; ++i) {
        const auto lib = static_cast<TAVLibrary>(i);
        if (libs.Contains(lib))
            Unload(lib);
    }
}

// ---- interrupt registry

void TInterruptCB::AddCallback(uint32_t threadID, void* param, TInterruptMethod callback) {
    std::lock_guard guard(lock_);
    for (const TEntry& e : entries_)
        if (e.ThreadID == threadID && e.Param == param && e.Callback.Code == callback.Code)
            return;
    entries_.push_back(TEntry{threadID, callback, param});
}

void TInterruptCB::RemoveCallback(uint32_t threadID, void* param, TInterruptMethod callback) {
    std::lock_guard guard(lock_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->ThreadID == threadID && it->Param == param && it->Callback.Code == callback.Code) {
            entries_.erase(it);
            return;
        }
    }
}

bool TInterruptCB::CheckInterrupt(uint32_t threadID) {
    TInterruptMethod callback;
    void* param = nullptr;
    {
        std::lock_guard guard(lock_);
        for (const TEntry& e : entries_) {
            if (e.ThreadID == threadID) {
                callback = e.Callback;
                param = e.Param;
                break;
            }
        }
    }
    return callback.Code != nullptr && callback.Code(callback.Data, param);
}

size_t TInterruptCB::Count() {
    std::lock_guard guard(lock_);
    return entries_.size();
}

int InterruptCallback(void*) {
    return (InterruptCB != nullptr && InterruptCB->CheckInterrupt(CurrentThreadID())) ? 1 : 0;
}

AVIOInterruptCB IOInterruptCallback() {
    return AVIOInterruptCB{InterruptCallback, nullptr};
}

// ---- process start and end

TFFLoader* FFLoader = nullptr;
TInterruptCB* InterruptCB = nullptr;

void FinalizeLoader() {
    if (FFLoader == nullptr)
        return;
    SetLockFinalizing(true);
    FFLoader->Unload(AllLibraries);
    FFLoader->Reset();
    delete FFLoader;
    FFLoader = nullptr;
    delete InterruptCB;
    InterruptCB = nullptr;
}

namespace {

// Created before any component and freed at process end. On x86-64 floating-point
// exceptions are masked by default, so no control state needs saving.
struct TLoaderLifetime {
    TLoaderLifetime() {
        FFLoader = new TFFLoader();
        InterruptCB = new TInterruptCB();
    }
    ~TLoaderLifetime() { FinalizeLoader(); }
} GLoaderLifetime;

} // namespace
