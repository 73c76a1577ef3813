// The pictures a file holds in its tags (ID3v2 APIC frames, MP4 covr atoms, FLAC picture
// blocks and Ogg picture comments, ASF WM/Picture attributes), as TagLib reads them.
#pragma once

#include <string>
#include <vector>

namespace TagLib {
class File;
}

struct TCoverPicture {
    std::string Data;        // the coded picture, byte for byte
    std::string Mime;        // "image/jpeg", "image/png"
    std::string Description; // empty when the file gives none
    int Type = 3;            // the ID3v2/FLAC picture type; 3 is the front cover
};

// The MIME type of a JPEG or PNG picture by its first bytes; empty for another kind.
std::string PictureMimeOf(const std::string& data);

// The pictures of `file` (TagLib's object of the file's own type); empty for a type without
// pictures.
std::vector<TCoverPicture> ReadCoverPictures(TagLib::File& file);

// The pictures of the file at `path`; empty when TagLib does not know the type.
std::vector<TCoverPicture> ReadFileCoverPictures(const std::string& path);
