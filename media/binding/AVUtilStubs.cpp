#include "AVUtilStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(AVUTIL_FUNCTIONS, BindAVUtil, UnbindAVUtil)
