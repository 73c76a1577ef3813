// Function table of libavfilter: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVFILTER_FUNCTIONS(X, O)                                                                   \
    X(avfilter_graph_free)                                                                         \
    X(avfilter_graph_alloc)                                                                        \
    X(avfilter_get_by_name)                                                                        \
    X(avfilter_graph_create_filter)                                                                \
    X(avfilter_link)                                                                               \
    X(avfilter_graph_config)                                                                       \
    X(av_buffersrc_add_frame_flags)                                                                \
    X(av_buffersink_get_frame)                                                                     \
    X(avfilter_version)                                                                            \
    X(avfilter_graph_alloc_filter)                                                                 \
    X(avfilter_init_str)                                                                           \
    X(avfilter_graph_parse_ptr)                                                                    \
    X(avfilter_inout_alloc)                                                                        \
    X(avfilter_inout_free)                                                                         \
    X(av_buffersink_get_time_base)                                                                 \
    X(av_buffersink_get_w)                                                                         \
    X(av_buffersink_get_h)

FF_DECLARE_BINDING(AVFILTER_FUNCTIONS, BindAVFilter, UnbindAVFilter)
