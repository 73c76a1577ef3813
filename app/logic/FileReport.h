// What `--info` tells about a file: the facts of the source list, the container, the tags
// and the cover art, as text lines or as one JSON object.
#pragma once

#include <string>
#include <vector>

#include "FFDecode.h"
#include "FileFacts.h"

struct TFileReport {
    TSourceFacts Facts;
    std::string Container;         // the demuxer's short name
    std::string ContainerLongName; // its long name
    std::vector<TFileTag> Tags;
    bool HasPicture = false;
    TAttachedPictureInfo Picture;
};

// The report of the file `prober` has open.
TFileReport ReadFileReport(TFFDecoder& prober);

// The lines under the file's name: the source list's facts with the size for reading, then
// "Container: ...", "Cover art: ..." and "Tags:" with one indented "key: value" line each.
std::vector<std::string> FileReportLines(const TFileReport& report);

// One line of JSON for the file: "path", the facts (null when unknown), "container",
// "container_name", "tags" (an object) and "cover_art" (an object, or null).
std::string FileReportJson(const std::string& path, const TFileReport& report);

// One line of JSON for a file that could not be read: "path" and "error".
std::string FileErrorJson(const std::string& path, const std::string& message);
