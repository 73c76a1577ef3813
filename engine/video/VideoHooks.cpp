// The video hooks and the preview: a picture goes to the application as a bitmap through
// the task's bitmap converters, and an updated bitmap comes back into the picture.
#include <exception>

#include "FFmpeg.h"
#include "log/FFLog.h"
#include "video/Video.h"

namespace {

bool SamePlanes(const TPicture& a, const TPicture& b) {
    return a.Data[0] == b.Data[0] && a.LineSize[0] == b.LineSize[0];
}

} // namespace

bool TCustomFFmpeg::RunVideoHook(const TTaskVideoHookEvent& hook, TFormatConverter& converter,
                                 AVFrame* picture, int64_t pts, int frameNumber, bool& enabled) {
    TCustomFFmpeg& task = *this;
    const TPicture planes = PictureOf(picture);
    const auto format = static_cast<AVPixelFormat>(picture->format);
    if (!converter.ToRGB(planes, format, picture->width, picture->height, true)) {
        FFLogger()->Log(&task, llError, converter.LastConvertError());
        enabled = false;
        return false;
    }
    bool update = true;
    bool stopHook = false;
    try {
        hook(&task, &converter.Bitmap(), pts, frameNumber, update, stopHook);
    } catch (const std::exception& e) {
        FFLogger()->Log(&task, llError, std::string("Error occurs VideoHook event: ") + e.what());
        update = false;
    } catch (...) {
        FFLogger()->Log(&task, llError, "Error occurs VideoHook event: unknown exception");
        update = false;
    }
    if (update) {
        converter.CopyFromBitmap();
        // A picture adopted in the bitmap's layout already holds the rows copied back.
        const TPicture* current = converter.CurrentPicture();
        if (current != nullptr && !SamePlanes(*current, planes) &&
            !converter.FromRGB(planes, format, picture->width, picture->height)) {
            FFLogger()->Log(&task, llError, converter.LastConvertError());
            enabled = false;
        }
    }
    if (stopHook)
        enabled = false;
    return true;
}

AVFrame* TCustomFFmpeg::OutputHookAndPreview(AVFrame* picture, int64_t pts, int frameNumber) {
    TCustomFFmpeg& task = *this;
    TVideoTaskWork& work = *VideoWork;
    bool hooked = false;
    if (task.OnVideoOutputHook && work.outputHookOn) {
        if (!EnsurePicture(work.outputPicture, picture->width, picture->height,
                           static_cast<AVPixelFormat>(picture->format)) ||
            ff::av_frame_copy(work.outputPicture.get(), picture) < 0) {
            FFLogger()->Log(&task, llError, "hook buf malloc error.");
        } else {
            ff::av_frame_copy_props(work.outputPicture.get(), picture);
            picture = work.outputPicture.get();
            hooked = RunVideoHook(task.OnVideoOutputHook, task.HookConverter, picture, pts,
                                  frameNumber, work.outputHookOn);
        }
    }
    // Preview reads the flags, which the main thread changes, under PreviewLock.
    Preview(picture, pts, frameNumber, hooked);
    return picture;
}

// The lock is held while the flags are read and the bitmap is made, not while the bitmap is
// delivered: the encoder component may deliver it on the main thread, which takes the same
// lock to change the flags (lock order: PreviewLock alone, never around a main-thread wait).
void TCustomFFmpeg::Preview(AVFrame* picture, int64_t pts, int frameNumber, bool hooked) {
    TCustomFFmpeg& task = *this;
    TVideoTaskWork& work = *VideoWork;
    TBitmap* bitmap = nullptr;
    bool toEvent = false;
    {
        std::lock_guard guard(PreviewLock);
        const uint8_t flags = task.PreviewFlags;
        toEvent = (flags & 2) != 0 && task.OnPreviewBitmap && work.previewBitmapOn;
        const bool toWindow = !toEvent && (flags & 1) != 0 && work.previewWindowOn;
        if (!toEvent && !toWindow)
            return;
        const int64_t now = ff::av_gettime();
        if (task.LastPreviewTime != 0 && now - task.LastPreviewTime < task.PreviewInterval)
            return;
        task.LastPreviewTime = now;
        if (hooked && !task.PreviewFlagsChanged) {
            bitmap = &task.HookConverter.Bitmap();
        } else if (task.PreviewConverter.ToRGB(PictureOf(picture),
                                               static_cast<AVPixelFormat>(picture->format),
                                               picture->width, picture->height, true)) {
            bitmap = &task.PreviewConverter.Bitmap();
        } else {
            FFLogger()->Log(&task, llError, task.PreviewConverter.LastConvertError());
            (toEvent ? work.previewBitmapOn : work.previewWindowOn) = false;
            return;
        }
        task.PreviewFlagsChanged = false;
        // This platform has no preview window of the engine: the window kind ends here.
        if (!toEvent)
            return;
    }
    task.OnPreviewBitmap(&task, bitmap, pts, frameNumber);
}
