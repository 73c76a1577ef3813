// Subtitles in the run: the encode parameters of a subtitle output at set-up, and every
// decoded subtitle to the outputs that encode from its stream.
#include "run/Run.h"
#include "video/SubtitleOutput.h"

void TTranscodeRun::InitSubtitleOutput(EngineOutputStream& ost, EngineInputStream& ist) {
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    // The encoders take the engine's times; bitmap encoders need the canvas size.
    enc->time_base = AV_TIME_BASE_Q;
    if (enc->width == 0 && enc->height == 0) {
        enc->width = dec->width;
        enc->height = dec->height;
    }
    ost.encodingNeeded = 1;
    ist.decodingNeeded = 1;
}

void TTranscodeRun::RouteSubtitle(EngineInputStream& ist, int index, const AVSubtitle& sub,
                                  int64_t pts) {
    EmulateRate(ist);
    if (task_.StartTime != 0 && ist.pts < task_.StartTime)
        return;
    for (int pos : fedBy_[index]) {
        EngineOutputStream& ost = *ostTable_[pos];
        if (!ost.encodingNeeded || OutputStreamType(ost) != AVMEDIA_TYPE_SUBTITLE)
            continue;
        DoSubtitleOut(task_, OutputContext(ost.fileIndex), ost, ist, sub, pts);
    }
}
