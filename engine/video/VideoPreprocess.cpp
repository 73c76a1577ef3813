// Pre-processing of every decoded picture: the picture count, then, when deinterlacing, the
// input hook or frame hooks want it, a working copy of the picture (deinterlaced or copied)
// that OnVideoInputHook or the frame hooks may change; the decoder's own picture stays as it
// was.
#include <new>

#include "FFmpeg.h"
#include "log/FFLog.h"
#include "utils/Deinterlace.h"
#include "video/Video.h"

bool TCustomFFmpeg::DeinterlacePicture(EngineInputStream& ist, const AVFrame* picture,
                                       AVFrame* into) {
    if (!ist.deinterlacer) {
        ist.deinterlacer.reset(new (std::nothrow) TDeinterlacer());
        if (!ist.deinterlacer)
            return false;
    }
    bool allocFailed = false;
    const AVFrame* done = ist.deinterlacer->Deinterlace(picture, allocFailed);
    return done != nullptr && done->width == into->width && done->height == into->height &&
           done->format == into->format && ff::av_frame_copy(into, done) >= 0;
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
        filled = DeinterlacePicture(ist, picture, copy);
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
