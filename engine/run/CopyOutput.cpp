// Copy output: a packet of the source written unchanged to an output stream, with its times
// moved into the output stream's time base and the start time taken off.
#include "run/Run.h"

void TTranscodeRun::CopyOutput(EngineOutputStream& ost, const EngineInputStream& ist,
                               const AVPacket& pkt) {
    const AVRational in = ist.stream->time_base;
    const AVRational out = ost.stream->time_base;
    const int64_t startOffset = ff::av_rescale_q(task_.StartTime, AV_TIME_BASE_Q, out);

    // An output starts at a key frame unless copyinkf asks for the frames before it.
    if (ost.frameNumber == 0 && (pkt.flags & AV_PKT_FLAG_KEY) == 0 &&
        !task_.CopyInitialNonKeyframes)
        return;

    switch (InputStreamType(ist)) {
    case AVMEDIA_TYPE_AUDIO:
        task_.AudioSize += pkt.size;
        break;
    case AVMEDIA_TYPE_VIDEO:
        task_.VideoSize += pkt.size;
        ++ost.syncOpts;
        break;
    default:
        break;
    }

    AVPacket* opkt = copyPacket_.get();
    if (ff::av_packet_ref(opkt, &pkt) < 0)
        throw FFmpegException("av_malloc failed");
    opkt->stream_index = ost.streamIndex;
    opkt->pts = pkt.pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt.pts, in, out) - startOffset
                                          : AV_NOPTS_VALUE;
    opkt->dts = (pkt.dts != AV_NOPTS_VALUE ? ff::av_rescale_q(pkt.dts, in, out)
                                           : ff::av_rescale_q(ist.pts, AV_TIME_BASE_Q, out)) -
                startOffset;
    opkt->duration = ff::av_rescale_q(pkt.duration, in, out);
    opkt->flags = pkt.flags;
    opkt->pos = -1;
    opkt->time_base = out;
    try {
        task_.WritePacket(OutputContext(ost.fileIndex), opkt, ost);
    } catch (...) {
        ff::av_packet_unref(opkt);
        throw;
    }
    ff::av_packet_unref(opkt);
    ++ost.frameNumber;
}
