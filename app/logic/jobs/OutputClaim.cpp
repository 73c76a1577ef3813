#include "OutputClaim.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

namespace {

// The longest process id and job number a temporary name may carry: the NAME part is cut as
// if both had their longest form, so that every temporary name of one final name starts
// the same.
constexpr size_t MaxPidDigits = 10;
constexpr size_t MaxSequenceDigits = 20;
constexpr int MaxNumber = 32768;

std::atomic<unsigned long> NextSequence{1};

// The temporary files this process holds. Its own mutex; no other lock is taken under it.
std::mutex OwnClaimsMutex;
std::set<std::string> OwnClaims;

bool IsOwnClaim(const std::string& path) {
    std::lock_guard lock(OwnClaimsMutex);
    return OwnClaims.count(path) > 0;
}

struct TNameParts {
    std::string Folder; // with its trailing "/", or ""
    std::string Base;
    std::string Ext; // with its dot, or ""
};

TNameParts SplitName(const std::string& path) {
    TNameParts parts;
    const size_t slash = path.find_last_of('/');
    parts.Folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    parts.Base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    parts.Ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    return parts;
}

size_t NameMaxOf(const std::string& folder) {
    const long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<size_t>(max) : 255;
}

// `text` cut to at most `bytes` bytes, at a whole UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes) {
    if (text.size() <= bytes)
        return text;
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// What every temporary name of `parts` starts with (after its folder): "." and the NAME part,
// cut to leave room for the longest id, number, marker and extension.
std::string ClaimPrefix(const TNameParts& parts, size_t nameMax) {
    const size_t fixed = 1 + 1 + MaxPidDigits + 1 + MaxSequenceDigits +
                         std::strlen(ClaimNameMarker) + parts.Ext.size();
    const size_t room = nameMax > fixed ? nameMax - fixed : 0;
    return "." + CutUtf8(parts.Base, room) + ".";
}

// The process id of a temporary file's name `name` for the final name's prefix and extension;
// false when the name is no temporary name of it.
bool ParseClaimName(const std::string& name, const std::string& prefix, const std::string& ext,
                    long& pid) {
    const std::string tail = std::string(ClaimNameMarker) + ext;
    if (name.size() <= prefix.size() + tail.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string middle =
        name.substr(prefix.size(), name.size() - prefix.size() - tail.size());
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() ||
        middle.find_first_not_of("0123456789-") != std::string::npos ||
        middle.find('-', dash + 1) != std::string::npos)
        return false;
    pid = std::strtol(middle.substr(0, dash).c_str(), nullptr, 10);
    return pid > 0;
}

bool ProcessAlive(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// True when the temporary file `path` of process `pid` is live. A dead one is removed: only
// while its lock is held and only when the name still leads to the file locked, so that two
// processes cleaning at once never remove a file made after the leftover.
bool LiveOrRemoved(const std::string& path, long pid) {
    if (IsOwnClaim(path))
        return true;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false; // gone meanwhile
    bool live = true;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // The lock is free. A process still running that is not this one may have created
        // the file and not locked it yet: its file stays.
        live = pid != static_cast<long>(getpid()) && ProcessAlive(pid);
        struct stat held {
        }, named{};
        if (!live && fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            unlink(path.c_str());
    }
    close(fd); // releases the lock
    return live;
}

// Calls `each(name, pid)` for the temporary names in `folder` that match `prefix` and `ext`
// (any final name when `prefix` is empty); stops when it returns true.
template <typename F>
bool ForEachClaim(const std::string& folder, const std::string& prefix, const std::string& ext,
                  F each) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return false;
    bool stopped = false;
    while (!stopped) {
        const dirent* entry = readdir(dir);
        if (entry == nullptr)
            break;
        const std::string name = entry->d_name;
        long pid = 0;
        if (prefix.empty()) {
            // Any final name: the marker, then the extension (if any) to the end.
            const size_t marker = name.rfind(ClaimNameMarker);
            if (name.empty() || name[0] != '.' || marker == std::string::npos)
                continue;
            const std::string tailExt = name.substr(marker + std::strlen(ClaimNameMarker));
            const size_t dot = name.rfind('.', marker - 1);
            if (dot == std::string::npos || dot == 0 ||
                !ParseClaimName(name, name.substr(0, dot + 1), tailExt, pid))
                continue;
        } else if (!ParseClaimName(name, prefix, ext, pid)) {
            continue;
        }
        stopped = each(folder + name, pid);
    }
    closedir(dir);
    return stopped;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link fails as well when the name is taken.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno;
    unlink(from.c_str());
    return 0;
}

std::string Numbered(const std::string& finalPath, int number) {
    const TNameParts parts = SplitName(finalPath);
    return parts.Folder + parts.Base + "(" + std::to_string(number) + ")" + parts.Ext;
}

} // namespace

