// The threads a codec of the run gets: the `threads` option when one was given, otherwise the
// task's available threads for the codecs whose threads leave the result unchanged.
#include "run/Run.h"

void ShareCodecThreads(AVCodecContext* ctx, const AVCodec* codec, bool encoder,
                       const TCustomFFmpeg& task, int taken) {
    if (task.ThreadCountGiven || codec == nullptr)
        return; // the context keeps the count the option set
    // Slice threads of an encoder cut its pictures into other slices, so only frame threads
    // keep an encoded stream identical to the one-thread run; a decoder's output is the same
    // with either kind.
    int kinds = 0;
    if (codec->capabilities & AV_CODEC_CAP_FRAME_THREADS)
        kinds |= FF_THREAD_FRAME;
    if (!encoder && (codec->capabilities & AV_CODEC_CAP_SLICE_THREADS))
        kinds |= FF_THREAD_SLICE;
    // An encoder with threads of its own (libx264) runs them by frames.
    if (encoder && (codec->capabilities & AV_CODEC_CAP_OTHER_THREADS))
        kinds |= FF_THREAD_FRAME;
    const int available = task.ThreadsAvailable.load() - taken;
    if (kinds == 0 || available <= 1) {
        ctx->thread_count = 1;
        return;
    }
    ctx->thread_count = available;
    ctx->thread_type = kinds;
}
