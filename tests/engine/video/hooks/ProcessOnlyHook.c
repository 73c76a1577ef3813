/* A frame hook with Process only: usable without arguments. */
#include "video/FrameHookApi.h"

void Process(void* ctx, TFrameHookPicture* picture, int64_t pts) {
    (void)ctx;
    (void)picture;
    (void)pts;
}
