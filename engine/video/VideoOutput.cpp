// Video output of one picture for one re-encoding output stream: the frame count from the
// frame-rate sync, the frame limit, the scaler (rebuilt when the input geometry changes; a
// filter chain is rebuilt before the picture reaches this step),
// then per frame the output hook and preview, the encoder's fields (interlacing, quality,
// picture type, forced key frames) and the encoding, with the first-pass statistics.
#include <algorithm>
#include <climits>
#include <cstdio>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "log/FFLog.h"
#include "video/Video.h"

namespace {

AVPacket* Packet(TVideoStreamWork& work) {
    if (!work.packet) {
        work.packet.reset(ff::av_packet_alloc());
        if (!work.packet)
            throw FFmpegException("av_mallocz fail");
    }
    return work.packet.get();
}

bool WantsInterlacedCoding(const AVCodecContext* enc) {
    return (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) != 0;
}

// Takes every packet the encoder has ready; the bytes they hold.
int ReceiveVideoPackets(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost) {
    AVCodecContext* enc = ost.encoder.get();
    TVideoStreamWork& work = VideoStreamWork(ost);
    AVPacket* pkt = Packet(work);
    int bytes = 0;
    for (;;) {
        const int ret = ff::avcodec_receive_packet(enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0)
            throw FFmpegException("Video encoding failed");
        TCustomFFmpeg::KeepCodedFrameStats(ost, *pkt);
        bytes += pkt->size;
        // Each frame lasts one tick of the encoder's time base.
        if (pkt->duration <= 0)
            pkt->duration = 1;
        pkt->stream_index = ost.stream != nullptr ? ost.stream->index : ost.streamIndex;
        if (ost.stream != nullptr)
            ff::av_packet_rescale_ts(pkt, enc->time_base, ost.stream->time_base);
        if (ost.passLogFile != nullptr && enc->stats_out != nullptr)
            std::fputs(enc->stats_out, ost.passLogFile);
        task.WritePacket(muxer, pkt, ost);
        ff::av_packet_unref(pkt);
    }
    return bytes;
}

} // namespace

