// Looped inputs ("loop_input"): at its end the input is read again from its start, and its
// packets' times go on from the end of the pass before, so that the outputs see one longer
// input. The recording time ("t"), the frame limits or a stop end the run as usual.
#include <algorithm>

#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/FFUtils.h"

bool TTranscodeRun::LoopFromStart(int file) {
    EngineInputFile& input = *task_.InputFiles[file];
    InputFileState& state = files_[file];
    // A pass without a packet would loop for ever.
    if (!input.Loop || state.packetsThisPass == 0)
        return false;
    AVFormatContext* ic = input.Container.get();
    const int64_t start = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;

    // Where this pass ended, in the run's time: the furthest stream of the file.
    int64_t end = AV_NOPTS_VALUE;
    for (int i = state.firstStreamIndex; i < state.firstStreamIndex + state.nbStreams; ++i) {
        const EngineInputStream& ist = *task_.InputStreams[i];
        if (!ist.discard && ist.nextPts != AV_NOPTS_VALUE)
            end = end == AV_NOPTS_VALUE ? ist.nextPts : std::max(end, ist.nextPts);
    }
    if (end == AV_NOPTS_VALUE)
        return false;

    reading_ = true;
    const int ret = ff::av_seek_frame(ic, -1, start, AVSEEK_FLAG_BACKWARD);
    reading_ = false;
    if (ret < 0) {
        FFLogger()->Log(&task_, llVerbose,
                        FormatErrorMessage(FormatText("%s: could not seek to the start to loop",
                                                      input.FileName.c_str()),
                                           ret));
        return false;
    }
    // The next pass's first packets, at the file's start, follow on from the end.
    input.TsOffset = end - start;
    state.packetsThisPass = 0;
    // Audio decoders keep state between packets (the MP3 bit reservoir) that the jump breaks.
    for (int i = state.firstStreamIndex; i < state.firstStreamIndex + state.nbStreams; ++i) {
        EngineInputStream& ist = *task_.InputStreams[i];
        if (ist.decodingNeeded && InputStreamType(ist) == AVMEDIA_TYPE_AUDIO)
            ff::avcodec_flush_buffers(ist.decoder.get());
    }
    return true;
}
