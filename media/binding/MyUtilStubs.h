// Function table of the C runtime, bound at run time like a media library: the file and
// formatting functions the engine and the logger use.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Binding.h"

// X: required name, O: optional name (callers test the pointer).
#define CRUNTIME_FUNCTIONS(X, O)                                                                   \
    X(fclose)                                                                                      \
    X(fopen)                                                                                       \
    X(fprintf)                                                                                     \
    X(fread)                                                                                       \
    X(fseek)                                                                                       \
    X(ftell)                                                                                       \
    X(fwrite)                                                                                      \
    X(snprintf)                                                                                    \
    X(strtod)                                                                                      \
    X(strtok)                                                                                      \
    X(strtol)                                                                                      \
    X(vsprintf)                                                                                    \
    X(vsnprintf)

FF_DECLARE_BINDING(CRUNTIME_FUNCTIONS, BindCRuntime, UnbindCRuntime)
