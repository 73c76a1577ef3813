// Loading library files, binding names, and calls that must run on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Raised by BindFunction/BindVariable when a required name is missing.
class ELoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Loads `name` from `dir` when that file exists there, else by bare name through the
// system search path. Returns the module handle, or null with `error` set to the
// system's text.
void* LoadLibraryFromDir(const std::string& dir, const std::string& name, std::string& error);
void FreeLibraryModule(void* handle);

// True when `path` names an existing file system object that is not a folder.
bool IsExistingFile(const std::string& path);

// Looks `name` up in the module and stores it in `*ptr` (null when absent). A missing
// required name raises ELoadError "Load function %s@%s error: %s".
void BindFunction(const std::string& libFileName, void* handle, const char* name, void** ptr,
                  bool optional);
// The same for a data symbol: "Load variable %s@%s error: %s".
void BindVariable(const std::string& libFileName, void* handle, const char* name, void** ptr,
                  bool optional);

// The shared libraries that an ELF file names as its direct dependencies (DT_NEEDED),
// in the order it names them; empty when the file is not a readable ELF object.
std::vector<std::string> NeededLibraries(const std::string& path);

// The folder of the running program, with a trailing separator.
std::string ExecutableFolder();

// Operating-system thread ids.
uint32_t CurrentThreadID();
uint32_t MainThreadID();
bool IsMainThread();

// Hands calls to the main thread. A program with its own event loop installs a
// dispatcher; without one, a built-in queue serves, pumped by ProcessPendingMessages.
class TMainThreadDispatcher {
public:
    virtual ~TMainThreadDispatcher() = default;
    // Queues `call` to run on the main thread. Called from worker threads.
    virtual void Post(std::function<void()> call) = 0;
    // Runs what is pending for the main thread. Called on the main thread.
    virtual void Pump() = 0;
};
void InstallMainThreadDispatcher(TMainThreadDispatcher* dispatcher); // null: built-in queue

// On the main thread runs `proc` at once; on another thread queues it and blocks until the
// main thread has run it. An exception thrown by `proc` reaches the caller.
//
// A thread that waits here holds no lock: the main thread may need any lock a worker takes
// (the prober takes the codec lock, Stop and the events' Assign take the encoder's), so a
// worker that waited under one could wait for good. Lock order, outermost first: the
// encoder's termination lock, CodecRegistryLock, the codec lock, then the log lock or the log
// queue's lock (a library line is queued after the log lock is released). The encoder's
// relay locks and the interrupt registry's lock are leaves: their callbacks run outside them
// or take no other lock. None of them is held across CallInMainThread; the logger queues
// lines and never waits for the main thread.
void CallInMainThread(const std::function<void()>& proc);

// Queues `call` for the main thread and returns at once, on any thread (on the main thread
// too: the call runs when the main thread next serves its queue).
void PostToMainThread(std::function<void()> call);

// Work that ProcessPendingMessages does besides the queued calls (the logger's queue of
// lines); `drain` runs on the main thread and must be cheap when there is nothing to do.
void AddMainThreadDrain(void (*drain)());

// Runs the calls that worker threads have queued for the main thread, the installed
// dispatcher's pending work and the registered drains. Only the main thread runs anything
// here.
void ProcessPendingMessages();
