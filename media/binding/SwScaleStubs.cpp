#include "SwScaleStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(SWSCALE_FUNCTIONS, BindSwScale, UnbindSwScale)
