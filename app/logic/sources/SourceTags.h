// The tags of a source that output names can be made of, read from the file the prober has
// open: the container's tags, and the first audio stream's where the container has none (Ogg
// and Opus files keep their comments on the stream).
#pragma once

#include <string>

class TFFDecoder;

// The tags a name pattern can use, as the source holds them (empty: the source has none).
struct TSourceTags {
    std::string Artist;
    std::string AlbumArtist;
    std::string Album;
    std::string Title;
    std::string Track; // "3", "03" or "3/12"
    std::string Disc;  // "1" or "1/2"
    std::string Year;  // a year or a date that starts with one
    std::string Genre;
};

// The tags of the file `prober` has open; all empty without one.
TSourceTags ReadSourceTags(TFFDecoder& prober);
