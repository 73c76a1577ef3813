// Run-time binding of the FFmpeg libraries: the library table, the loader with its one
// process-wide instance, and the interrupt registry that engine tasks answer through.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

// The order is also the load and unload order. swresample comes first because avcodec,
// which needs it, is the next library loaded.
enum TAVLibrary : uint8_t {
    LibSwResample,
    LibAVCodec,
    LibAVDevice,
    LibAVFilter,
    LibAVFormat,
    LibAVUtil,
    LibSwScale,
    LibCRuntime,
};
constexpr int LibraryCount = 8;

// A set of libraries in one byte.
class TAVLibraries {
public:
    constexpr TAVLibraries() = default;
    constexpr TAVLibraries(std::initializer_list<TAVLibrary> libs) {
        for (TAVLibrary l : libs)
            bits_ |= Bit(l);
    }
    constexpr bool Contains(TAVLibrary l) const { return (bits_ & Bit(l)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TAVLibraries Without(TAVLibrary l) const { return FromBits(bits_ & ~Bit(l)); }
    constexpr uint8_t Bits() const { return bits_; }

private:
    static constexpr uint8_t Bit(TAVLibrary l) { return static_cast<uint8_t>(1u << l); }
    static constexpr TAVLibraries FromBits(uint8_t b) {
        TAVLibraries s;
        s.bits_ = b;
        return s;
    }
    uint8_t bits_ = 0;
};

constexpr TAVLibraries AllLibraries{LibSwResample, LibAVCodec, LibAVDevice, LibAVFilter,
                                    LibAVFormat,   LibAVUtil,  LibSwScale,  LibCRuntime};
// What the encoder and the engine load and test.
constexpr TAVLibraries EncoderLibraries = AllLibraries.Without(LibAVDevice);

struct TLibraryItem {
    TAVLibrary Library;
    const char* Name;   // base name
    bool SystemLibrary; // never looked for in the library folder
    int Version;        // -1: the file name has no version suffix
    void (*BindProc)(const std::string& fileName, void* handle);
    void (*UnbindProc)();
};

struct TLibraryStatus {
    TAVLibrary Library;
    std::string FileName; // explicit file name; empty means the default name
    void* Handle = nullptr;
    bool Bound = false;
};

const TLibraryItem& LibraryItem(TAVLibrary lib);

// "lib" + name + ".so", then "." + version when version is 0 or more.
std::string DefaultLibraryFileName(const std::string& name, int version);

class TFFLoader {
public:
    TFFLoader();

    const std::string& LibraryPath() const { return libraryPath_; }
    void SetLibraryPath(const std::string& path) { libraryPath_ = path; }
    const std::string& LastErrMsg() const { return lastErrMsg_; }

    std::string LibraryFileName(TAVLibrary lib) const;
    // An explicit file name (or path) for one library; empty restores the default.
    void SetLibraryFileName(TAVLibrary lib, const std::string& fileName);
    const TLibraryStatus& Status(TAVLibrary lib) const { return status_[lib]; }

    bool Load(TAVLibrary lib);
    bool Load(TAVLibraries libs);
    bool Loaded(TAVLibrary lib) const;
    bool Loaded(TAVLibraries libs) const;
    void Unload(TAVLibrary lib);
    void Unload(TAVLibraries libs);

    // Clears the status records and the last error (process end).
    void Reset();

private:
    void RunLoadHooks(TAVLibrary lib);

    std::string libraryPath_;
    std::string lastErrMsg_;
    TLibraryStatus status_[LibraryCount];
};

extern TFFLoader* FFLoader;

// A callback bound to an object: Code(Data, param). Entries match on Code only.
struct TInterruptMethod {
    bool (*Code)(void* data, void* param) = nullptr;
    void* Data = nullptr;
};

class TInterruptCB {
public:
    void AddCallback(uint32_t threadID, void* param, TInterruptMethod callback);
    void RemoveCallback(uint32_t threadID, void* param, TInterruptMethod callback);
    bool CheckInterrupt(uint32_t threadID);
    size_t Count();

private:
    struct TEntry {
        uint32_t ThreadID;
        TInterruptMethod Callback;
        void* Param;
    };
    std::mutex lock_;
    std::vector<TEntry> entries_;
};

extern TInterruptCB* InterruptCB;

// What FFmpeg polls during blocking I/O, on the thread doing the I/O: 1 asks to abort.
int InterruptCallback(void* opaque);
// The interrupt callback every format and I/O context the program opens gets.
AVIOInterruptCB IOInterruptCallback();

// Process end: marks finalising, unloads every library and frees the process-wide objects.
void FinalizeLoader();
