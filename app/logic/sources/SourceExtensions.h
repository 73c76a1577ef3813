// The files the converter takes as sources without being told: dropped files are kept when
// their extension is one of the accepted ones, the files found in a folder when it is one of
// those or one of the other types this desktop plays.
#pragma once

#include <string>
#include <vector>

// The 41 accepted extensions, lower case, with the dot.
const std::vector<std::string>& AcceptedSourceExtensions();

// The last extension of the file name in `path` (from its last dot, "" without one), in
// lower case. Dots in the folders do not count.
std::string LowerFileExtension(const std::string& path);

// True when the extension of `path`, compared in lower case, is an accepted one.
bool HasAcceptedSourceExtension(const std::string& path);

// The types beyond the accepted ones that a folder search takes too, lower case, with the dot.
const std::vector<std::string>& DesktopSourceExtensions();

// True when the extension of `path`, in lower case, is an accepted or a desktop one.
bool HasPlayableExtension(const std::string& path);

// The drop rule: an existing folder is skipped, a name with an accepted extension is kept.
bool IsAcceptedDroppedFile(const std::string& path);

// A file or folder a search could not read, and the system's reason.
struct TSearchProblem {
    std::string Path;
    std::string Reason;
};

// Empty when `path` is a regular file or a folder (or does not exist); else the reason it is no
// source: "is a FIFO (named pipe), not a regular file", a device, a socket.
std::string NotRegularFileProblem(const std::string& path);

// The files under `folder` and all its subfolders of a playable type (HasPlayableExtension),
// sorted by path. `skipFolder` (the output folder, whose files are no sources) is skipped when
// it lies below `folder`; folder links are not followed. Subfolders and files of a playable
// type that may not be read go into `unreadable` (when given) with the system's reason. When
// `folder` itself cannot be read, `error` (when given) receives the system's text.
std::vector<std::string> FindSourceFiles(const std::string& folder, std::string* error = nullptr,
                                         const std::string& skipFolder = "",
                                         std::vector<TSearchProblem>* unreadable = nullptr);
