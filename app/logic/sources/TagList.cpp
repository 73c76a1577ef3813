#include "TagList.h"

#include <taglib/fileref.h>
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
    "encoder",       "encoding",      "encodedby_lavf",
    "major_brand",   "minor_version", "compatible_brands",
    "creation_time", "handler_name",  "vendor_id",
    "vendor",        "duration",      "metadata_block_picture",
    "coverart",      "itunsmpb",      "itunnorm",
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
