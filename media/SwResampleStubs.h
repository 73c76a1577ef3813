// Function table of libswresample: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libswresample/swresample.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define SWRESAMPLE_FUNCTIONS(X, O) X(swresample_version)

FF_DECLARE_BINDING(SWRESAMPLE_FUNCTIONS, BindSwResample, UnbindSwResample)
