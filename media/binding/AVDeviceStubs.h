// Function table of libavdevice: every name the program calls, bound at run time.
#pragma once

extern "C" {
#include <libavdevice/avdevice.h>
}

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define AVDEVICE_FUNCTIONS(X, O) X(avdevice_version)

FF_DECLARE_BINDING(AVDEVICE_FUNCTIONS, BindAVDevice, UnbindAVDevice)
