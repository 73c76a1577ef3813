#include "SourceTags.h"

#include <initializer_list>

extern "C" {
#include <libavformat/avformat.h>
}

#include "FFDecode.h"
#include "utils/FFUtils.h"

namespace {

// Each tag under the keys containers use for it, the common one first.
const struct {
    std::string TSourceTags::*Tag;
    std::initializer_list<const char*> Keys;
} TagKeys[] = {
    {&TSourceTags::Artist, {"artist", "author"}},
    {&TSourceTags::AlbumArtist, {"album_artist", "albumartist", "album artist"}},
    {&TSourceTags::Album, {"album"}},
    {&TSourceTags::Title, {"title"}},
    {&TSourceTags::Track, {"track", "tracknumber"}},
    {&TSourceTags::Disc, {"disc", "discnumber"}},
    {&TSourceTags::Year, {"date", "year", "originaldate"}},
    {&TSourceTags::Genre, {"genre"}},
};

std::string FirstValue(const AVDictionary* metadata, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const std::string value = MetadataValue(metadata, key, "");
        if (!value.empty())
            return value;
    }
    return "";
}

} // namespace

TSourceTags ReadSourceTags(TFFDecoder& prober) {
    TSourceTags tags;
    const AVFormatContext* ctx = prober.FormatContext();
    if (ctx == nullptr)
        return tags;
    const int audio = prober.FirstAudioStreamIndex();
    const AVDictionary* stream = audio >= 0 && audio < static_cast<int>(ctx->nb_streams)
                                     ? ctx->streams[audio]->metadata
                                     : nullptr;
    for (const auto& entry : TagKeys) {
        tags.*entry.Tag = FirstValue(ctx->metadata, entry.Keys);
        if ((tags.*entry.Tag).empty() && stream != nullptr)
            tags.*entry.Tag = FirstValue(stream, entry.Keys);
    }
    return tags;
}
