// The clean-up of a run: runs once, after the end of the run or when any step failed, and
// leaves no codec open, no registry entry and no record of the run behind.
#include <mutex>

#include "CodecLock.h"
#include "FFLoad.h"
#include "MyUtils.h"
#include "run/Run.h"

void TTranscodeRun::Cleanup() {
    if (cleanedUp_)
        return;
    cleanedUp_ = true;
    StopEncodeThreads();

    task_.FilterGraph.reset();
    task_.VideoWork.reset();
    noPacket_.clear();
    {
        std::lock_guard registry(CodecRegistryLock);
        TCodecLock codecLock;
        for (EngineInputStream* ist : task_.OpenDecoders)
            ist->decoder.reset();
        task_.OpenDecoders.clear();
    }
    {
        std::lock_guard registry(CodecRegistryLock);
        TCodecLock codecLock;
        for (EngineOutputStream* ost : task_.OpenEncoders) {
            if (ost->encoder)
                ff::av_freep(&ost->encoder->stats_in);
            ost->encoder.reset();
        }
        task_.OpenEncoders.clear();
    }

    files_.clear();
    fedBy_.clear();
    task_.InputStreams.clear();

    for (const auto& group : task_.OutputStreams) {
        for (const auto& ost : group) {
            if (!ost)
                continue;
            if (ost->passLogFile != nullptr) {
                std::fclose(ost->passLogFile);
                ost->passLogFile = nullptr;
            }
        }
    }
    for (auto& group : task_.OutputStreams)
        group.clear();
    ostTable_.clear();
    pristineEncoders_.clear();
    packet_.reset();
    copyPacket_.reset();
    frame_.reset();

    UnregisterReadStopCheck();
}

// The interrupt check of the run's thread: the stop request ends a blocking read.
bool TTranscodeRun::ReadStopCheck(void* data, void* param) {
    auto* run = static_cast<TTranscodeRun*>(data);
    return run->reading_ && run->task_.CheckStopRequest(param);
}

void TTranscodeRun::RegisterReadStopCheck() {
    InterruptCB->AddCallback(CurrentThreadID(), &task_, TInterruptMethod{&ReadStopCheck, this});
    readStopCheck_ = true;
}

void TTranscodeRun::UnregisterReadStopCheck() {
    if (!readStopCheck_)
        return;
    InterruptCB->RemoveCallback(CurrentThreadID(), &task_, TInterruptMethod{&ReadStopCheck, this});
    readStopCheck_ = false;
}
