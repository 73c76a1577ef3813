// Function table of libavformat: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVFORMAT_FUNCTIONS(X, O)                                                                   \
    X(avformat_alloc_output_context2) \
    X(av_muxer_iterate) \
    X(avformat_version)                                                                            \
    X(avformat_alloc_context)                                                                      \
    X(avformat_free_context)                                                                       \
    X(avformat_open_input)                                                                         \
    X(avformat_close_input)                                                                        \
    X(avformat_find_stream_info)                                                                   \
    X(avio_open2)                                                                                  \
    X(avio_alloc_context)                                                                          \
    X(avio_context_free)                                                                           \
    X(avio_flush)                                                                                  \
    X(avio_read)                                                                                   \
    X(avio_write)                                                                                  \
    X(avio_seek)                                                                                   \
    X(avio_size)                                                                                   \
    X(avio_closep)

FF_DECLARE_BINDING(AVFORMAT_FUNCTIONS, BindAVFormat, UnbindAVFormat)
