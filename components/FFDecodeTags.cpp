// The prober's tags and cover art: what a file says about itself besides its streams.
#include <strings.h>

#include "FFDecode.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"

namespace {

bool HasKey(const std::vector<TFileTag>& tags, const char* key) {
    for (const TFileTag& tag : tags)
        if (strcasecmp(tag.Key.c_str(), key) == 0)
            return true;
    return false;
}

// Appends the entries of `dict`; with `onlyNew` only those whose keys are not listed yet.
void AppendTags(const AVDictionary* dict, bool onlyNew, std::vector<TFileTag>& tags) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(dict, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr)
        if (!onlyNew || !HasKey(tags, entry->key))
            tags.push_back({entry->key, entry->value != nullptr ? entry->value : ""});
}

// The text of `key` in `dict` (the key's case ignored), empty when it is not there.
std::string TagText(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* entry = ff::av_dict_get(dict, key, nullptr, 0);
    return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

} // namespace

std::vector<TAttachedPictureInfo> TCustomDecoder::AttachedPictures() const {
    std::vector<TAttachedPictureInfo> pictures;
    if (formatContext_ == nullptr)
        return pictures;
    for (unsigned i = 0; i < formatContext_->nb_streams; ++i) {
        const AVStream* st = formatContext_->streams[i];
        if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 || st->attached_pic.size <= 0)
            continue;
        TAttachedPictureInfo info;
        info.StreamIndex = static_cast<int32_t>(i);
        info.CodecName = ff::avcodec_get_name(st->codecpar->codec_id);
        info.Width = st->codecpar->width > 0 ? st->codecpar->width : -1;
        info.Height = st->codecpar->height > 0 ? st->codecpar->height : -1;
        info.Size = st->attached_pic.size;
        info.Comment = TagText(st->metadata, "comment");
        info.Title = TagText(st->metadata, "title");
        info.FileName = TagText(st->metadata, "filename");
        pictures.push_back(info);
    }
    return pictures;
}

bool TCustomDecoder::GetAttachedPicture(TAttachedPictureInfo& info) const {
    const std::vector<TAttachedPictureInfo> pictures = AttachedPictures();
    info = pictures.empty() ? TAttachedPictureInfo() : pictures.front();
    return !pictures.empty();
}

int32_t TCustomDecoder::BestAudioStreamIndex() const {
    if (formatContext_ == nullptr)
        return -1;
    const int index =
        ff::av_find_best_stream(formatContext_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return index >= 0 ? index : -1;
}

std::vector<TFileTag> TCustomDecoder::Tags() const {
    std::vector<TFileTag> tags;
    if (formatContext_ == nullptr)
        return tags;
    AppendTags(formatContext_->metadata, false, tags);
    if (firstAudioStreamIndex_ >= 0 &&
        firstAudioStreamIndex_ < static_cast<int32_t>(formatContext_->nb_streams))
        AppendTags(formatContext_->streams[firstAudioStreamIndex_]->metadata, true, tags);
    return tags;
}

std::string TCustomDecoder::ContainerName() const {
    if (formatContext_ == nullptr || formatContext_->iformat == nullptr)
        return {};
    const char* name = formatContext_->iformat->name;
    return name != nullptr ? name : "";
}

std::string TCustomDecoder::ContainerLongName() const {
    if (formatContext_ == nullptr || formatContext_->iformat == nullptr)
        return {};
    const char* name = formatContext_->iformat->long_name;
    return name != nullptr ? name : "";
}
