// Decode and route: one packet in, every decoded frame out to the outputs that re-encode
// from the stream, and the packet itself to the outputs that copy it. Without a packet the
// decoder is drained, then the encoders it feeds.
#include <algorithm>

#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"

int TTranscodeRun::DecodeAndRoute(EngineInputStream& ist, int index, const AVPacket* pkt) {
    if (ist.nextPts == AV_NOPTS_VALUE)
        ist.nextPts = ist.pts;
    if (pkt != nullptr && pkt->dts != AV_NOPTS_VALUE)
        ist.nextPts = ist.pts = ff::av_rescale_q(pkt->dts, ist.stream->time_base, AV_TIME_BASE_Q);

    if (ist.decodingNeeded) {
        int ret = -1;
        switch (InputStreamType(ist)) {
        case AVMEDIA_TYPE_AUDIO:
            ret = DecodeAudio(ist, index, pkt);
            break;
        case AVMEDIA_TYPE_VIDEO:
            ret = DecodeVideo(ist, index, pkt);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ret = DecodeSubtitle(ist, index, pkt);
            break;
        default:
            break;
        }
        if (ret < 0)
            return -1;
    } else if (pkt != nullptr) {
        ist.pts = ist.nextPts;
        AdvanceWithoutDecoding(ist, *pkt);
        EmulateRate(ist);
    }

    if (pkt != nullptr) {
        RouteCopies(ist, index, *pkt);
    } else {
        DrainFilters(ist, index);
        DrainEncoders(index);
    }
    return 0;
}

// Sends the packet (none: the end of the stream) and hands every frame that comes out to
// `each`. -1 when the decoder refuses the packet or fails on a frame.
template <typename F>
static int SendAndReceive(AVCodecContext* dec, const AVPacket* pkt, AVFrame* frame, F&& each) {
    int sent = ff::avcodec_send_packet(dec, pkt);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
        return -1;
    for (;;) {
        const int ret = ff::avcodec_receive_frame(dec, frame);
        if (ret == AVERROR(EAGAIN)) {
            // The decoder wanted its output taken first: now it takes the packet.
            if (sent == AVERROR(EAGAIN)) {
                sent = ff::avcodec_send_packet(dec, pkt);
                if (sent < 0 && sent != AVERROR_EOF)
                    return -1;
                continue;
            }
            return 0;
        }
        if (ret == AVERROR_EOF)
            return 0;
        if (ret < 0)
            return -1;
        each(frame);
        ff::av_frame_unref(frame);
    }
}

void TTranscodeRun::WarnMultipleFrames(EngineInputStream& ist, const AVPacket* pkt, int frames) {
    if (pkt == nullptr || frames < 2)
        return;
    if ((!ist.showedMultiPacketWarning && task_.Verbose > 0) || task_.Verbose > 1) {
        FFLogger()->Log(
            &task_, llError,
            FormatText("Multiple frames in a packet from stream %d", pkt->stream_index));
        ist.showedMultiPacketWarning = 1;
    }
}

int TTranscodeRun::DecodeAudio(EngineInputStream& ist, int index, const AVPacket* pkt) {
    int frames = 0;
    return SendAndReceive(ist.decoder.get(), pkt, frame_.get(), [&](AVFrame* frame) {
        // The first frame of a packet starts at that packet's time, which is the packet just
        // sent unless the decoder's threads hold frames back.
        if (frame->pkt_dts != AV_NOPTS_VALUE && frame->pkt_dts != ist.lastFramePacketDts) {
            ist.lastFramePacketDts = frame->pkt_dts;
            ist.nextPts = ff::av_rescale_q(frame->pkt_dts, ist.stream->time_base, AV_TIME_BASE_Q);
        }
        ist.pts = ist.nextPts;
        WarnMultipleFrames(ist, pkt, ++frames);
        if (frame->sample_rate > 0)
            ist.nextPts +=
                static_cast<int64_t>(AV_TIME_BASE) * frame->nb_samples / frame->sample_rate;
        task_.AudioPreprocess(ist, frame);
        RouteDecoded(ist, index, frame);
    });
}

