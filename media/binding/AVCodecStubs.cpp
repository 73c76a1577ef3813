#include "AVCodecStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(AVCODEC_FUNCTIONS, BindAVCodec, UnbindAVCodec)
