// The threads a codec of the run gets: the `threads` option when one was given, otherwise the
// task's available threads for the codecs that can use them.
#include "run/Run.h"

void ShareCodecThreads(AVCodecContext* ctx, const AVCodec* codec, bool encoder,
                       const TCustomFFmpeg& task) {
    if (task.ThreadCountGiven || codec == nullptr)
        return; // the context keeps the count the option set
    // A decoder's output is the same with either kind of threads, as is an encoder's with
    // frame threads. Slice threads cut an encoder's pictures into more slices, so a video
    // stream then differs from a one-thread run's (as libx264's own threads make it differ);
    // without them mpeg4 would encode on one core. No audio encoder has slice threads.
    int kinds = 0;
    if (codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)
        kinds |= FF_THREAD_FRAME;
    if (codec->capabilities & AV_CODEC_CAP_SLICE_THREADS)
        kinds |= FF_THREAD_SLICE;
    // An encoder with threads of its own (libx264) runs them by frames.
    if (encoder && (codec->capabilities & AV_CODEC_CAP_OTHER_THREADS))
        kinds |= FF_THREAD_FRAME;
    const int available = task.ThreadsAvailable.load();
    if (kinds == 0 || available <= 1) {
        ctx->thread_count = 1;
        return;
    }
    // The counts the libraries choose by themselves on a whole machine, applied to the task's
    // share: one thread more than the cores for libavcodec's threads (with frame threads a
    // packet is always being decoded while the run waits for the oldest result), half as many
    // again for an encoder's own threads (libx264 overlaps its frames in them).
    const bool own = encoder && (codec->capabilities & AV_CODEC_CAP_OTHER_THREADS);
    ctx->thread_count = own ? available + available / 2 : available + 1;
    ctx->thread_type = kinds;
}
