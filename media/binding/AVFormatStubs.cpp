#include "AVFormatStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(AVFORMAT_FUNCTIONS, BindAVFormat, UnbindAVFormat)
