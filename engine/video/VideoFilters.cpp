// The filter chain of option "vf": "buffer" -> optional "scale" -> the description -> the
// sink that accepts only the encoder's pixel format. The task keeps the graphs of a run; the
// ends of each are stored in the input stream whose pictures it filters.
#include <cerrno>
#include <cstring>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "log/FFLog.h"
#include "utils/FFUtils.h"
#include "utils/VideoSink.h"
#include "video/Video.h"

namespace {

struct TInOutDeleter {
    void operator()(AVFilterInOut* p) const { ff::avfilter_inout_free(&p); }
};
using TInOutPtr = std::unique_ptr<AVFilterInOut, TInOutDeleter>;

TInOutPtr InOut(const char* name, AVFilterContext* filter) {
    TInOutPtr io(ff::avfilter_inout_alloc());
    if (!io)
        return io;
    io->name = ff::av_strdup(name);
    io->filter_ctx = filter;
    io->pad_idx = 0;
    io->next = nullptr;
    if (io->name == nullptr)
        io.reset();
    return io;
}

} // namespace

int TCustomFFmpeg::ConfigureFilters(EngineInputStream& ist, EngineOutputStream& ost, int chainWidth,
                                    int chainHeight) {
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    auto fail = [this](const std::string& what, int code) {
        LastError = FormatErrorMessage(what, code);
        return code;
    };

    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    if (!graph)
        return fail("avfilter_graph_alloc", AVERROR(ENOMEM));
    const AVRational sar =
        dec->sample_aspect_ratio.num > 0 ? dec->sample_aspect_ratio : AVRational{1, 1};
    const std::string sourceArgs =
        FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", dec->width,
                   dec->height, static_cast<int>(dec->pix_fmt), AV_TIME_BASE, sar.num, sar.den);
    AVFilterContext* source = nullptr;
    int ret = ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "src",
                                               sourceArgs.c_str(), nullptr, graph.get());
    if (ret < 0)
        return fail("buffer", ret);
    AVFilterContext* sink = nullptr;
    ret = CreateVideoSink(graph.get(), "out", &enc->pix_fmt, &sink);
    if (ret < 0)
        return fail("buffersink", ret);

    const bool rebuilt = chainWidth > 0 && chainHeight > 0;
    const int width = rebuilt ? chainWidth : enc->width;
    const int height = rebuilt ? chainHeight : enc->height;
    const int flags = TaskScalerFlags(*this);
    AVFilterContext* last = source;
    if (dec->width != width || dec->height != height) {
        const std::string scaleArgs =
            FormatText("%d:%d:flags=0x%X", width, height, static_cast<unsigned>(flags));
        AVFilterContext* scale = nullptr;
        ret = ff::avfilter_graph_create_filter(&scale, ff::avfilter_get_by_name("scale"), "scale",
                                               scaleArgs.c_str(), nullptr, graph.get());
        if (ret >= 0)
            ret = ff::avfilter_link(last, 0, scale, 0);
        if (ret < 0)
            return fail("scale", ret);
        last = scale;
    }
    graph->scale_sws_opts =
        ff::av_strdup(FormatText("flags=0x%X", static_cast<unsigned>(flags)).c_str());

    if (!VideoFilters.empty()) {
        TInOutPtr outputs = InOut("in", last);
        TInOutPtr inputs = InOut("out", sink);
        if (!outputs || !inputs)
            return fail(VideoFilters, AVERROR(ENOMEM));
        AVFilterInOut* in = inputs.release();
        AVFilterInOut* out = outputs.release();
        ret = ff::avfilter_graph_parse_ptr(graph.get(), VideoFilters.c_str(), &in, &out, nullptr);
        inputs.reset(in);
        outputs.reset(out);
        if (ret < 0)
            return fail(VideoFilters, ret);
    } else if ((ret = ff::avfilter_link(last, 0, sink, 0)) < 0) {
        return fail("buffersink", ret);
    }
    ret = ff::avfilter_graph_config(graph.get(), nullptr);
    if (ret < 0)
        return fail(VideoFilters.empty() ? std::string("avfilter_graph_config") : VideoFilters,
                    ret);

    if (rebuilt && (ff::av_buffersink_get_w(sink) != enc->width ||
                    ff::av_buffersink_get_h(sink) != enc->height)) {
        LastError = FormatText("Input Stream #%d.%d changed its picture size; the filter chain "
                               "cannot follow",
                               ist.fileIndex, ist.streamIndex);
        return AVERROR(EINVAL);
    }
    enc->width = ff::av_buffersink_get_w(sink);
    enc->height = ff::av_buffersink_get_h(sink);
    ist.inputVideoFilter = source;
    ist.outputVideoFilter = sink;
    // Another stream's chain (join mode: one per input) stays alive for the run.
    if (FilterGraph) {
        if (!VideoWork)
            VideoWork = std::make_shared<TVideoTaskWork>();
        VideoWork->graphs.push_back(std::move(FilterGraph));
    }
    FilterGraph = std::move(graph);
    return 0;
}

