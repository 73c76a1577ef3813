// Keeping a copy of a library in step: the manifest the converter keeps in the output folder
// (which output it made from which source with which settings), the outputs whose source is
// gone, outputs made with other settings, and the files beside the tracks that players use
// (covers, lyrics, cue sheets, booklets) copied along.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct TSyncOptions {
    bool Sync = false;          // all of the below, and --existing newer
    bool DeleteOrphans = false; // remove outputs whose source is gone
    bool CopyCompanions = false;
    bool DryRun = false; // say what would be removed and converted; change nothing
    std::string Base;    // the library's root: folders are mirrored relative to it
    bool Manifest() const { return Sync || DeleteOrphans || CopyCompanions; }
};

void AddSyncOptions(CLI::App& app, TSyncOptions& options);

// The name of the manifest in the output folder.
inline constexpr const char* SyncManifestName = ".audioconv-sync.json";

// One file the converter put into the output folder.
struct TSyncEntry {
    std::string Source;      // the absolute path of its source
    std::string Fingerprint; // the settings it was made with; empty for a copied companion
};

// The manifest: the outputs, by their path relative to the output folder. Reading and
// writing hold an advisory lock on a file beside it, so tasks that share an output folder
// merge their changes instead of losing them.
class TSyncManifest {
public:
    explicit TSyncManifest(std::string outputFolder);
    // Reads the manifest (none yet: empty). False with the reason when it cannot be read.
    bool Load(std::string& error);
    // Writes this run's changes into the manifest as it is on disk now, under a temporary
    // name renamed into place. False with the reason on failure.
    bool Save(std::string& error);

    const std::map<std::string, TSyncEntry>& Entries() const { return entries_; }
    void Record(const std::string& outputPath, const TSyncEntry& entry);
    void Forget(const std::string& outputPath);

    // The outputs whose source no longer exists, relative to the output folder.
    std::vector<std::string> Orphans() const;
    // The path of an output given relative to the output folder, and back.
    std::string FullPath(const std::string& relative) const;
    std::string RelativePath(const std::string& path) const;

private:
    std::string folder_;
    std::map<std::string, TSyncEntry> entries_;
    std::map<std::string, bool> changes_; // true: recorded, false: forgotten
};

// Removes the orphans of `manifest` (each a file the converter wrote; a path that is no
// longer a regular file is only forgotten) and the folders they leave empty below the
// output folder. `say` gets one line per removal ("Removed: OUT", or "Would remove: OUT"
// with `dryRun`, which changes nothing). The number of outputs removed.
int RemoveOrphans(TSyncManifest& manifest, bool dryRun,
                  const std::function<void(const std::string&)>& say);

// Marks the output of each source made with other settings than `fingerprint` as older than
// any source, so that the run's newer-policy converts it again (the old output stays until
// the new one is whole). The number marked.
int MarkOutdatedOutputs(const TSyncManifest& manifest, const std::vector<std::string>& sources,
                        const std::string& fingerprint);

// The companion files of each folder in `folders` (source folder -> output folder) copied
// into the output folder when missing or older than the source's, under a temporary name
// renamed into place, and recorded in `manifest`. `say` gets "Copied: SRC -> OUT". The
// number copied.
int CopyCompanions(const std::map<std::string, std::string>& folders, TSyncManifest& manifest,
                   bool dryRun, const std::function<void(const std::string&)>& say);

// True for the extensions of companion files: images, lyrics, cue sheets, texts, booklets.
bool IsCompanionFile(const std::string& path);

struct TCliSource;

// The steps of a run that keeps a copy in step, around its conversions.
class TSyncRun {
public:
    using TSay = std::function<void(const std::string& line)>;
    TSyncRun(const TSyncOptions& options, std::string outputFolder, std::string fingerprint,
             TSay say, TSay error);

    // Before the conversions: reads the manifest, removes the orphans, marks the outputs
    // made with other settings, copies the companions of the sources' folders. False when
    // the manifest cannot be read (said).
    bool Before(const std::vector<TCliSource>& sources);
    // A source ended: a converted output is recorded, and the outputs of the same source
    // made with other settings under another name (another format) are removed.
    void Ended(const std::string& source, const std::string& output, const std::string& status);
    // Writes the manifest. False when it cannot be written (said).
    bool After();

private:
    TSyncOptions options_;
    std::string folder_;
    std::string fingerprint_;
    TSay say_, error_;
    TSyncManifest manifest_;
};
