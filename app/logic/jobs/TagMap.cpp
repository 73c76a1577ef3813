#include "TagMap.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace {

// The fields players read: ID3v2.4 frames and TXXX descriptions, MP4 atoms and ASF attributes
// as MusicBrainz Picard names them; Vorbis comments as the Vorbis comment conventions do.
// MusicBrainz's recording id is ID3v2's UFID of owner http://musicbrainz.org.
const TTagRow TagRows[] = {
    // clang-format off
    {"title", TTagKind::Text, "TIT2", "\xA9nam", "TITLE", "Title", "INAM"},
    {"artist", TTagKind::Text, "TPE1", "\xA9" "ART", "ARTIST", "Author", "IART"},
    {"albumartist", TTagKind::Text, "TPE2", "aART", "ALBUMARTIST", "WM/AlbumArtist", ""},
    {"album", TTagKind::Text, "TALB", "\xA9" "alb", "ALBUM", "WM/AlbumTitle", "IPRD"},
    {"track", TTagKind::Number, "TRCK", "trkn", "TRACKNUMBER", "WM/TrackNumber", "IPRT"},
    {"tracktotal", TTagKind::Total, "TRCK", "trkn", "TRACKTOTAL", "", "", "track"},
    {"disc", TTagKind::Number, "TPOS", "disk", "DISCNUMBER", "WM/PartOfSet", ""},
    {"disctotal", TTagKind::Total, "TPOS", "disk", "DISCTOTAL", "WM/PartOfSet", "", "disc"},
    {"date", TTagKind::Text, "TDRC", "\xA9" "day", "DATE", "WM/Year", "ICRD"},
    {"originaldate", TTagKind::Text, "TDOR", "----:com.apple.iTunes:ORIGINALDATE", "ORIGINALDATE", "WM/OriginalReleaseYear", ""},
    {"genre", TTagKind::Text, "TCON", "\xA9gen", "GENRE", "WM/Genre", "IGNR"},
    {"comment", TTagKind::Text, "COMM", "\xA9" "cmt", "COMMENT", "Description", "ICMT"},
    {"composer", TTagKind::Text, "TCOM", "\xA9wrt", "COMPOSER", "WM/Composer", ""},
    {"label", TTagKind::Text, "TPUB", "----:com.apple.iTunes:LABEL", "LABEL", "WM/Publisher", ""},
    {"copyright", TTagKind::Text, "TCOP", "cprt", "COPYRIGHT", "Copyright", "ICOP"},
    {"isrc", TTagKind::Text, "TSRC", "----:com.apple.iTunes:ISRC", "ISRC", "WM/ISRC", ""},
    {"bpm", TTagKind::Text, "TBPM", "tmpo", "BPM", "WM/BeatsPerMinute", ""},
    {"lyrics", TTagKind::Text, "USLT", "\xA9lyr", "LYRICS", "WM/Lyrics", ""},
    {"compilation", TTagKind::Flag, "TCMP", "cpil", "COMPILATION", "WM/IsCompilation", ""},
    {"replaygain_track_gain", TTagKind::Text, "TXXX:REPLAYGAIN_TRACK_GAIN", "----:com.apple.iTunes:REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_GAIN", "ReplayGain/Track", ""},
    {"replaygain_track_peak", TTagKind::Text, "TXXX:REPLAYGAIN_TRACK_PEAK", "----:com.apple.iTunes:REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_TRACK_PEAK", "ReplayGain/Track Peak", ""},
    {"replaygain_album_gain", TTagKind::Text, "TXXX:REPLAYGAIN_ALBUM_GAIN", "----:com.apple.iTunes:REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_GAIN", "ReplayGain/Album", ""},
    {"replaygain_album_peak", TTagKind::Text, "TXXX:REPLAYGAIN_ALBUM_PEAK", "----:com.apple.iTunes:REPLAYGAIN_ALBUM_PEAK", "REPLAYGAIN_ALBUM_PEAK", "ReplayGain/Album Peak", ""},
    {"musicbrainz_trackid", TTagKind::RecordingId, "UFID:http://musicbrainz.org", "----:com.apple.iTunes:MusicBrainz Track Id", "MUSICBRAINZ_TRACKID", "MusicBrainz/Track Id", ""},
    {"musicbrainz_releasetrackid", TTagKind::Text, "TXXX:MusicBrainz Release Track Id", "----:com.apple.iTunes:MusicBrainz Release Track Id", "MUSICBRAINZ_RELEASETRACKID", "MusicBrainz/Release Track Id", ""},
    {"musicbrainz_albumid", TTagKind::Text, "TXXX:MusicBrainz Album Id", "----:com.apple.iTunes:MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID", "MusicBrainz/Album Id", ""},
    {"musicbrainz_artistid", TTagKind::Text, "TXXX:MusicBrainz Artist Id", "----:com.apple.iTunes:MusicBrainz Artist Id", "MUSICBRAINZ_ARTISTID", "MusicBrainz/Artist Id", ""},
    {"musicbrainz_albumartistid", TTagKind::Text, "TXXX:MusicBrainz Album Artist Id", "----:com.apple.iTunes:MusicBrainz Album Artist Id", "MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz/Album Artist Id", ""},
    {"musicbrainz_releasegroupid", TTagKind::Text, "TXXX:MusicBrainz Release Group Id", "----:com.apple.iTunes:MusicBrainz Release Group Id", "MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz/Release Group Id", ""},
    {"musicbrainz_workid", TTagKind::Text, "TXXX:MusicBrainz Work Id", "----:com.apple.iTunes:MusicBrainz Work Id", "MUSICBRAINZ_WORKID", "MusicBrainz/Work Id", ""},
    // clang-format on
};

const struct {
    const char* Extension;
    TTagFormat Format;
} TagFormats[] = {
    {".mp3", TTagFormat::Id3v2},   {".mp2", TTagFormat::Id3v2},    {".m4a", TTagFormat::Mp4},
    {".flac", TTagFormat::Vorbis}, {".ogg", TTagFormat::Vorbis},   {".opus", TTagFormat::Vorbis},
    {".wma", TTagFormat::Asf},     {".wav", TTagFormat::RiffInfo}, {".aac", TTagFormat::None},
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

TTagFormat TagFormatOf(const std::string& extension) {
    for (const auto& row : TagFormats)
        if (strcasecmp(row.Extension, extension.c_str()) == 0)
            return row.Format;
    return TTagFormat::Untouched;
}

const TTagRow* TagRowOf(const std::string& name) {
    for (const TTagRow& row : TagRows)
        if (name == row.Name)
            return &row;
    return nullptr;
}

std::string TagFieldOf(const std::string& name, TTagFormat format) {
    if (const TTagRow* row = TagRowOf(name)) {
        switch (format) {
        case TTagFormat::Id3v2:
            return row->Id3v2;
        case TTagFormat::Mp4:
            return row->Mp4;
        case TTagFormat::Vorbis:
            return row->Vorbis;
        case TTagFormat::Asf:
            return row->Asf;
        case TTagFormat::RiffInfo:
            return row->RiffInfo;
        case TTagFormat::None:
        case TTagFormat::Untouched:
            return "";
        }
        return "";
    }
    switch (format) {
    case TTagFormat::Id3v2:
        return "TXXX:" + Upper(name);
    case TTagFormat::Mp4:
        return "----:com.apple.iTunes:" + Upper(name);
    case TTagFormat::Vorbis:
    case TTagFormat::Asf:
        return Upper(name);
    default:
        return "";
    }
}
