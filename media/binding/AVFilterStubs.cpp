#include "AVFilterStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(AVFILTER_FUNCTIONS, BindAVFilter, UnbindAVFilter)
