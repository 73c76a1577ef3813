// Subtitle output. The encode buffer is allocated once, on first use, and shared by every
// task; its lock is held only while a subtitle is encoded into it and copied into its packet,
// and no other lock is taken meanwhile.
#include "video/SubtitleOutput.h"

#include <cstring>
#include <mutex>

#include "FFmpeg.h"
#include "audio/Audio.h" // TPacketPtr
#include "log/FFLog.h"

namespace {

constexpr const char* NoPtsMessage = "Subtitle packets must have a pts";
constexpr AVRational Milliseconds{1, 1000};

struct TSharedSubtitleBuffer {
    std::mutex Lock;
    uint8_t* Data = nullptr;
};

TSharedSubtitleBuffer& SubtitleBuffer() {
    static TSharedSubtitleBuffer buffer;
    return buffer;
}

// Encodes into the shared buffer and copies the bytes into `pkt`; false when the encoder
// failed.
bool EncodeInto(AVCodecContext* enc, const AVSubtitle& sub, AVPacket* pkt) {
    TSharedSubtitleBuffer& shared = SubtitleBuffer();
    std::lock_guard guard(shared.Lock);
    if (shared.Data == nullptr) {
        shared.Data = static_cast<uint8_t*>(ff::av_malloc(SubtitleBufferSize));
        if (shared.Data == nullptr)
            throw FFmpegException("av_malloc failed");
    }
    const int size = ff::avcodec_encode_subtitle(enc, shared.Data, SubtitleBufferSize, &sub);
    if (size < 0)
        return false;
    if (ff::av_new_packet(pkt, size) < 0)
        throw FFmpegException("av_malloc failed");
    if (size > 0)
        std::memcpy(pkt->data, shared.Data, static_cast<size_t>(size));
    return true;
}

} // namespace

void DoSubtitleOut(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                   const EngineInputStream& ist, const AVSubtitle& decoded, int64_t pts) {
    if (pts == AV_NOPTS_VALUE) {
        if (task.ExitOnError)
            throw FFmpegException(NoPtsMessage);
        FFLogger()->Log(&task, llError, NoPtsMessage);
        return;
    }
    AVCodecContext* enc = ost.encoder.get();
    const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    const AVRational streamBase = ost.stream->time_base;
    TPacketPtr pkt(ff::av_packet_alloc());
    if (!pkt)
        throw FFmpegException("av_malloc failed");

    // The display times count from the subtitle's own time. The times are changed on a copy:
    // every output of the subtitle starts from the decoded ones (the regions are shared).
    AVSubtitle sub = decoded;
    sub.pts = ff::av_rescale_q(pts, ist.stream->time_base, AV_TIME_BASE_Q) +
              ff::av_rescale_q(sub.start_display_time, Milliseconds, AV_TIME_BASE_Q);
    sub.end_display_time = sub.end_display_time >= sub.start_display_time
                               ? sub.end_display_time - sub.start_display_time
                               : 0;
    sub.start_display_time = 0;

    // DVB: the second packet carries no regions, which clears the screen.
    const int passes = dvb ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        if (pass == 1)
            sub.num_rects = 0;
        if (!EncodeInto(enc, sub, pkt.get()))
            throw FFmpegException("Subtitle encoding failed");
        pkt->stream_index = ost.stream->index;
        pkt->pts = ff::av_rescale_q(sub.pts, AV_TIME_BASE_Q, streamBase);
        if (dvb) {
            const uint32_t shown = pass == 0 ? sub.start_display_time : sub.end_display_time;
            pkt->pts += ff::av_rescale_q(shown, Milliseconds, streamBase);
        } else {
            pkt->duration = ff::av_rescale_q(sub.end_display_time, Milliseconds, streamBase);
        }
        pkt->dts = pkt->pts;
        task.WritePacket(muxer, pkt.get(), ost);
        ff::av_packet_unref(pkt.get());
    }
}
