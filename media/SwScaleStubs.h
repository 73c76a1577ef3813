// Function table of libswscale: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libswscale/swscale.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define SWSCALE_FUNCTIONS(X, O) X(swscale_version)

FF_DECLARE_BINDING(SWSCALE_FUNCTIONS, BindSwScale, UnbindSwScale)
