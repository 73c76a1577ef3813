// The task's answers to the interrupt polls made on its threads: the I/O timeout of a
// blocking open and the stop request of a running task.
#include "FFLoad.h"
#include "FFmpeg.h"
#include "MyUtils.h"
#include "binding/AVUtilStubs.h"
#include "log/FFLog.h"

namespace {

bool IOTimeoutCode(void* data, void* param) {
    return static_cast<TCustomFFmpeg*>(data)->CheckIOTimeout(param);
}

bool StopRequestCode(void* data, void* param) {
    return static_cast<TCustomFFmpeg*>(data)->CheckStopRequest(param);
}

} // namespace

bool TCustomFFmpeg::CheckIOTimeout(void* param) {
    const int timeout = IOTimeout;
    if (param != this || timeout <= 0)
        return false;
    const int64_t start = IOStartTime;
    // The limit in 64-bit arithmetic: a 32-bit product would wrap for limits above about
    // 35 minutes and time out at once.
    if (ff::av_gettime() - start <= static_cast<int64_t>(timeout) * 1000)
        return false;
    FFLogger()->Log(this, llInfo,
                    start == 0 ? "connecting/reading/writing canceled"
                               : "connecting/reading/writing timeout");
    return true;
}

bool TCustomFFmpeg::CheckStopRequest(void* param) {
    return param == this && StopRequested;
}

void TCustomFFmpeg::ArmIOWatchdog() {
    IOStartTime = INT64_MAX;
    InterruptCB->AddCallback(CurrentThreadID(), this, TInterruptMethod{IOTimeoutCode, this});
    IOStartTime = ff::av_gettime();
}

void TCustomFFmpeg::RearmIOWatchdog() {
    IOStartTime = ff::av_gettime();
}

void TCustomFFmpeg::DisarmIOWatchdog() {
    IOStartTime = INT64_MAX;
    InterruptCB->RemoveCallback(CurrentThreadID(), this, TInterruptMethod{IOTimeoutCode, this});
}

void TCustomFFmpeg::RegisterStopCheck() {
    InterruptCB->AddCallback(CurrentThreadID(), this, TInterruptMethod{StopRequestCode, this});
}

void TCustomFFmpeg::UnregisterStopCheck() {
    InterruptCB->RemoveCallback(CurrentThreadID(), this, TInterruptMethod{StopRequestCode, this});
}
