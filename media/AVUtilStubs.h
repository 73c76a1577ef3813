// Function table of libavutil: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavutil/samplefmt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/parseutils.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVUTIL_FUNCTIONS(X, O)                                                                     \
    X(av_dict_count) \
    X(av_opt_find) \
    X(av_opt_set) \
    X(av_opt_get) \
    X(av_opt_get_int) \
    X(av_dict_set) \
    X(av_dict_free) \
    X(av_parse_time) \
    X(av_parse_video_rate) \
    X(av_parse_video_size) \
    X(av_get_pix_fmt) \
    X(av_get_sample_fmt) \
    X(av_get_pix_fmt_string) \
    X(av_get_sample_fmt_string) \
    X(av_dict_get) \
    X(av_image_get_buffer_size) \
    X(av_image_fill_arrays) \
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
