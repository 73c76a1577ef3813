// Where each output format keeps a tag of the source vocabulary (sources/TagList.h): one row
// per tag, naming its field in ID3v2 (MP3, MP2), MP4 atoms (M4A), Vorbis comments (FLAC, OGG,
// Opus), ASF attributes (WMA) and RIFF INFO (WAV). A new kind of output tag is a new row.
#pragma once

#include <string>

// The tag block an output format has.
enum class TTagFormat {
    None,      // no tags at all (ADTS AAC)
    Id3v2,     // MP3, MP2
    Mp4,       // M4A
    Vorbis,    // FLAC, OGG, Opus
    Asf,       // WMA
    RiffInfo,  // WAV
    Untouched, // a container the writer does not know: the muxer's tags stay as they are
};

// The tag block of an output with `extension` ("." included, any case).
TTagFormat TagFormatOf(const std::string& extension);

// How a row's values are written.
enum class TTagKind {
    Text,        // one text field with every value
    Number,      // a number that ID3v2, MP4 and ASF keep beside its total ("3/12")
    Total,       // the total of the Number row whose field it shares there
    Flag,        // yes or no ("1" or "0")
    RecordingId, // an identifier ID3v2 keeps in a unique file identifier (UFID:owner)
};

struct TTagRow {
    const char* Name; // the vocabulary's name
    TTagKind Kind;
    // The field in each format; empty: the format cannot hold the tag. ID3v2 names a frame
    // ("TIT2", "COMM", "TXXX:description", "UFID:owner"), MP4 an atom ("©nam", "trkn",
    // "----:com.apple.iTunes:name").
    const char* Id3v2;
    const char* Mp4;
    const char* Vorbis;
    const char* Asf;
    const char* RiffInfo;
    // For a Total row, the name of its Number row.
    const char* NumberOf = "";
};

// The row of `name`, or null for a tag without one.
const TTagRow* TagRowOf(const std::string& name);

// The field of the tag `name` in `format`: its row's, or for a tag without a row the format's
// free-form field under the tag's own name in capitals (TXXX in ID3v2, a ----:com.apple.iTunes:
// atom in MP4, the comment's name in Vorbis, the attribute's in ASF). Empty when the format
// cannot hold it.
std::string TagFieldOf(const std::string& name, TTagFormat format);
