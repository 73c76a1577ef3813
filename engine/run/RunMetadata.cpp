// Metadata maps, the automatic copy of the first input's global metadata, and the chapters.
#include <algorithm>

#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"

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
