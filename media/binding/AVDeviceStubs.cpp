#include "AVDeviceStubs.h"

#include "MyUtils.h"

FF_DEFINE_BINDING(AVDEVICE_FUNCTIONS, BindAVDevice, UnbindAVDevice)
