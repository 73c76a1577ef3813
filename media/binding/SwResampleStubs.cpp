#include "SwResampleStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(SWRESAMPLE_FUNCTIONS, BindSwResample, UnbindSwResample)
