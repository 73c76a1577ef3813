// Writing a finished output's tags and covers with TagLib, from the source's tags in the
// vocabulary of sources/TagList.h and the fields of TagMap: the muxer's own tags are replaced,
// the pictures it copied are kept (or scaled, or left out), and an output without a picture
// gets the source's or its folder's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "TagMap.h"
#include "sources/CoverPictures.h"
#include "sources/TagList.h"

// What a job writes into its output once it has finished.
struct TTagJob {
    TTagFormat Format = TTagFormat::Untouched;
    TTagList Tags;
    // Gives the pictures for an output that has none after muxing (the source's as TagLib
    // reads them, or the cover of its folder); called only then. None: no pictures added.
    std::function<std::vector<TCoverPicture>()> Covers = nullptr;
    bool NoCover = false;   // every picture left out
    int CoverMaxPixels = 0; // pictures larger than this in width or height scaled down; 0: kept
    int Id3v2Version = 4;   // 3 for players that read ID3v2.3 only
};

// The names of `tags` that `format` cannot hold, in the tags' order.
std::vector<std::string> DroppedTags(const TTagList& tags, TTagFormat format);

// The tag version that the output options `extOptions` ask for ("id3v2_version=3"), else 4.
int Id3v2VersionOf(const std::string& extOptions);

// Writes `job` into the file at `path`; empty when done (or nothing was to be done), else
// the reason.
std::string WriteOutputTags(const std::string& path, const TTagJob& job);
