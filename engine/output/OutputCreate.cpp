// Creating an output: the container format, the kinds of streams the output gets, the
// streams, the file, and the container options.
#include <cerrno>
#include <ctime>

#include "FFLoad.h"
#include "FFmpeg.h"
#include "TextUtils.h"
#include "files/UnicodeProtocol.h"
#include "output/Output.h"
#include "utils/FFUtils.h"

namespace {

// Disarms the I/O watchdog however the open ends.
class TWatchdogScope {
public:
    explicit TWatchdogScope(TCustomFFmpeg& task) : task_(task) { task_.ArmIOWatchdog(); }
    ~TWatchdogScope() { task_.DisarmIOWatchdog(); }
    TWatchdogScope(const TWatchdogScope&) = delete;
    TWatchdogScope& operator=(const TWatchdogScope&) = delete;

private:
    TCustomFFmpeg& task_;
};

// The container's "creation_time" tag: the moment in ISO 8601, UTC.
void SetCreationTime(AVFormatContext* ctx, int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm utc{};
    if (gmtime_r(&t, &utc) == nullptr)
        return;
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc) == 0)
        return;
    ff::av_dict_set(&ctx->metadata, "creation_time", text, 0);
}

// True when the muxer's own options (its private class) know the name.
bool MuxerKnows(const AVOutputFormat* format, const char* name) {
    return format->priv_class != nullptr &&
           ff::av_opt_find(const_cast<AVClass**>(&format->priv_class), name, nullptr, 0,
                           AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

} // namespace

int TCustomFFmpeg::CreateOutputFile(const std::string& fileName, bool join) {
    if (JoinMode) {
        LastError = "Cannot join more than one output file.";
        return -1;
    }
    VideoFiltersInUse = !VideoFilters.empty();

    TFormatContextPtr context(ff::avformat_alloc_context());
    if (!context)
        throw FFmpegException("avformat_alloc_context failed");

    const std::string url = FileNameToURL(fileName);
    const AVOutputFormat* format = nullptr;
    if (!ForcedFormat.empty()) {
        format = ff::av_guess_format(ForcedFormat.c_str(), nullptr, nullptr);
        if (format == nullptr) {
            LastError = FormatText("Requested output format '%s' is not a suitable output format",
                                   ForcedFormat.c_str());
            return -1;
        }
        ForcedFormat.clear();
    } else {
        format = ff::av_guess_format(nullptr, url.c_str(), nullptr);
        if (format == nullptr) {
            LastError =
                FormatText("Unable to find a suitable output format for '%s'", fileName.c_str());
            return -1;
        }
    }
    context->oformat = format;
    context->url = ff::av_strdup(url.c_str());
    if (context->url == nullptr)
        throw FFmpegException("avformat_alloc_context failed");
    context->interrupt_callback = IOInterruptCallback();

    // From here the container owns the context; leaving without appending it frees it.
    const auto container = std::make_shared<TOutputContainer>(context.release());
    AVFormatContext* ctx = container->Context();
    const int slot = OutputCount();
    size_t streamsBefore = 0;
    for (const auto& streams : OutputStreams)
        streamsBefore += streams.size();
    OutputCodecs.resize(streamsBefore);
    bool appended = false;
    auto fail = [&](const std::string& message) {
        LastError = message;
        if (appended)
            OutputFiles.pop_back();
        OutputStreams.resize(OutputFiles.size());
        OutputCodecs.resize(streamsBefore);
        return -1;
    };

    // The kinds of streams: what the options name or the format has by default, and what
    // the inputs have.
    bool useVideo =
        VideoStreamCopy != 0 || format->video_codec != AV_CODEC_ID_NONE || VideoCodecName;
    bool useAudio =
        AudioStreamCopy != 0 || format->audio_codec != AV_CODEC_ID_NONE || AudioCodecName;
    bool useSubtitle =
        SubtitleStreamCopy != 0 || format->subtitle_codec != AV_CODEC_ID_NONE || SubtitleCodecName;
    if (InputCount() > 0) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        try {
            CheckInputStreamKinds(join, hasVideo, hasAudio, hasSubtitle);
        } catch (const std::exception& e) {
            return fail(FormatText("check_audio_video_sub_inputs fail: %s", e.what()));
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    useVideo = useVideo && !VideoDisable;
    useAudio = useAudio && !AudioDisable;
    useSubtitle = useSubtitle && !SubtitleDisable;

    OutputStreams.resize(static_cast<size_t>(slot) + 1);
    struct TKind {
        bool Wanted;
        void (TCustomFFmpeg::*Create)(AVFormatContext*, int);
        const char* Failure;
    };
    const TKind kinds[] = {
        {useVideo, &TCustomFFmpeg::NewVideoStream, "new_video_stream fail: %s"},
        {useAudio, &TCustomFFmpeg::NewAudioStream, "new_audio_stream fail: %s"},
        {useSubtitle, &TCustomFFmpeg::NewSubtitleStream, "new_subtitle_stream fail: %s"},
    };
    for (const TKind& kind : kinds) {
        if (!kind.Wanted)
            continue;
        try {
            (this->*kind.Create)(ctx, slot);
        } catch (const std::exception& e) {
            return fail(FormatText(kind.Failure, e.what()));
        }
    }

    if (RecordingTimestamp != 0)
        SetCreationTime(ctx, RecordingTimestamp);
    if (Metadata)
        ff::av_dict_copy(&ctx->metadata, Metadata.get(), 0);
    Metadata.reset();

    AppendOutputFile(container);
    appended = true;

    if ((format->flags & AVFMT_NEEDNUMBER) != 0 && ff::av_filename_number_test(ctx->url) == 0)
        return fail(FormatErrorMessage(fileName, AVERROR(EDOM)));

    if ((format->flags & AVFMT_NOFILE) == 0) {
        int ret = 0;
        {
            TWatchdogScope watchdog(*this);
            ret = container->OpenFile();
        }
        if (ret < 0)
            return fail(FormatErrorMessage(fileName, ret));
    }

    // Container options. The muxer's own options (its private data does not exist before the
    // header) are kept for avformat_write_header; the common ones go on the context now.
    AVDictionary** headerOptions = container->HeaderOptions();
    ctx->max_delay = static_cast<int>(MuxMaxDelay * 1000000);
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    if (MuxerKnows(format, "preload"))
        ff::av_dict_set(headerOptions, "preload",
                        std::to_string(static_cast<int>(MuxPreload * 1000000)).c_str(), 0);
    if (MuxerKnows(format, "loop"))
        ff::av_dict_set(headerOptions, "loop", std::to_string(LoopOutput).c_str(), 0);
    if (OptionContext) {
        ApplyLibraryOptions(ctx, OptionContext->FormatContext.get(), OutputContainerMask);
        const TOptionContext& store = *OptionContext;
        for (size_t i = 0; i < store.Names.size(); ++i)
            if (store.Values[i].has_value() && MuxerKnows(format, store.Names[i].c_str()))
                ff::av_dict_set(headerOptions, store.Names[i].c_str(), store.Values[i]->c_str(), 0);
    }

    StreamIdMap.clear();
    ForcedKeyFrames.clear();
    if (join && InputCount() > 1)
        JoinMode = true;
    return OutputCount();
}
