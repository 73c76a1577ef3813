// The claim of an output name, shared by every process that writes into one folder (windows,
// command lines, and later batches spread over several machines).
//
// A job writes its output under a temporary name beside the final one,
// ".NAME.PID-SEQ.audioconv-part.EXT": the writing process's id and a number unique within it,
// so that no two jobs of any processes share a temporary file. The file is created with
// O_EXCL when the job is queued (and not kept open: a batch may queue more jobs than a process
// may open files). What tells a live temporary file from a dead one: it is this process's own,
// or its process is running, or a writer holds an advisory lock (flock) on it. A file of a
// process that is gone, unlocked, is the leftover of a process that was killed, and is removed
// when it is found (under the lock, so that two processes cleaning at once remove only it). When
// the final name would be near the file system's limit, the NAME part of the temporary name is
// shortened (never the final name).
//
// When the job succeeded, Commit gives the file its final name with one rename: one that never
// replaces a file, or that replaces one only when the run's policy says so.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "OutputNaming.h"

// The part every temporary name carries before its extension.
inline constexpr const char* ClaimNameMarker = ".audioconv-part";

// True when a job of a live process (this one included) is writing an output for `finalPath`:
// a temporary file of that name is held. Dead processes' temporary files of that name found
// on the way are removed.
bool HasLiveClaim(const std::string& finalPath);

// Removes the dead processes' temporary files in `folder` (any final name); the number
// removed.
int RemoveDeadClaims(const std::string& folder);

// The temporary name of `finalPath` for the process `pid` and its job number `sequence`, at
// most `nameMax` bytes long in its folder (the NAME part cut at whole UTF-8 characters).
std::string ClaimTemporaryName(const std::string& finalPath, long pid, unsigned long sequence,
                               size_t nameMax = 255);

// How Commit treats a file that holds the final name when the job ends.
enum class TCommitMode {
    Replace,    // the finished output replaces it
    NumberPast, // the output takes the first free "name(N)" after it
    Keep,       // it is kept and the finished output is dropped
};

// The commit mode of a run's existing-output policy for a plan that does (`replace`) or does
// not replace a file that existed when the name was planned.
TCommitMode CommitModeOf(TExistingOutputs policy, bool replace);

class TOutputClaim {
public:
    // Creates the temporary file of `finalPath`; null with `error` set (the system's reason)
    // when it cannot be created.
    static std::shared_ptr<TOutputClaim> Create(const std::string& finalPath, std::string& error);
    // The temporary file is removed unless it was committed.
    ~TOutputClaim();
    TOutputClaim(const TOutputClaim&) = delete;
    TOutputClaim& operator=(const TOutputClaim&) = delete;

    const std::string& TemporaryPath() const { return temporary_; }
    // The final name: the planned one, or the one Commit gave the output.
    std::string FinalPath() const;
    // True once Commit kept another process's file under the final name (TCommitMode::Keep).
    bool KeptOther() const;

    // Gives the temporary file its final name under `mode`; 0, or the errno value of the
    // failure (the temporary file is then removed).
    int Commit(TCommitMode mode);
    // Removes the temporary file (the job did not succeed).
    void Discard();

private:
    TOutputClaim(std::string finalPath, std::string temporary, int handle);

    const std::string temporary_;
    int handle_ = -1; // an open handle of the file, when one is kept
    mutable std::mutex mutex_;
    std::string final_;
    bool done_ = false; // committed or discarded
    bool keptOther_ = false;
};
