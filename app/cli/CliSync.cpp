#include "CliSync.h"

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "CliSearch.h"
#include "sources/SourceExtensions.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* LockName = ".audioconv-sync.lock";

const char* const CompanionExtensions[] = {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".webp",
                                           ".lrc", ".cue",  ".txt", ".pdf", ".nfo", ".log"};

// An advisory lock on the output folder's lock file while it lives.
class TFolderLock {
public:
    explicit TFolderLock(const std::string& folder) {
        fd_ = ::open((fs::path(folder) / LockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~TFolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

private:
    int fd_ = -1;
};

bool ReadEntries(const std::string& path, std::map<std::string, TSyncEntry>& entries,
                 std::string& error) {
    entries.clear();
    std::ifstream in(path);
    if (!in)
        return true; // no manifest yet
    try {
        const nlohmann::json manifest = nlohmann::json::parse(in);
        for (const auto& [output, entry] : manifest.at("outputs").items())
            entries[output] = TSyncEntry{entry.at("source").get<std::string>(),
                                         entry.value("fingerprint", std::string())};
    } catch (const std::exception& e) {
        error = std::string("cannot read ") + path + ": " + e.what();
        return false;
    }
    return true;
}

// `text` written to `path` under a temporary name of this process, renamed into place.
bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = std::string("cannot write ") + temporary + ": " + std::strerror(errno);
            std::error_code ec;
            fs::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot rename " + temporary + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec));
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// True when `source` was changed after `copy` (or `copy` does not exist).
bool NewerThan(const std::string& source, const std::string& copy) {
    struct stat a {
    }, b{};
    if (::stat(source.c_str(), &a) != 0)
        return false;
    if (::stat(copy.c_str(), &b) != 0)
        return true;
    return a.st_mtim.tv_sec > b.st_mtim.tv_sec ||
           (a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec > b.st_mtim.tv_nsec);
}

} // namespace

void AddSyncOptions(CLI::App& app, TSyncOptions& options) {
    app.add_flag("--sync", options.Sync,
                 "Keep the output folder a copy of the library: --existing newer, the folders "
                 "mirrored, --delete-orphans and --copy-companions");
    app.add_flag("--delete-orphans", options.DeleteOrphans,
                 "Remove the outputs this program made whose source no longer exists");
    app.add_flag("--copy-companions", options.CopyCompanions,
                 "Copy covers, lyrics, cue sheets, texts and booklets beside the sources into "
                 "their output folders (again when newer)");
    app.add_flag("--dry-run", options.DryRun,
                 "Say what would be removed, copied and converted; change nothing");
    app.add_option("--base", options.Base,
                   "Mirror folders relative to DIR (the library's root) whatever the FILE|DIR "
                   "arguments")
        ->type_name("DIR");
}

TSyncManifest::TSyncManifest(std::string outputFolder) : folder_(std::move(outputFolder)) {}

bool TSyncManifest::Load(std::string& error) {
    TFolderLock lock(folder_);
    return ReadEntries((fs::path(folder_) / SyncManifestName).string(), entries_, error);
}

bool TSyncManifest::Save(std::string& error) {
    if (changes_.empty())
        return true;
    TFolderLock lock(folder_);
    const std::string path = (fs::path(folder_) / SyncManifestName).string();
    // Other tasks may have written meanwhile: this run's changes go onto the file as it is.
    std::map<std::string, TSyncEntry> current;
    if (!ReadEntries(path, current, error))
        return false;
    for (const auto& [output, recorded] : changes_) {
        if (recorded)
            current[output] = entries_.at(output);
        else
            current.erase(output);
    }
    nlohmann::json outputs = nlohmann::json::object();
    for (const auto& [output, entry] : current) {
        nlohmann::json item = {{"source", entry.Source}};
        if (!entry.Fingerprint.empty())
            item["fingerprint"] = entry.Fingerprint;
        outputs[output] = item;
    }
    const nlohmann::json manifest = {{"version", 1}, {"outputs", outputs}};
    if (!WriteWhole(path, manifest.dump(1) + "\n", error))
        return false;
    entries_ = std::move(current);
    changes_.clear();
    return true;
}

void TSyncManifest::Record(const std::string& outputPath, const TSyncEntry& entry) {
    const std::string relative = RelativePath(outputPath);
    entries_[relative] = entry;
    changes_[relative] = true;
}

void TSyncManifest::Forget(const std::string& outputPath) {
    const std::string relative = RelativePath(outputPath);
    entries_.erase(relative);
    changes_[relative] = false;
}

std::vector<std::string> TSyncManifest::Orphans() const {
    std::vector<std::string> orphans;
    for (const auto& [output, entry] : entries_)
        if (!Exists(entry.Source))
            orphans.push_back(output);
    return orphans;
}

std::string TSyncManifest::FullPath(const std::string& relative) const {
    return (fs::path(folder_) / relative).lexically_normal().string();
}

std::string TSyncManifest::RelativePath(const std::string& path) const {
    const fs::path relative =
        fs::path(path).lexically_normal().lexically_relative(fs::path(folder_).lexically_normal());
    return relative.empty() ? fs::path(path).lexically_normal().generic_string()
                            : relative.generic_string();
}

int RemoveOrphans(TSyncManifest& manifest, bool dryRun,
                  const std::function<void(const std::string&)>& say) {
    int removed = 0;
    std::set<fs::path> folders;
    for (const std::string& relative : manifest.Orphans()) {
        const std::string path = manifest.FullPath(relative);
        if (IsRegularFile(path)) {
            say((dryRun ? "Would remove: " : "Removed: ") + path);
            ++removed;
            if (!dryRun) {
                std::error_code ec;
                fs::remove(path, ec);
                folders.insert(fs::path(path).parent_path());
            }
        }
        if (!dryRun)
            manifest.Forget(path);
    }
    // The folders an orphan leaves empty go too, up to the output folder.
    const fs::path root = fs::path(manifest.FullPath(".")).lexically_normal();
    for (fs::path folder : folders) {
        std::error_code ec;
        while (!folder.empty() && folder.lexically_normal() != root &&
               fs::is_directory(folder, ec) && fs::is_empty(folder, ec)) {
            fs::remove(folder, ec);
            folder = folder.parent_path();
        }
    }
    return removed;
}

int MarkOutdatedOutputs(const TSyncManifest& manifest, const std::vector<std::string>& sources,
                        const std::string& fingerprint) {
    std::map<std::string, std::string> outputOf;
    for (const auto& [output, entry] : manifest.Entries())
        if (!entry.Fingerprint.empty() && entry.Fingerprint != fingerprint)
            outputOf[entry.Source] = output;
    int marked = 0;
    for (const std::string& source : sources) {
        const auto found = outputOf.find(fs::absolute(source).lexically_normal().string());
        if (found == outputOf.end())
            continue;
        const std::string path = manifest.FullPath(found->second);
        // A day after the epoch: older than any source, so "newer" replaces it.
        const timespec times[2] = {{86400, 0}, {86400, 0}};
        if (IsRegularFile(path) && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0)
            ++marked;
    }
    return marked;
}

bool IsCompanionFile(const std::string& path) {
    const std::string extension = LowerFileExtension(path);
    return std::find(std::begin(CompanionExtensions), std::end(CompanionExtensions), extension) !=
           std::end(CompanionExtensions);
}

int CopyCompanions(const std::map<std::string, std::string>& folders, TSyncManifest& manifest,
                   bool dryRun, const std::function<void(const std::string&)>& say) {
    int copied = 0;
    for (const auto& [from, to] : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(from.empty() ? "." : from, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string source = it->path().string();
            if (!IsCompanionFile(source) || !IsRegularFile(source))
                continue;
            const std::string copy = (fs::path(to) / it->path().filename()).string();
            if (!NewerThan(source, copy))
                continue;
            say((dryRun ? "Would copy: " : "Copied: ") + source + " -> " + copy);
            if (dryRun) {
                ++copied;
                continue;
            }
            std::error_code copyError;
            fs::create_directories(to, copyError);
            const std::string temporary =
                (fs::path(to) / ("." + it->path().filename().string() + ".audioconv-copy." +
                                 std::to_string(::getpid())))
                    .string();
            fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, copyError);
            if (!copyError)
                fs::last_write_time(temporary, fs::last_write_time(source, copyError), copyError);
            if (!copyError)
                fs::rename(temporary, copy, copyError);
            if (copyError) {
                say("Failed: " + source + ": " + copyError.message());
                fs::remove(temporary, copyError);
                continue;
            }
            manifest.Record(copy, TSyncEntry{fs::absolute(source).lexically_normal().string(), ""});
            ++copied;
        }
    }
    return copied;
}

TSyncRun::TSyncRun(const TSyncOptions& options, std::string outputFolder, std::string fingerprint,
                   TSay say, TSay error)
    : options_(options), folder_(std::move(outputFolder)), fingerprint_(std::move(fingerprint)),
      say_(std::move(say)), error_(std::move(error)), manifest_(folder_) {}

bool TSyncRun::Before(const std::vector<TCliSource>& sources) {
    std::string problem;
    if (!manifest_.Load(problem)) {
        error_("audioconv-cli: " + problem);
        return false;
    }
    if (options_.DeleteOrphans)
        RemoveOrphans(manifest_, options_.DryRun, say_);
    std::vector<std::string> paths;
    std::map<std::string, std::string> folders;
    for (const TCliSource& source : sources) {
        paths.push_back(source.Path);
        folders.emplace(fs::path(source.Path).parent_path().string(),
                        (fs::path(folder_) / source.SubFolder).lexically_normal().string());
    }
    if (!options_.DryRun) {
        const int marked = MarkOutdatedOutputs(manifest_, paths, fingerprint_);
        if (marked > 0)
            say_("Settings changed: " + std::to_string(marked) +
                 " outputs made with other settings are converted again");
    }
    if (options_.CopyCompanions)
        CopyCompanions(folders, manifest_, options_.DryRun, say_);
    return true;
}

void TSyncRun::Ended(const std::string& source, const std::string& output,
                     const std::string& status) {
    if (status != "converted" || options_.DryRun)
        return;
    const std::string absolute = fs::absolute(source).lexically_normal().string();
    const std::string relative = manifest_.RelativePath(output);
    std::vector<std::string> older;
    for (const auto& [path, entry] : manifest_.Entries())
        if (entry.Source == absolute && !entry.Fingerprint.empty() && path != relative)
            older.push_back(path);
    for (const std::string& path : older) {
        const std::string full = manifest_.FullPath(path);
        if (IsRegularFile(full)) {
            std::error_code ec;
            fs::remove(full, ec);
            say_("Removed: " + full + " (made with other settings)");
        }
        manifest_.Forget(full);
    }
    manifest_.Record(output, TSyncEntry{absolute, fingerprint_});
}

bool TSyncRun::After() {
    if (options_.DryRun)
        return true;
    std::string problem;
    if (!manifest_.Save(problem)) {
        error_("audioconv-cli: " + problem);
        return false;
    }
    return true;
}
