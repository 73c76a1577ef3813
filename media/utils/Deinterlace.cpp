#include "Deinterlace.h"

#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"

namespace {

struct TGraphFree {
    void operator()(AVFilterGraph* graph) const { ff::avfilter_graph_free(&graph); }
};

} // namespace

void TDeinterlacedFrameFree::operator()(AVFrame* frame) const {
    ff::av_frame_free(&frame);
}

TDeinterlacedFrame DeinterlacedPicture(const AVFrame* picture, bool& allocFailed) {
    allocFailed = false;
    std::unique_ptr<AVFilterGraph, TGraphFree> graph(ff::avfilter_graph_alloc());
    TDeinterlacedFrame out(ff::av_frame_alloc());
    TDeinterlacedFrame in(ff::av_frame_alloc());
    if (!graph || !out || !in) {
        allocFailed = true;
        return nullptr;
    }
    const AVRational sar =
        picture->sample_aspect_ratio.den != 0 ? picture->sample_aspect_ratio : AVRational{0, 1};
    char args[160];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=%d/%d", picture->width,
                  picture->height, picture->format, sar.num, sar.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* yadif = nullptr;
    AVFilterContext* sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "in", args,
                                         nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&yadif, ff::avfilter_get_by_name("yadif"), "deinterlace",
                                         "mode=send_frame:parity=auto:deint=all", nullptr,
                                         graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0 ||
        ff::avfilter_link(source, 0, yadif, 0) < 0 || ff::avfilter_link(yadif, 0, sink, 0) < 0 ||
        ff::avfilter_graph_config(graph.get(), nullptr) < 0)
        return nullptr;
    // One picture, then the end: the filter gives that picture out deinterlaced.
    if (ff::av_frame_ref(in.get(), picture) < 0) {
        allocFailed = true;
        return nullptr;
    }
    in->pts = 0;
    if (ff::av_buffersrc_add_frame_flags(source, in.get(), 0) < 0 ||
        ff::av_buffersrc_add_frame_flags(source, nullptr, 0) < 0 ||
        ff::av_buffersink_get_frame(sink, out.get()) < 0)
        return nullptr;
    return out;
}
