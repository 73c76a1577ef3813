// The video encode parameters of a run's set-up, and the small helpers of the video path.
#include "FFmpeg.h"
#include "TextUtils.h"
#include "options/OptionContext.h"
#include "video/Video.h"

TVideoStreamWork& VideoStreamWork(EngineOutputStream& ost) {
    if (!ost.videoWork)
        ost.videoWork = std::make_shared<TVideoStreamWork>();
    return *ost.videoWork;
}

bool EnsurePicture(TFramePtr& frame, int width, int height, AVPixelFormat format) {
    if (!frame) {
        frame.reset(ff::av_frame_alloc());
        if (!frame)
            return false;
    }
    AVFrame* f = frame.get();
    // A buffer the encoder still holds is left to it; the picture is written anew anyway, so
    // a fresh buffer needs no copy of the old one.
    if (f->data[0] != nullptr && f->width == width && f->height == height && f->format == format &&
        ff::av_frame_is_writable(f))
        return true;
    ff::av_frame_unref(f);
    f->width = width;
    f->height = height;
    f->format = format;
    return ff::av_frame_get_buffer(f, 0) >= 0;
}

int TaskScalerFlags(const TCustomFFmpeg& task) {
    if (task.OptionContext && task.OptionContext->ScalerContext) {
        int64_t flags = 0;
        if (ff::av_opt_get_int(task.OptionContext->ScalerContext.get(), "sws_flags", 0, &flags) >=
            0)
            return static_cast<int>(flags);
    }
    return task.SwsFlags;
}

void TCustomFFmpeg::InitVideoOutput(EngineOutputStream& ost, EngineInputStream& ist) {
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
    if (!VideoWork)
        VideoWork = std::make_shared<TVideoTaskWork>();

    ost.videoResample =
        enc->width != dec->width || enc->height != dec->height || enc->pix_fmt != dec->pix_fmt;
    if (ost.videoResample) {
        if (!VideoFiltersInUse) {
            TVideoStreamWork& work = VideoStreamWork(ost);
            if (!EnsurePicture(work.scaled, enc->width, enc->height, enc->pix_fmt))
                throw FFmpegException("Cannot allocate temp picture, check pix fmt");
            ost.scaler.reset(ff::sws_getContext(dec->width, dec->height, dec->pix_fmt, enc->width,
                                                enc->height, enc->pix_fmt, TaskScalerFlags(*this),
                                                nullptr, nullptr, nullptr));
            if (!ost.scaler)
                throw FFmpegException("Cannot get resampling context");
            ost.originalHeight = dec->height;
            ost.originalWidth = dec->width;
        }
        enc->bits_per_raw_sample = 0;
    }
    ost.resampleHeight = dec->height;
    ost.resampleWidth = dec->width;
    ost.resamplePixFmt = dec->pix_fmt;
    ost.encodingNeeded = 1;
    ist.decodingNeeded = 1;
    LastError.clear();
    if (VideoFiltersInUse && ConfigureFilters(ist, ost) < 0)
        throw FFmpegException(LastError.empty() ? std::string("Error opening filters!")
                                                : "Error opening filters: " + LastError);
}
