// A source's tags in one lower-case vocabulary whatever the container ("title", "artist",
// "albumartist", "track", "tracktotal", "disc", "disctotal", "date", "comment",
// "replaygain_track_gain", "musicbrainz_albumid", ...), each name with all its values: two
// artists stay two values. Read with TagLib where it knows the file type, else from the
// prober's container tags.
#pragma once

#include <string>
#include <vector>

class TFFDecoder;

struct TTagEntry {
    std::string Name;                // the vocabulary's name
    std::vector<std::string> Values; // never empty
};

using TTagList = std::vector<TTagEntry>;

// The vocabulary's name of a tag known by `key` in some container (any case): "TRACKNUMBER"
// and "track" give "track", "album_artist" gives "albumartist"; other keys lower-cased.
// Empty for keys that describe the file rather than the recording ("encoder",
// "major_brand", ...).
std::string TagNameOf(const std::string& key);

// Adds `value` under `name` (after TagNameOf), splitting "n/N" of a track or disc into the
// number and its total; empty values are skipped.
void AddTagValue(TTagList& tags, const std::string& key, const std::string& value);

// The values of `name` in `tags`, or null.
const std::vector<std::string>* TagValues(const TTagList& tags, const std::string& name);

// The tags of the file at `path` as TagLib reads them; empty when TagLib does not know the type
// or finds no tag.
TTagList ReadTagLibTags(const std::string& path);

// The tags of the file `prober` has open: TagLib's reading of its file, else its container's
// (and first audio stream's) tags.
TTagList ReadTagList(TFFDecoder& prober);