void TCustomFFmpeg::FollowPictureGeometry(EngineInputStream& ist, EngineOutputStream& ost,
                                          const AVFrame& picture,
                                          const std::function<void(AVFrame*)>& each) {
    if (ist.inputVideoFilter == nullptr || ist.inputVideoFilter->nb_outputs == 0)
        return;
    const AVFilterLink* link = ist.inputVideoFilter->outputs[0];
    if (picture.width == link->w && picture.height == link->h && picture.format == link->format)
        return;
    // The size the chain's own scaler brings pictures to before the "vf" filters: the
    // chain's input size when it has none.
    int chainWidth = link->w;
    int chainHeight = link->h;
    const AVFilterContext* next = link->dst;
    if (next != nullptr && next->name != nullptr && std::strcmp(next->name, "scale") == 0 &&
        next->nb_outputs > 0) {
        chainWidth = next->outputs[0]->w;
        chainHeight = next->outputs[0]->h;
    }
    FilterVideo(ist, nullptr, each);
    LastError.clear();
    if (ConfigureFilters(ist, ost, chainWidth, chainHeight) < 0)
        throw FFmpegException(LastError.empty() ? std::string("Error opening filters!")
                                                : "Error opening filters: " + LastError);
}

void TCustomFFmpeg::FilterVideo(EngineInputStream& ist, AVFrame* picture,
                                const std::function<void(AVFrame*)>& each) {
    if (ist.inputVideoFilter == nullptr || ist.outputVideoFilter == nullptr) {
        if (picture != nullptr)
            each(picture);
        return;
    }
    if (picture != nullptr) {
        picture->pts = ist.pts;
        picture->sample_aspect_ratio = ist.decoder->sample_aspect_ratio;
    }
    int ret =
        ff::av_buffersrc_add_frame_flags(ist.inputVideoFilter, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (ret < 0)
        throw FFmpegException(FormatErrorMessage("Error while feeding the filter chain", ret));
    if (!VideoWork)
        VideoWork = std::make_shared<TVideoTaskWork>();
    TFramePtr& owned = VideoWork->filtered;
    if (!owned) {
        owned.reset(ff::av_frame_alloc());
        if (!owned)
            throw FFmpegException("av_mallocz fail");
    }
    AVFrame* filtered = owned.get();
    ist.filteredPicture = filtered; // owned by the task's video work
    AVRational timeBase{1, AV_TIME_BASE};
    while ((ret = GetFilteredVideoFrame(ist.outputVideoFilter, filtered, &timeBase)) == 1) {
        if (filtered->pts != AV_NOPTS_VALUE)
            ist.pts = ff::av_rescale_q(filtered->pts, timeBase, AVRational{1, AV_TIME_BASE});
        each(filtered);
        ff::av_frame_unref(filtered);
    }
    ff::av_frame_unref(filtered);
    if (ret != -2 && ret != AVERROR_EOF)
        throw FFmpegException(FormatErrorMessage("Error while filtering", ret));
}