// The picture's time: the reordered presentation stamp or the decode time, whichever has
// been more reliable; the next picture is expected one frame duration later.
int TTranscodeRun::DecodeVideo(EngineInputStream& ist, int index, const AVPacket* pkt) {
    int frames = 0;
    AVCodecContext* dec = ist.decoder.get();
    return SendAndReceive(dec, pkt, frame_.get(), [&](AVFrame* frame) {
        ist.pts = ist.nextPts;
        WarnMultipleFrames(ist, pkt, ++frames);
        const int64_t reordered =
            frame->pts != AV_NOPTS_VALUE
                ? ff::av_rescale_q(frame->pts, ist.stream->time_base, AV_TIME_BASE_Q)
                : AV_NOPTS_VALUE;
        const int64_t guessed = GuessCorrectPts(ist.ptsCorrection, reordered, ist.pts);
        if (guessed != AV_NOPTS_VALUE)
            ist.nextPts = ist.pts = guessed;
        if (dec->time_base.num != 0 && dec->time_base.den != 0) {
            const int ticks = frame->repeat_pict + 1;
            ist.nextPts += static_cast<int64_t>(AV_TIME_BASE) * dec->time_base.num * ticks /
                           dec->time_base.den;
        } else if (dec->framerate.num != 0 && dec->framerate.den != 0) {
            ist.nextPts += ff::av_rescale(
                AV_TIME_BASE, static_cast<int64_t>(dec->framerate.den) * (2 + frame->repeat_pict),
                2 * static_cast<int64_t>(dec->framerate.num));
        }
        AVFrame* picture = frame;
        task_.VideoPreprocess(ist, picture);
        RouteDecoded(ist, index, picture);
    });
}

int TTranscodeRun::DecodeSubtitle(EngineInputStream& ist, int index, const AVPacket* pkt) {
    AVSubtitle subtitle{};
    int got = 0;
    // The end of the stream is an empty packet for the subtitle decoders.
    AVPacket* empty = copyPacket_.get();
    ff::av_packet_unref(empty);
    const int ret = ff::avcodec_decode_subtitle2(
        ist.decoder.get(), &subtitle, &got, pkt != nullptr ? const_cast<AVPacket*>(pkt) : empty);
    if (ret < 0)
        return -1;
    if (got) {
        struct TFree {
            AVSubtitle* s;
            ~TFree() { ff::avsubtitle_free(s); }
        } release{&subtitle};
        RouteSubtitle(ist, index, subtitle, pkt != nullptr ? pkt->pts : AV_NOPTS_VALUE);
    }
    return 0;
}

// A stream that is only copied advances by one frame of the codec (audio: the packet's
// duration when the codec has no fixed frame size).
void TTranscodeRun::AdvanceWithoutDecoding(EngineInputStream& ist, const AVPacket& pkt) {
    const AVCodecContext* dec = ist.decoder.get();
    switch (InputStreamType(ist)) {
    case AVMEDIA_TYPE_AUDIO:
        if (dec->frame_size > 0 && dec->sample_rate > 0)
            ist.nextPts += static_cast<int64_t>(AV_TIME_BASE) * dec->frame_size / dec->sample_rate;
        else if (pkt.duration > 0)
            ist.nextPts += ff::av_rescale_q(pkt.duration, ist.stream->time_base, AV_TIME_BASE_Q);
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (dec->time_base.num != 0 && dec->time_base.den != 0)
            ist.nextPts += static_cast<int64_t>(AV_TIME_BASE) * dec->time_base.num *
                           dec->ticks_per_frame / dec->time_base.den;
        break;
    default:
        break;
    }
}

