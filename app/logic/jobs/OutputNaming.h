// Where a job's output goes: the folder a source was found in mirrored below the output
// folder, a name made from the source's tags by a pattern, and what becomes of an output that
// exists already (numbered past, kept, replaced, or replaced when the source is newer).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "sources/SourceTags.h"

// What a job does when its output's name is taken by an existing file.
enum class TExistingOutputs {
    Increment, // numbered past it: "name(1).ext"
    Skip,      // the source is not converted
    Overwrite, // the finished output replaces it
    Newer,     // replaced when the source is newer than it, else skipped
};

// The policy of "increment", "skip", "overwrite" or "newer"; false for any other name.
bool ExistingOutputsOf(const std::string& name, TExistingOutputs& policy);

// How a run names its outputs. The defaults are the application's: the source's name,
// numbered past existing files.
struct TOutputNaming {
    std::string Pattern; // "{artist}/{album}/{track} {title}"; empty: the source's name
    TExistingOutputs Existing = TExistingOutputs::Increment;
};

// Empty when every "{field}" of `pattern` is known and the pattern gives a name; else the
// reason, for the user.
std::string NamePatternProblem(const std::string& pattern);

// The relative output path without extension that `pattern` gives a source whose name
// without folder and extension is `fileName`: "/" separates folders, each field's text is made
// safe for a file name (SafeNamePart), {track} has two digits. Empty when the pattern uses a
// tag the source lacks (the caller then falls back to the source's own name).
std::string ExpandNamePattern(const std::string& pattern, const TSourceTags& tags,
                              const std::string& fileName);

// `text` as one part of a path: characters that file systems refuse ("/", "\", ":", "*", "?",
// """, "<", ">", "|" and control characters) become "_", leading dots and trailing dots and
// spaces are dropped, and the text is cut to at most 200 bytes (whole UTF-8 characters), so
// that numbering and an extension still fit. "_" when nothing is left.
std::string SafeNamePart(const std::string& text);

// A file as the system knows it: the device and the inode.
using TFileId = std::pair<uint64_t, uint64_t>;
// Adds the identities of the file at `path`: of the name itself and, for a link, of the file
// it leads to.
void AddFileIds(const std::string& path, std::set<TFileId>& ids);

// Where one output goes.
struct TOutputPlan {
    std::string Path;     // the final name
    bool Skip = false;    // not converted: the file at Path is kept
    bool Replace = false; // the finished output replaces the file at Path
    std::string Reason;   // why it is skipped: "exists" or "is up to date"
};

// The output for `name` (a relative path with its extension) below `folder` (with or without
// a trailing separator; empty: `name` as it stands, any path) under `policy`. A name stays free for
// a job when it is not in `claimed` (full paths given to earlier jobs of the run), no live job
// of any process is writing it (HasLiveClaim, which removes dead processes' leftovers), and
// nothing exists under it; the first free one of "name", "name(1)", ... is taken. A name being
// written by another process is numbered past (Increment), replaced when that job ends
// (Overwrite) or skipped with the reason "is being written by another process". Unless the policy
// is Increment, the first name not claimed nor being written is the source's output from an earlier
// run, and when a file or link exists there it is kept (Skip; Newer when its time is not older than
// `source`'s) or replaced; a file that is one of `sources` (or anything but a file or a link) is
// never replaced but numbered past.
TOutputPlan PlanOutputPath(const std::string& folder, const std::string& name,
                           TExistingOutputs policy, const std::string& source,
                           const std::set<std::string>& claimed,
                           const std::set<TFileId>& sources = {});
