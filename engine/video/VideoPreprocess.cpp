// Pre-processing of every decoded picture: the picture count, then, when deinterlacing, the
// input hook or frame hooks want it, a working copy of the picture (deinterlaced or copied)
// that OnVideoInputHook or the frame hooks may change; the decoder's own picture stays as it
// was.
#include "FFmpeg.h"
#include "TextUtils.h"
#include "log/FFLog.h"
#include "video/Video.h"

namespace {

// One picture through "buffer" -> "yadif" -> "buffersink" and the end of the stream: the
// filter gives that picture out deinterlaced on its own (no later picture is waited for).
TFramePtr Deinterlaced(const AVFrame* picture) {
    TFilterGraphPtr graph(ff::avfilter_graph_alloc());
    TFramePtr in(ff::av_frame_alloc());
    TFramePtr out(ff::av_frame_alloc());
    if (!graph || !in || !out)
        return nullptr;
    const AVRational sar =
        picture->sample_aspect_ratio.num > 0 ? picture->sample_aspect_ratio : AVRational{1, 1};
    const std::string args =
        FormatText("video_size=%dx%d:pix_fmt=%d:time_base=1/25:"
                   "pixel_aspect=%d/%d",
                   picture->width, picture->height, picture->format, sar.num, sar.den);
    AVFilterContext* source = nullptr;
    AVFilterContext* yadif = nullptr;
    AVFilterContext* sink = nullptr;
    if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "in",
                                         args.c_str(), nullptr, graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&yadif, ff::avfilter_get_by_name("yadif"), "deinterlace",
                                         "mode=send_frame:parity=auto:deint=all", nullptr,
                                         graph.get()) < 0 ||
        ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                         nullptr, nullptr, graph.get()) < 0 ||
        ff::avfilter_link(source, 0, yadif, 0) < 0 || ff::avfilter_link(yadif, 0, sink, 0) < 0 ||
        ff::avfilter_graph_config(graph.get(), nullptr) < 0)
        return nullptr;
    if (ff::av_frame_ref(in.get(), picture) < 0)
        return nullptr;
    in->pts = 0;
    if (ff::av_buffersrc_add_frame_flags(source, in.get(), 0) < 0 ||
        ff::av_buffersrc_add_frame_flags(source, nullptr, 0) < 0 ||
        ff::av_buffersink_get_frame(sink, out.get()) < 0)
        return nullptr;
    return out;
}

} // namespace

bool TCustomFFmpeg::DeinterlacePicture(const AVFrame* picture, AVFrame* into) {
    TFramePtr done = Deinterlaced(picture);
    return done && done->width == into->width && done->height == into->height &&
           done->format == into->format && ff::av_frame_copy(into, done.get()) >= 0;
}

void TCustomFFmpeg::VideoPreprocess(EngineInputStream& ist, AVFrame*& picture) {
    ++ist.pictureCount;
    if (!VideoWork)
        VideoWork = std::make_shared<TVideoTaskWork>();
    TVideoTaskWork& work = *VideoWork;
    const bool inputHook = OnVideoInputHook && work.inputHookOn;
    const bool frameHooks = !FrameHooks.Empty();
    if (!Deinterlace && !inputHook && !frameHooks)
        return;

    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (!EnsurePicture(work.hookPicture, picture->width, picture->height, format)) {
        FFLogger()->Log(this, llError, "hook buf malloc error.");
        return;
    }
    AVFrame* copy = work.hookPicture.get();
    bool filled = false;
    if (Deinterlace) {
        filled = DeinterlacePicture(picture, copy);
        if (!filled)
            FFLogger()->Log(this, llError, "Deinterlacing failed.");
    }
    if (!filled && ff::av_frame_copy(copy, picture) < 0) {
        FFLogger()->Log(this, llError, "hook buf malloc error.");
        return;
    }
    ff::av_frame_copy_props(copy, picture);
    if (Deinterlace && filled) {
        copy->interlaced_frame = 0;
    }

    if (inputHook) {
        RunVideoHook(OnVideoInputHook, HookConverter, copy, ist.pts, ist.pictureCount,
                     work.inputHookOn);
    } else if (frameHooks) {
        TFrameHookPicture hookPicture{};
        for (int i = 0; i < 4; ++i) {
            hookPicture.data[i] = copy->data[i];
            hookPicture.linesize[i] = copy->linesize[i];
        }
        hookPicture.pix_fmt = copy->format;
        hookPicture.width = copy->width;
        hookPicture.height = copy->height;
        FrameHooks.Process(hookPicture, ist.pts);
    }
    picture = copy;
}
