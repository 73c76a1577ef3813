// Function table of libavformat: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVFORMAT_FUNCTIONS(X, O)                                                                   \
    X(avformat_version)                                                                            \
    X(avformat_alloc_context)                                                                      \
    X(avformat_free_context)                                                                       \
    X(avformat_open_input)                                                                         \
    X(avformat_close_input)                                                                        \
    X(avformat_find_stream_info)                                                                   \
    X(avio_open2)                                                                                  \
    X(avio_closep)

FF_DECLARE_BINDING(AVFORMAT_FUNCTIONS, BindAVFormat, UnbindAVFormat)