std::string ClaimTemporaryName(const std::string& finalPath, long pid, unsigned long sequence,
                               size_t nameMax) {
    const TNameParts parts = SplitName(finalPath);
    return parts.Folder + ClaimPrefix(parts, nameMax) + std::to_string(pid) + "-" +
           std::to_string(sequence) + ClaimNameMarker + parts.Ext;
}

bool HasLiveClaim(const std::string& finalPath) {
    const TNameParts parts = SplitName(finalPath);
    const std::string prefix = ClaimPrefix(parts, NameMaxOf(parts.Folder));
    return ForEachClaim(parts.Folder, prefix, parts.Ext,
                        [](const std::string& path, long pid) { return LiveOrRemoved(path, pid); });
}

int RemoveDeadClaims(const std::string& folder) {
    const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int removed = 0;
    ForEachClaim(dir, "", "", [&removed](const std::string& path, long pid) {
        if (!LiveOrRemoved(path, pid))
            ++removed;
        return false;
    });
    return removed;
}

TCommitMode CommitModeOf(TExistingOutputs policy, bool replace) {
    switch (policy) {
    case TExistingOutputs::Increment:
        return TCommitMode::NumberPast;
    case TExistingOutputs::Skip:
        return TCommitMode::Keep;
    case TExistingOutputs::Overwrite:
        return TCommitMode::Replace;
    case TExistingOutputs::Newer:
        // A file made meanwhile is newer than the source: it is kept.
        return replace ? TCommitMode::Replace : TCommitMode::Keep;
    }
    return TCommitMode::NumberPast;
}

std::shared_ptr<TOutputClaim> TOutputClaim::Create(const std::string& finalPath,
                                                   std::string& error) {
    const TNameParts parts = SplitName(finalPath);
    const size_t nameMax = NameMaxOf(parts.Folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary =
            ClaimTemporaryName(finalPath, static_cast<long>(getpid()), NextSequence++, nameMax);
        const int fd =
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue; // a dead process with this id left it
            error = std::strerror(errno);
            return nullptr;
        }
        // A queued job keeps no file open (a batch may hold more jobs than the process may
        // open files): the process id in the name tells while the job's process lives.
        close(fd);
        {
            std::lock_guard lock(OwnClaimsMutex);
            OwnClaims.insert(temporary);
        }
        return std::shared_ptr<TOutputClaim>(new TOutputClaim(finalPath, temporary, -1));
    }
    error = std::strerror(EEXIST);
    return nullptr;
}

TOutputClaim::TOutputClaim(std::string finalPath, std::string temporary, int handle)
    : temporary_(std::move(temporary)), handle_(handle), final_(std::move(finalPath)) {}

TOutputClaim::~TOutputClaim() {
    Discard();
    {
        std::lock_guard lock(OwnClaimsMutex);
        OwnClaims.erase(temporary_);
    }
    if (handle_ >= 0)
        close(handle_);
}

std::string TOutputClaim::FinalPath() const {
    std::lock_guard lock(mutex_);
    return final_;
}

bool TOutputClaim::KeptOther() const {
    std::lock_guard lock(mutex_);
    return keptOther_;
}

void TOutputClaim::Discard() {
    std::lock_guard lock(mutex_);
    if (done_)
        return;
    done_ = true;
    unlink(temporary_.c_str());
}

int TOutputClaim::Commit(TCommitMode mode) {
    std::lock_guard lock(mutex_);
    if (done_)
        return EINVAL;
    done_ = true;
    int error = 0;
    if (mode == TCommitMode::Replace) {
        error = rename(temporary_.c_str(), final_.c_str()) == 0 ? 0 : errno;
    } else {
        const std::string planned = final_;
        error = RenameNoReplace(temporary_, final_);
        // Another process took the name meanwhile: the first free number after it that no
        // one is writing.
        for (int n = 1; error == EEXIST && mode == TCommitMode::NumberPast && n <= MaxNumber; ++n) {
            const std::string next = Numbered(planned, n);
            if (HasLiveClaim(next))
                continue;
            error = RenameNoReplace(temporary_, next);
            if (error == 0)
                final_ = next;
        }
        if (error == EEXIST && mode == TCommitMode::Keep) {
            keptOther_ = true;
            error = 0;
            unlink(temporary_.c_str());
        }
    }
    if (error != 0)
        unlink(temporary_.c_str());
    return error;
}
