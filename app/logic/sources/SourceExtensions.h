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

// The files under `folder` and all its subfolders of a playable type (HasPlayableExtension),
// sorted by path. Subfolders that may not be read are skipped, and so is `skipFolder` (the
// output folder, whose files are no sources) when it lies below `folder`. When the search
// itself fails, `error` (when given) receives the system's text and the files found until
// then are returned.
std::vector<std::string> FindSourceFiles(const std::string& folder, std::string* error = nullptr,
                                         const std::string& skipFolder = "");
