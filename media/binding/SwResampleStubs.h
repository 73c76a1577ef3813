// Function table of libswresample: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libswresample/swresample.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define SWRESAMPLE_FUNCTIONS(X, O)                                                                 \
    X(swr_close)                                                                                   \
    X(swr_is_initialized)                                                                          \
    X(swr_alloc)                                                                                   \
    X(swr_get_out_samples)                                                                         \
    X(swr_get_delay)                                                                               \
    X(swr_set_compensation)                                                                        \
    X(swr_convert)                                                                                 \
    X(swr_init)                                                                                    \
    X(swr_alloc_set_opts2)                                                                         \
    X(swr_set_matrix)                                                                              \
    X(swr_free)                                                                                    \
    X(swresample_version)

FF_DECLARE_BINDING(SWRESAMPLE_FUNCTIONS, BindSwResample, UnbindSwResample)
