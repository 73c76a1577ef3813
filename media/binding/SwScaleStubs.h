// Function table of libswscale: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libswscale/swscale.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define SWSCALE_FUNCTIONS(X, O)                                                                    \
    X(sws_getContext)                                                                              \
    X(swscale_version)                                                                             \
    X(sws_getCachedContext)                                                                        \
    X(sws_isSupportedInput)                                                                        \
    X(sws_isSupportedOutput)                                                                       \
    X(sws_scale)                                                                                   \
    X(sws_freeContext)

FF_DECLARE_BINDING(SWSCALE_FUNCTIONS, BindSwScale, UnbindSwScale)
