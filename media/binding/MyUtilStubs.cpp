#include "MyUtilStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(CRUNTIME_FUNCTIONS, BindCRuntime, UnbindCRuntime)
