// What the deinterlacing tests compare with: a picture through a "yadif" graph of its own,
// then the end of the stream (how one picture is deinterlaced on its own), and the helpers
// that move pictures in and out of plain bytes. Needs the libraries loaded.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"

namespace testmedia {

struct TTestFrameFree {
    void operator()(AVFrame* f) const { ff::av_frame_free(&f); }
};
using TTestFrame = std::unique_ptr<AVFrame, TTestFrameFree>;

// The picture's bytes, plane after plane, without row padding.
inline std::vector<uint8_t> PictureBytes(const AVFrame* f) {
    const auto format = static_cast<AVPixelFormat>(f->format);
    std::vector<uint8_t> out(ff::av_image_get_buffer_size(format, f->width, f->height, 1));
    uint8_t* data[4];
    int linesize[4];
    ff::av_image_fill_arrays(data, linesize, out.data(), format, f->width, f->height, 1);
    ff::av_image_copy(data, linesize, const_cast<const uint8_t**>(f->data), f->linesize, format,
                      f->width, f->height);
    return out;
}

// A picture made of `bytes` laid out as PictureBytes gives them.
inline TTestFrame PictureFromBytes(const uint8_t* bytes, int width, int height,
                                   AVPixelFormat format) {
    TTestFrame f(ff::av_frame_alloc());
    f->width = width;
    f->height = height;
    f->format = format;
    if (ff::av_frame_get_buffer(f.get(), 0) < 0)
        return nullptr;
    const uint8_t* data[4];
    int linesize[4];
    ff::av_image_fill_arrays(const_cast<uint8_t**>(data), linesize, bytes, format, width, height,
                             1);
    ff::av_image_copy(f->data, f->linesize, data, linesize, format, width, height);
    return f;
}

// The picture deinterlaced by a graph of its own that sees it and then the end of the stream.
inline TTestFrame ReferenceDeinterlaced(const AVFrame* picture) {
    struct TGraphFree {
        void operator()(AVFilterGraph* g) const { ff::avfilter_graph_free(&g); }
    };
    std::unique_ptr<AVFilterGraph, TGraphFree> graph(ff::avfilter_graph_alloc());
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1",
                  picture->width, picture->height, picture->format);
    AVFilterContext *source = nullptr, *yadif = nullptr, *sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "in", args,
                                         nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&yadif, ff::avfilter_get_by_name("yadif"), "y",
                                         "mode=send_frame:parity=auto:deint=all", nullptr,
                                         graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0 ||
        ff::avfilter_link(source, 0, yadif, 0) < 0 || ff::avfilter_link(yadif, 0, sink, 0) < 0 ||
        ff::avfilter_graph_config(graph.get(), nullptr) < 0)
        return nullptr;
    TTestFrame in(ff::av_frame_clone(picture));
    TTestFrame out(ff::av_frame_alloc());
    in->pts = 0;
    if (ff::av_buffersrc_add_frame_flags(source, in.get(), 0) < 0 ||
        ff::av_buffersrc_add_frame_flags(source, nullptr, 0) < 0 ||
        ff::av_buffersink_get_frame(sink, out.get()) < 0)
        return nullptr;
    return out;
}

} // namespace testmedia
