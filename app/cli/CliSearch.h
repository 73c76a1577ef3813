// The sources of a command line: a folder gives the files of the playable types under it (with
// its subfolders, sorted) and the subfolder each was found in, a file is taken as named
// whatever its type. A file named twice (or found again through another path) is taken once.
#pragma once

#include <string>
#include <vector>

// A path of the command line that gave no source, and why.
struct TSourceProblem {
    std::string Path;
    std::string Message;
};

struct TCliSource {
    std::string Path;
    // The folder it was found in relative to the searched folder ("Artist/Album", "" for the
    // searched folder itself and for a file named on the command line).
    std::string SubFolder;
    // What shards it (--shard): its path relative to the searched folder or the list it came
    // from, or the path as named on the command line.
    std::string Key;
};

// A searched folder's subfolder that is `outputFolder` is not searched: rerunning a command
// whose output folder lies inside the library does not take its outputs as sources.
std::vector<TCliSource> CollectSources(const std::vector<std::string>& paths,
                                       std::vector<TSourceProblem>& problems,
                                       const std::string& outputFolder = "");