void TCustomFFmpeg::DoVideoOut(AVFormatContext* muxer, EngineOutputStream& ost,
                               EngineInputStream& ist, AVFrame* in, int& frameSize) {
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    frameSize = 0;
    if (!VideoWork)
        VideoWork = std::make_shared<TVideoTaskWork>();

    const EngineInputStream& clock = ost.syncInput != nullptr ? *ost.syncInput : ist;
    const double syncTime = static_cast<double>(clock.pts - StartTime) / AV_TIME_BASE;
    const double position = syncTime / av_q2d(enc->time_base);
    const bool variableRate = (muxer->oformat->flags & AVFMT_VARIABLE_FPS) != 0;
    int n = VideoFrameCount(VideoSyncMethod, variableRate, position, ost.syncOpts);
    if (VideoSyncMethod != 0) {
        if (n == 0) {
            ++DropFrames;
            DupDropChanged = true;
            if (Verbose > 2)
                FFLogger()->Log(this, llVerbose, "*** drop!");
        } else if (n > 1) {
            DupFrames += n - 1;
            DupDropChanged = true;
            if (Verbose > 2)
                FFLogger()->Log(this, llVerbose, FormatText("*** %d dup!", n - 1));
        }
    }
    n = std::min(n, MaxFrames[MaxFramesVideo] - ost.frameNumber);
    if (n <= 0)
        return;

    AVFrame* picture = in;
    const bool changed = dec->width != ost.resampleWidth || dec->height != ost.resampleHeight ||
                         dec->pix_fmt != ost.resamplePixFmt;
    if (changed) {
        const char* name = ff::av_get_pix_fmt_name(dec->pix_fmt);
        FFLogger()->Log(this, llQuiet,
                        FormatText("Input Stream #%d.%d frame size changed to %dx%d, %s",
                                   ist.fileIndex, ist.streamIndex, dec->width, dec->height,
                                   name != nullptr ? name : "none"));
        // A stream that needed no scaler at set-up gets one now: the encoder keeps its size.
        // A filter chain was built anew for the new size (FollowPictureGeometry) and its
        // pictures fit the encoder.
        if (!VideoFiltersInUse)
            ost.videoResample = 1;
    }
    if (!VideoFiltersInUse && ost.videoResample) {
        TVideoStreamWork& work = VideoStreamWork(ost);
        if (changed || !ost.scaler) {
            ost.scaler.reset(ff::sws_getContext(dec->width, dec->height, dec->pix_fmt, enc->width,
                                                enc->height, enc->pix_fmt, TaskScalerFlags(*this),
                                                nullptr, nullptr, nullptr));
            if (!ost.scaler)
                throw FFmpegException("Cannot get resampling context");
            ost.resampleWidth = dec->width;
            ost.resampleHeight = dec->height;
            ost.resamplePixFmt = dec->pix_fmt;
        }
        // A buffer the encoder still holds is not written over: a new one is taken.
        if (!EnsurePicture(work.scaled, enc->width, enc->height, enc->pix_fmt))
            throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        AVFrame* scaled = work.scaled.get();
        ff::sws_scale(ost.scaler.get(), in->data, in->linesize, 0, in->height, scaled->data,
                      scaled->linesize);
        ff::av_frame_copy_props(scaled, in);
        picture = scaled;
    } else if (changed) {
        ost.resampleWidth = dec->width;
        ost.resampleHeight = dec->height;
        ost.resamplePixFmt = dec->pix_fmt;
    }
    if (VideoFiltersInUse && in->sample_aspect_ratio.num > 0)
        enc->sample_aspect_ratio = in->sample_aspect_ratio;

    TVideoStreamWork& work = VideoStreamWork(ost);
    if (!work.encoded) {
        work.encoded.reset(ff::av_frame_alloc());
        if (!work.encoded)
            throw FFmpegException("av_mallocz fail");
    }
    for (int i = 0; i < n && !StopRequested; ++i) {
        const int frameNumber = ost.frameNumber + 1;
        AVFrame* shown = OutputHookAndPreview(picture, ist.pts, frameNumber);
        AVFrame* frame = work.encoded.get();
        ff::av_frame_unref(frame);
        if (ff::av_frame_ref(frame, shown) < 0)
            throw FFmpegException("av_mallocz fail");
        frame->interlaced_frame = in->interlaced_frame;
        if (WantsInterlacedCoding(enc))
            frame->top_field_first = TopFieldFirst == -1 ? in->top_field_first : TopFieldFirst;
        frame->quality = SameQuality ? in->quality : enc->global_quality;
        frame->pict_type = MeThreshold != 0 ? in->pict_type : AV_PICTURE_TYPE_NONE;
        frame->pts = ost.syncOpts;
        if (ost.forcedKeyFrameIndex < static_cast<int>(ost.forcedKeyFramePts.size()) &&
            frame->pts >= ost.forcedKeyFramePts[ost.forcedKeyFrameIndex]) {
            frame->pict_type = AV_PICTURE_TYPE_I;
            ++ost.forcedKeyFrameIndex;
        }
        const int ret = ff::avcodec_send_frame(enc, frame);
        ff::av_frame_unref(frame);
        if (ret < 0)
            throw FFmpegException("Video encoding failed");
        const int bytes = ReceiveVideoPackets(*this, muxer, ost);
        if (bytes > 0) {
            frameSize = bytes;
            VideoSize += bytes;
        }
        ++ost.syncOpts;
        ++ost.frameNumber;
    }
}

void TCustomFFmpeg::FlushVideoEncoder(AVFormatContext* muxer, EngineOutputStream& ost) {
    AVCodecContext* enc = ost.encoder.get();
    const int ret = ff::avcodec_send_frame(enc, nullptr);
    if (ret == AVERROR_EOF)
        return; // drained already
    if (ret < 0)
        throw FFmpegException("Video encoding failed");
    VideoSize += ReceiveVideoPackets(*this, muxer, ost);
}
