// Function table of libavutil: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVUTIL_FUNCTIONS(X, O)                                                                     \
    X(avutil_version)                                                                              \
    X(av_log)                                                                                      \
    X(av_log_set_callback)                                                                         \
    X(av_log_set_level)                                                                            \
    X(av_log_get_level)                                                                            \
    X(av_log_default_callback)                                                                     \
    X(av_strerror)                                                                                 \
    X(av_gettime)                                                                                  \
    X(av_free)                                                                                     \
    X(av_freep)                                                                                    \
    X(av_malloc)                                                                                   \
    X(av_mallocz)                                                                                  \
    X(av_strdup)

FF_DECLARE_BINDING(AVUTIL_FUNCTIONS, BindAVUtil, UnbindAVUtil)
