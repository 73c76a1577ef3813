#include "TagList.h"

#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "FFDecode.h"

namespace {

// Container spellings of the vocabulary's names; every other key keeps its name lower-cased.
const struct {
    const char* Key;
    const char* Name;
} TagAliases[] = {
    {"tracknumber", "track"},
    {"totaltracks", "tracktotal"},
    {"discnumber", "disc"},
    {"totaldiscs", "disctotal"},
    {"album_artist", "albumartist"},
    {"album artist", "albumartist"},
    {"year", "date"},
    {"author", "artist"},
};

// Keys that describe the file or the program that wrote it, not the recording: a new output
// gets its own.
const char* const FileKeys[] = {
    "encoder",
    "encoding",
    "major_brand",
    "minor_version",
    "compatible_brands",
    "creation_time",
    "handler_name",
    "vendor_id",
    "vendor",
    "duration",
    "metadata_block_picture",
    "coverart",
    "itunsmpb",
    "itunnorm",
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void AddPlain(TTagList& tags, const std::string& name, const std::string& value) {
    if (value.empty())
        return;
    for (TTagEntry& entry : tags)
        if (entry.Name == name) {
            entry.Values.push_back(value);
            return;
        }
    tags.push_back({name, {value}});
}

// ASF attributes that TagLib's property map leaves out, by the names MusicBrainz Picard gives
// them.
const struct {
    const char* Attribute;
    const char* Name;
} AsfExtras[] = {
    {"ReplayGain/Track", "replaygain_track_gain"},
    {"ReplayGain/Track Peak", "replaygain_track_peak"},
    {"ReplayGain/Album", "replaygain_album_gain"},
    {"ReplayGain/Album Peak", "replaygain_album_peak"},
    {"WM/IsCompilation", "compilation"},
};

constexpr const char* ITunesPrefix = "----:com.apple.iTunes:";

bool Has(const TTagList& tags, const std::string& name) {
    return TagValues(tags, name) != nullptr;
}

// The tags of `file` that TagLib's property map does not give: MP4's free-form iTunes atoms
// (ReplayGain and others) and ASF's ReplayGain and compilation attributes.
void AddUnmapped(TagLib::File& file, TTagList& tags) {
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
        if (mp4->tag() == nullptr)
            return;
        for (const auto& item : mp4->tag()->itemMap()) {
            const std::string key = item.first.to8Bit(true);
            if (key.rfind(ITunesPrefix, 0) != 0)
                continue;
            const std::string name = TagNameOf(key.substr(std::strlen(ITunesPrefix)));
            // The MusicBrainz atoms are in the property map under their own names already.
            if (name.empty() || name.rfind("musicbrainz ", 0) == 0 || Has(tags, name))
                continue;
            for (const TagLib::String& value : item.second.toStringList())
                AddTagValue(tags, name, value.to8Bit(true));
        }
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
        if (asf->tag() == nullptr)
            return;
        for (const auto& extra : AsfExtras) {
            if (!asf->tag()->contains(extra.Attribute) || Has(tags, extra.Name))
                continue;
            for (const TagLib::ASF::Attribute& value : asf->tag()->attribute(extra.Attribute))
                AddTagValue(tags, extra.Name,
                            value.type() == TagLib::ASF::Attribute::BoolType
                                ? (value.toBool() ? "1" : "0")
                                : value.toString().to8Bit(true));
        }
    }
}

} // namespace

std::string TagNameOf(const std::string& key) {
    const std::string lower = Lower(key);
    for (const char* file : FileKeys)
        if (lower == file)
            return "";
    for (const auto& alias : TagAliases)
        if (lower == alias.Key)
            return alias.Name;
    return lower;
}

void AddTagValue(TTagList& tags, const std::string& key, const std::string& value) {
    const std::string name = TagNameOf(key);
    if (name.empty())
        return;
    if (name == "track" || name == "disc") {
        const size_t slash = value.find('/');
        if (slash != std::string::npos) {
            AddPlain(tags, name, value.substr(0, slash));
            AddPlain(tags, name + "total", value.substr(slash + 1));
            return;
        }
    }
    AddPlain(tags, name, value);
}

const std::vector<std::string>* TagValues(const TTagList& tags, const std::string& name) {
    for (const TTagEntry& entry : tags)
        if (entry.Name == name)
            return &entry.Values;
    return nullptr;
}

TTagList ReadTagLibTags(const std::string& path) {
    TTagList tags;
    const TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.file() == nullptr)
        return tags;
    const TagLib::PropertyMap properties = file.file()->properties();
    for (const auto& property : properties)
        for (const TagLib::String& value : property.second)
            AddTagValue(tags, property.first.to8Bit(true), value.to8Bit(true));
    AddUnmapped(*file.file(), tags);
    return tags;
}

TTagList ReadTagList(TFFDecoder& prober) {
    TTagList tags = ReadTagLibTags(prober.FileName());
    if (!tags.empty())
        return tags;
    // The container's tags: FFmpeg joins the values of a repeated key into one.
    for (const TFileTag& tag : prober.Tags())
        AddTagValue(tags, tag.Key, tag.Value);
    return tags;
}
