#include "Deinterlace.h"

#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"

// How a picture is made its own neighbours. "yadif" keeps the previous, the current and the
// next picture, and gives out the current one when the next arrives. Each picture is pushed
// three times: the copy that is filtered (the second) then has a copy before and after it,
// exactly what the filter sees for a lone picture at the end of its stream. With "deint=
// interlaced" the filter passes pictures not flagged interlaced through untouched (a
// reference, no work), so only the second copy, flagged interlaced, is filtered; its field
// order is the one "parity=auto" takes for the picture itself (its own for an interlaced
// picture, top field first otherwise). The mode is "send_frame": one picture out per
// picture in.

bool TDeinterlacer::Fits(const AVFrame* picture) const {
    return graph_ && picture->width == width_ && picture->height == height_ &&
           picture->format == format_;
}

bool TDeinterlacer::Build(const AVFrame* picture, bool& allocFailed) {
    graph_.reset(ff::avfilter_graph_alloc());
    if (!graph_) {
        allocFailed = true;
        return false;
    }
    ++graphsBuilt_;
    const AVRational sar =
        picture->sample_aspect_ratio.den != 0 ? picture->sample_aspect_ratio : AVRational{0, 1};
    char args[160];
    std::snprintf(args, sizeof args,
                  "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=%d/%d", picture->width,
                  picture->height, picture->format, sar.num, sar.den);
    AVFilterContext* yadif = nullptr;
    if (ff::avfilter_graph_create_filter(&source_, ff::avfilter_get_by_name("buffer"), "in", args,
                                         nullptr, graph_.get()) < 0 ||
        ff::avfilter_graph_create_filter(&yadif, ff::avfilter_get_by_name("yadif"), "deinterlace",
                                         "mode=send_frame:parity=auto:deint=interlaced", nullptr,
                                         graph_.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink_, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph_.get()) < 0 ||
        ff::avfilter_link(source_, 0, yadif, 0) < 0 || ff::avfilter_link(yadif, 0, sink_, 0) < 0 ||
        ff::avfilter_graph_config(graph_.get(), nullptr) < 0) {
        graph_.reset();
        return false;
    }
    width_ = picture->width;
    height_ = picture->height;
    format_ = picture->format;
    nextPts_ = 0;
    return true;
}

bool TDeinterlacer::Push(const AVFrame* picture, bool filtered, bool& allocFailed) {
    if (ff::av_frame_ref(in_.get(), picture) < 0) {
        allocFailed = true;
        return false;
    }
    in_->pts = nextPts_++;
    if (filtered) {
        in_->top_field_first = picture->interlaced_frame ? picture->top_field_first : 1;
        in_->interlaced_frame = 1;
    } else {
        in_->interlaced_frame = 0;
    }
    const int ret = ff::av_buffersrc_add_frame_flags(source_, in_.get(), 0);
    ff::av_frame_unref(in_.get());
    if (ret == AVERROR(ENOMEM))
        allocFailed = true;
    return ret >= 0;
}

// Takes every picture the filter gave out; the last one stays in out_.
bool TDeinterlacer::TakeLast(bool& allocFailed) {
    bool any = false;
    for (;;) {
        const int ret = ff::av_buffersink_get_frame(sink_, taken_.get());
        if (ret == AVERROR(EAGAIN))
            return any;
        if (ret < 0) {
            allocFailed = ret == AVERROR(ENOMEM);
            return false;
        }
        ff::av_frame_unref(out_.get());
        std::swap(out_, taken_);
        any = true;
    }
}

const AVFrame* TDeinterlacer::Deinterlace(const AVFrame* picture, bool& allocFailed) {
    allocFailed = false;
    if (!in_)
        in_.reset(ff::av_frame_alloc());
    if (!out_)
        out_.reset(ff::av_frame_alloc());
    if (!taken_)
        taken_.reset(ff::av_frame_alloc());
    if (!in_ || !out_ || !taken_) {
        allocFailed = true;
        return nullptr;
    }
    ff::av_frame_unref(out_.get());
    if (!Fits(picture) && !Build(picture, allocFailed))
        return nullptr;
    if (!Push(picture, false, allocFailed) || !Push(picture, true, allocFailed) ||
        !Push(picture, false, allocFailed) || !TakeLast(allocFailed)) {
        graph_.reset();
        return nullptr;
    }
    // The filter gave the picture's own properties but the times of its pushed copies.
    out_->pts = picture->pts;
    out_->pkt_dts = picture->pkt_dts;
    out_->best_effort_timestamp = picture->best_effort_timestamp;
    out_->interlaced_frame = 0;
    return out_.get();
}

TDeinterlacedFrame DeinterlacedPicture(const AVFrame* picture, bool& allocFailed) {
    TDeinterlacer deinterlacer;
    const AVFrame* done = deinterlacer.Deinterlace(picture, allocFailed);
    if (done == nullptr)
        return nullptr;
    TDeinterlacedFrame copy(ff::av_frame_clone(done));
    if (!copy)
        allocFailed = true;
    return copy;
}
