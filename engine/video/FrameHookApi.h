/* The entry points of a frame-hook library (option "vhook"). A hook library is a shared
 * library with plain C functions:
 *
 *   int  Configure(void** ctx, int argc, char* argv[]);  required when arguments are given
 *   void Process(void* ctx, TFrameHookPicture* picture, int64_t pts);  required
 *   void Release(void* ctx);  optional
 *
 * Configure receives the hook's own context slot and the words of the option value (argv[0]
 * is the library path) and returns 0 on success. Process is called for every decoded
 * picture, in the order the hooks were added; it may change the picture in place. Release is
 * called once when the task frees its hooks. */
#ifndef AUDIOCONV_FRAME_HOOK_API_H
#define AUDIOCONV_FRAME_HOOK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TFrameHookPicture {
    uint8_t* data[4];
    int linesize[4];
    int pix_fmt; /* FFmpeg's pixel format number */
    int width;
    int height;
} TFrameHookPicture;

typedef int (*TFrameHookConfigure)(void** ctx, int argc, char* argv[]);
typedef void (*TFrameHookProcess)(void* ctx, TFrameHookPicture* picture, int64_t pts);
typedef void (*TFrameHookRelease)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
