// Function table of libavfilter: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavfilter/avfilter.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVFILTER_FUNCTIONS(X, O) \
    X(avfilter_graph_free) \
    X(avfilter_version)

FF_DECLARE_BINDING(AVFILTER_FUNCTIONS, BindAVFilter, UnbindAVFilter)