void TTranscodeRun::EmulateRate(const EngineInputStream& ist) const {
    if (!task_.RateEmulation)
        return;
    const int64_t ahead = ist.pts - (ff::av_gettime() - ist.start);
    if (ahead > 1000)
        ff::av_usleep(static_cast<unsigned>(ahead / 1000 * 1000));
}

// Every output that re-encodes from the stream gets the decoded chunk, unless it lies before
// the start time. A video picture passes the filter chain first, when there is one.
void TTranscodeRun::RouteDecoded(EngineInputStream& ist, int index, AVFrame* frame) {
    EmulateRate(ist);
    if (frame != nullptr && InputStreamType(ist) == AVMEDIA_TYPE_VIDEO &&
        ist.inputVideoFilter != nullptr) {
        const auto route = [&](AVFrame* filtered) { RouteToEncoders(ist, index, filtered); };
        // The chain follows a change of the pictures' size; it was built for the stream's
        // first re-encoding output.
        for (int pos : fedBy_[index])
            if (ostTable_[pos]->encodingNeeded &&
                OutputStreamType(*ostTable_[pos]) == AVMEDIA_TYPE_VIDEO) {
                task_.FollowPictureGeometry(ist, *ostTable_[pos], *frame, route);
                break;
            }
        task_.FilterVideo(ist, frame, route);
        return;
    }
    RouteToEncoders(ist, index, frame);
}

void TTranscodeRun::RouteToEncoders(EngineInputStream& ist, int index, AVFrame* frame) {
    if (task_.StartTime != 0 && ist.pts < task_.StartTime)
        return;
    for (int pos : fedBy_[index]) {
        EngineOutputStream& ost = *ostTable_[pos];
        if (!ost.encodingNeeded)
            continue;
        switch (OutputStreamType(ost)) {
        case AVMEDIA_TYPE_AUDIO:
            task_.DoAudioOut(OutputContext(ost.fileIndex), ost, ist, frame);
            break;
        case AVMEDIA_TYPE_VIDEO: {
            int frameSize = 0;
            task_.DoVideoOut(OutputContext(ost.fileIndex), ost, ist, frame, frameSize);
            if (task_.VstatsFileName && frameSize > 0)
                task_.WriteVideoStats(ost, frameSize);
            break;
        }
        default:
            throw FFmpegException("invalid codec_type");
        }
    }
}

void TTranscodeRun::RouteCopies(EngineInputStream& ist, int index, const AVPacket& pkt) {
    if (task_.StartTime != 0 && ist.pts < task_.StartTime)
        return;
    for (int pos : fedBy_[index]) {
        EngineOutputStream& ost = *ostTable_[pos];
        if (!ost.encodingNeeded)
            CopyOutput(ost, ist, pkt);
    }
}

// The filter chain's drain after the decoder's: pictures that filters held back (a frame
// rate change, padding, reversal) still reach the encoders.
void TTranscodeRun::DrainFilters(EngineInputStream& ist, int index) {
    if (InputStreamType(ist) != AVMEDIA_TYPE_VIDEO || ist.inputVideoFilter == nullptr)
        return;
    task_.FilterVideo(ist, nullptr,
                      [&](AVFrame* filtered) { RouteToEncoders(ist, index, filtered); });
}

// The encoder drain after the decoder's. Every audio output is drained, unframed (PCM) ones
// too: the resampler holds samples back whatever the encoder.
void TTranscodeRun::DrainEncoders(int index) {
    for (int pos : fedBy_[index]) {
        EngineOutputStream& ost = *ostTable_[pos];
        AVCodecContext* enc = ost.encoder.get();
        if (!ost.encodingNeeded || enc == nullptr || !ff::avcodec_is_open(enc))
            continue;
        if (OutputStreamType(ost) == AVMEDIA_TYPE_AUDIO)
            task_.FlushAudioEncoder(OutputContext(ost.fileIndex), ost);
        else if (OutputStreamType(ost) == AVMEDIA_TYPE_VIDEO)
            task_.FlushVideoEncoder(OutputContext(ost.fileIndex), ost);
    }
}
