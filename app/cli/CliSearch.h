// The sources of a command line: a folder gives the files of the playable types under it (with
// its subfolders, sorted) and the subfolder each was found in, a file is taken as named
// whatever its type. A file named twice (or found again through another path) is taken once.
// Every name is a local file's, whatever it contains ("http:x.wav", "pipe:0.wav"): it is given
// on in a form no opener reads as a URL (LocalFileName). Network sources come from --url only.
#pragma once

#include <string>
#include <vector>

// A path of the command line that gave no source (or a file or folder below it that could not
// be read), and why.
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
    bool Network = false; // a URL given with --url
};

// Where the run writes: a searched folder's subfolder that is `outputFolder` is not searched
// (rerunning a command whose output folder lies inside the library does not take its outputs
// as sources), and when a searched folder is the output folder itself, a file with
// `outputExtension` (with its dot) whose name is the output name of another source found
// beside it ("x.mp3" or "x(2).mp3" beside "x.wav") is an output of an earlier run and no
// source.
// Named FIFOs, devices and sockets are refused (a problem each); a folder or file below a
// searched folder that may not be read is a problem with the system's reason.
// Why a path names nothing: "No such file or directory" or the system's reason; "" when
// something is there.
std::string MissingPathProblem(const std::string& path);

std::vector<TCliSource> CollectSources(const std::vector<std::string>& paths,
                                       std::vector<TSourceProblem>& problems,
                                       const std::string& outputFolder = "",
                                       const std::string& outputExtension = "");
