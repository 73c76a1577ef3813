#include "VideoSink.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"

int CreateVideoSink(AVFilterGraph* graph, const char* name, const AVPixelFormat* pixFmt,
                    AVFilterContext** sink) {
    *sink = nullptr;
    if (pixFmt == nullptr)
        return AVERROR(EINVAL);
    const AVFilter* filter = ff::avfilter_get_by_name("buffersink");
    if (filter == nullptr)
        return AVERROR_FILTER_NOT_FOUND;
    AVFilterContext* ctx = ff::avfilter_graph_alloc_filter(graph, filter, name);
    if (ctx == nullptr)
        return AVERROR(ENOMEM);
    // The list option takes the formats as raw bytes, without its terminator.
    int ret = ff::av_opt_set_bin(ctx, "pix_fmts", reinterpret_cast<const uint8_t*>(pixFmt),
                                 sizeof(*pixFmt), AV_OPT_SEARCH_CHILDREN);
    if (ret >= 0)
        ret = ff::avfilter_init_str(ctx, nullptr);
    if (ret < 0)
        return ret; // the graph frees the filter with itself
    *sink = ctx;
    return 0;
}

int GetFilteredVideoFrame(AVFilterContext* sink, AVFrame* frame, AVRational* timeBase) {
    const int ret = ff::av_buffersink_get_frame(sink, frame);
    if (ret == AVERROR(EAGAIN))
        return -2;
    if (ret < 0)
        return ret;
    if (timeBase != nullptr)
        *timeBase = ff::av_buffersink_get_time_base(sink);
    return 1;
}
