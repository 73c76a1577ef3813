// Metadata maps, the automatic copy of the first input's global metadata, and the chapters.
#include <algorithm>

#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/PictureComment.h"

namespace {

// The metadata of one side of a metadata map, or null with `what` naming the bad index.
AVDictionary** MetadataOf(AVFormatContext* ctx, const TMetadataMapSide& side, const char*& what) {
    switch (side.Type) {
    case 's':
        if (side.Index < 0 || side.Index >= static_cast<int>(ctx->nb_streams)) {
            what = "stream";
            return nullptr;
        }
        return &ctx->streams[side.Index]->metadata;
    case 'c':
        if (side.Index < 0 || side.Index >= static_cast<int>(ctx->nb_chapters)) {
            what = "chapter";
            return nullptr;
        }
        return &ctx->chapters[side.Index]->metadata;
    case 'p':
        if (side.Index < 0 || side.Index >= static_cast<int>(ctx->nb_programs)) {
            what = "program";
            return nullptr;
        }
        return &ctx->programs[side.Index]->metadata;
    default:
        return &ctx->metadata;
    }
}

// Bits per pixel of a picture format: its components times their greatest depth (24 for the
// YUV of a JPEG, 32 with alpha); 0 when unknown.
uint32_t PictureDepth(int format) {
    const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    if (desc == nullptr)
        return 0;
    int depth = 0;
    for (int i = 0; i < desc->nb_components; ++i)
        depth = std::max(depth, desc->comp[i].depth);
    return static_cast<uint32_t>(depth * desc->nb_components);
}

// The METADATA_BLOCK_PICTURE value of the cover of `ic`: its front cover, else its first
// attached picture in a format with a MIME type; empty when it has none. A picture stream's
// "comment" names its type and its "title" describes it, as the demuxers read them. (An Ogg
// muxer keeps one comment per key, so only one picture can go.)
std::string CoverPictureComment(const AVFormatContext* ic) {
    std::string first;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        const char* mime = PictureMimeType(par->codec_id);
        if ((st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 || st->attached_pic.size <= 0 ||
            mime == nullptr)
            continue;
        TPictureBlock picture;
        picture.MimeType = mime;
        if (const AVDictionaryEntry* e = ff::av_dict_get(st->metadata, "comment", nullptr, 0)) {
            const int type = PictureTypeOfName(e->value);
            if (type >= 0)
                picture.Type = static_cast<uint32_t>(type);
        }
        if (const AVDictionaryEntry* e = ff::av_dict_get(st->metadata, "title", nullptr, 0))
            picture.Description = e->value;
        picture.Width = par->width > 0 ? static_cast<uint32_t>(par->width) : 0;
        picture.Height = par->height > 0 ? static_cast<uint32_t>(par->height) : 0;
        picture.Depth = PictureDepth(par->format);
        picture.Data = std::string_view(reinterpret_cast<const char*>(st->attached_pic.data),
                                        static_cast<size_t>(st->attached_pic.size));
        if (picture.Type == FrontCoverPictureType)
            return PictureCommentValue(picture);
        if (first.empty())
            first = PictureCommentValue(picture);
    }
    return first;
}

} // namespace

void TTranscodeRun::CopyMetadataAndChapters() {
    const int outputCount = task_.OutputCount();
    const int inputCount = task_.InputCount();
    // Join-mode slots share one container, which is handled once.
    const int containers = joinMode_ ? std::min(1, outputCount) : outputCount;
    auto invalid = [this](const char* what, int index) {
        FailAfterDump(
            FormatText("Invalid %s index %d while processing metadata maps", what, index));
    };

    for (const TMetadataMap& map : task_.MetadataMaps) {
        if (map.In.File < 0 || map.Out.File < 0)
            continue;
        if (map.Out.File >= outputCount)
            invalid("output file", map.Out.File);
        if (map.In.File >= inputCount)
            invalid("input file", map.In.File);
        const char* what = "";
        AVDictionary** out = MetadataOf(OutputContext(map.Out.File), map.Out, what);
        if (out == nullptr)
            invalid(what, map.Out.Index);
        AVDictionary** in = MetadataOf(InputContext(map.In.File), map.In, what);
        if (in == nullptr)
            invalid(what, map.In.Index);
        ff::av_dict_copy(out, *in, AV_DICT_DONT_OVERWRITE);
    }

    if (task_.MetadataGlobalAutoCopy && inputCount > 0)
        for (int j = 0; j < containers; ++j)
            ff::av_dict_copy(&OutputContext(j)->metadata, InputContext(0)->metadata,
                             AV_DICT_DONT_OVERWRITE);

    if (task_.PictureComment && inputCount > 0) {
        // On the audio streams, whose comments an Ogg muxer writes.
        const std::string picture = CoverPictureComment(InputContext(0));
        for (int j = 0; j < containers && !picture.empty(); ++j) {
            AVFormatContext* oc = OutputContext(j);
            for (unsigned k = 0; k < oc->nb_streams; ++k)
                if (oc->streams[k]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                    ff::av_dict_set(&oc->streams[k]->metadata, PictureCommentKey, picture.c_str(),
                                    0);
        }
    }

    for (const TChapterMap& map : task_.ChapterMaps) {
        if (map.InFile < 0 || map.OutFile < 0)
            continue;
        if (map.InFile >= inputCount)
            FailAfterDump(
                FormatText("Invalid input file index %d in chapter mapping.", map.InFile));
        if (map.OutFile >= outputCount)
            FailAfterDump(
                FormatText("Invalid output file index %d in chapter mapping.", map.OutFile));
        CopyChapters(map.InFile, map.OutFile);
    }
    if (task_.ChapterMaps.empty()) {
        for (int i = 0; i < inputCount; ++i) {
            if (InputContext(i)->nb_chapters == 0)
                continue;
            for (int j = 0; j < containers; ++j)
                CopyChapters(i, j);
            break;
        }
    }
}

// The chapters of input i that fall into the part being converted, moved by the input's
// start and cut at the recording time.
void TTranscodeRun::CopyChapters(int inputFile, int outputFile) {
    const AVFormatContext* ic = InputContext(inputFile);
    AVFormatContext* oc = OutputContext(outputFile);
    const int64_t offsetTime = task_.StartTime - task_.InputFiles[inputFile]->TsOffset;
    for (unsigned c = 0; c < ic->nb_chapters; ++c) {
        const AVChapter* in = ic->chapters[c];
        const int64_t offset = ff::av_rescale_q(offsetTime, AV_TIME_BASE_Q, in->time_base);
        const int64_t limit =
            task_.RecordingTime == INT64_MAX
                ? INT64_MAX
                : ff::av_rescale_q(task_.RecordingTime, AV_TIME_BASE_Q, in->time_base);
        if (in->end < offset)
            continue;
        if (limit != INT64_MAX && in->start > limit + offset)
            break;
        auto* out = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (out == nullptr)
            throw FFmpegException("av_mallocz fail");
        out->id = in->id;
        out->time_base = in->time_base;
        out->start = std::max<int64_t>(0, in->start - offset);
        out->end = std::min(limit, in->end - offset);
        if (task_.MetadataChaptersAutoCopy)
            ff::av_dict_copy(&out->metadata, in->metadata, 0);
        auto* list = static_cast<AVChapter**>(
            ff::av_realloc(oc->chapters, (oc->nb_chapters + 1) * sizeof(AVChapter*)));
        if (list == nullptr) {
            ff::av_dict_free(&out->metadata);
            ff::av_free(out);
            throw FFmpegException("av_realloc fail");
        }
        oc->chapters = list;
        oc->chapters[oc->nb_chapters++] = out;
    }
}
