// Audio output of one decoded chunk for one re-encoding output stream: buffer sizes, the
// resampler or converter, audio sync, then the encoder (framed through the FIFO, or at once).
#include <algorithm>
#include <climits>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "audio/Audio.h"
#include "log/FFLog.h"

namespace {

AVAudioFifo* Fifo(EngineOutputStream& ost) {
    if (!ost.fifo) {
        const AVCodecContext* enc = ost.encoder.get();
        ost.fifo.reset(ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels,
                                               std::max(1024, 2 * enc->frame_size)));
        if (!ost.fifo)
            throw FFmpegException("av_fifo_alloc fail");
    }
    return ost.fifo.get();
}

} // namespace

TOutputStreamWork::TOutputStreamWork() = default;
TOutputStreamWork::~TOutputStreamWork() = default;

TOutputStreamWork& StreamWork(EngineOutputStream& ost) {
    if (!ost.work)
        ost.work = std::make_shared<TOutputStreamWork>();
    return *ost.work;
}

bool EnsureAudioFrame(TFramePtr& frame, int& capacity, AVSampleFormat format,
                      const AVChannelLayout& layout, int sampleRate, int samples) {
    if (!frame) {
        frame.reset(ff::av_frame_alloc());
        capacity = 0;
        if (!frame)
            return false;
    }
    AVFrame* f = frame.get();
    const bool fits = capacity >= samples && f->format == format &&
                      ff::av_channel_layout_compare(&f->ch_layout, &layout) == 0;
    if (fits && ff::av_frame_is_writable(f)) {
        f->sample_rate = sampleRate;
        return true;
    }
    // Too small, another format, or still referenced by the encoder: a new buffer.
    const int wanted = std::max(samples, fits ? capacity : 0);
    ff::av_frame_unref(f);
    capacity = 0;
    f->format = format;
    f->sample_rate = sampleRate;
    f->nb_samples = wanted;
    if (ff::av_channel_layout_copy(&f->ch_layout, &layout) < 0 || ff::av_frame_get_buffer(f, 0) < 0)
        return false;
    capacity = wanted;
    return true;
}

AVRational EncoderTimeBase(const AVCodecContext* enc) {
    if (enc->time_base.num > 0 && enc->time_base.den > 0)
        return enc->time_base;
    return AVRational{1, enc->sample_rate};
}

int64_t FramePts(const AVCodecContext* enc, int64_t syncOpts) {
    const AVRational samples{1, enc->sample_rate};
    const AVRational tb = EncoderTimeBase(enc);
    if (tb.num == samples.num && tb.den == samples.den)
        return syncOpts;
    return ff::av_rescale_q(syncOpts, samples, tb);
}

int64_t EncodeAudioFrame(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                         AVFrame* frame) {
    TOutputStreamWork& work = StreamWork(ost);
    if (work.encodeThread && !work.encodeThread->Finished()) {
        // Bytes of queued frames are counted when the thread finishes, with the drain.
        if (!frame)
            return work.encodeThread->Finish();
        work.encodeThread->Push(frame);
        return 0;
    }
    return EncodeAudioFrameNow(task, muxer, ost, frame);
}

int64_t EncodeAudioFrameNow(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                            AVFrame* frame) {
    AVCodecContext* enc = ost.encoder.get();
    TOutputStreamWork& work = StreamWork(ost);
    if (!work.packet) {
        work.packet.reset(ff::av_packet_alloc());
        if (!work.packet)
            throw FFmpegException("Out of memory in do_audio_out");
    }
    int ret = ff::avcodec_send_frame(enc, frame);
    if (ret == AVERROR_EOF && !frame)
        return 0; // drained already
    if (ret < 0)
        throw FFmpegException("Audio encoding failed");

    AVPacket* pkt = work.packet.get();
    const AVRational encTimeBase = EncoderTimeBase(enc);
    int64_t bytes = 0;
    for (;;) {
        ret = ff::avcodec_receive_packet(enc, pkt);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0)
            throw FFmpegException("Audio encoding failed");
        bytes += pkt->size;
        if (ost.stream) {
            pkt->stream_index = ost.stream->index;
            ff::av_packet_rescale_ts(pkt, encTimeBase, ost.stream->time_base);
        } else {
            pkt->stream_index = ost.streamIndex;
        }
        pkt->flags |= AV_PKT_FLAG_KEY;
        task.WritePacket(muxer, pkt, ost);
        ff::av_packet_unref(pkt);
    }
    return bytes;
}

int64_t EncodeSamples(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost,
                      const TSampleRun& data, const AVFrame* source) {
    AVCodecContext* enc = ost.encoder.get();
    TOutputStreamWork& work = StreamWork(ost);
    int64_t bytes = 0;

    if (enc->frame_size > 1) {
        // Framed encoders: whole frames of frame_size samples from the FIFO; the rest waits
        // for the next chunk or the drain.
        AVAudioFifo* fifo = Fifo(ost);
        if (data.samples > 0 &&
            ff::av_audio_fifo_write(fifo, FifoPlanes(data.planes), data.samples) < data.samples)
            throw FFmpegException("av_fifo_realloc2() failed");
        const int frameSize = enc->frame_size;
        while (ff::av_audio_fifo_size(fifo) >= frameSize) {
            if (!EnsureAudioFrame(work.encoderFrame, work.encoderFrameCapacity, enc->sample_fmt,
                                  enc->ch_layout, enc->sample_rate, frameSize))
                throw FFmpegException("Out of memory in do_audio_out");
            AVFrame* frame = work.encoderFrame.get();
            frame->nb_samples = frameSize;
            ff::av_audio_fifo_read(fifo, FifoPlanes(frame->extended_data), frameSize);
            frame->pts = FramePts(enc, ost.syncOpts);
            bytes += EncodeAudioFrame(task, muxer, ost, frame);
            ost.syncOpts += frameSize;
        }
        return bytes;
    }

    // Unframed encoders (PCM): the whole chunk at once.
    if (data.samples <= 0)
        return 0;
    const int64_t pts = ost.syncOpts;
    ost.syncOpts += data.samples;
    AVFrame* frame = nullptr;
    if (source) {
        // The decoded samples themselves, by reference.
        if (!work.reference)
            work.reference.reset(ff::av_frame_alloc());
        if (!work.reference || ff::av_frame_ref(work.reference.get(), source) < 0)
            throw FFmpegException("Out of memory in do_audio_out");
        frame = work.reference.get();
        ff::av_channel_layout_uninit(&frame->ch_layout);
        if (ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0)
            throw FFmpegException("Out of memory in do_audio_out");
    } else {
        if (!work.converted || data.planes != work.converted->extended_data) {
            // Samples of the decoded chunk with some dropped, or with silence before them.
            if (!EnsureAudioFrame(work.converted, work.convertedCapacity, enc->sample_fmt,
                                  enc->ch_layout, enc->sample_rate, data.samples))
                throw FFmpegException("Out of memory in do_audio_out");
            ff::av_samples_copy(work.converted->extended_data, data.planes, 0, 0, data.samples,
                                data.channels, data.format);
        }
        frame = work.converted.get();
    }
    frame->nb_samples = data.samples;
    frame->sample_rate = enc->sample_rate;
    frame->pts = FramePts(enc, pts);
    bytes = EncodeAudioFrame(task, muxer, ost, frame);
    if (source)
        ff::av_frame_unref(work.reference.get());
    return bytes;
}

void TCustomFFmpeg::InitAudioOutput(EngineOutputStream& ost, const AVCodecContext* dec) {
    const AVCodecContext* enc = ost.encoder.get();
    ost.fifo.reset(ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels,
                                           std::max(1024, 2 * enc->frame_size)));
    if (!ost.fifo)
        throw FFmpegException("av_fifo_alloc fail");
    ost.reformatPair = -6; // no converter
    ost.audioResample = dec->sample_rate != enc->sample_rate || AudioSyncMethod > 1;
    // The resampler is made for the parameters of the opened decoder; before it opens they
    // are guesses, and the first chunk gives them instead.
    const bool known = ff::avcodec_is_open(const_cast<AVCodecContext*>(dec)) > 0;
    ost.resampleSampleFmt = known ? dec->sample_fmt : AV_SAMPLE_FMT_NONE;
    ost.resampleChannels = known ? dec->ch_layout.nb_channels : 0;
    ost.resampleSampleRate = known ? dec->sample_rate : 0;
}

void TCustomFFmpeg::DoAudioOut(AVFormatContext* muxer, EngineOutputStream& ost,
                               EngineInputStream& ist, const AVFrame* decoded) {
    if (!decoded || decoded->nb_samples <= 0)
        return;
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();

    // The chunk as the decoder delivered it.
    TSampleRun in;
    in.planes = decoded->extended_data;
    in.samples = decoded->nb_samples;
    in.format = static_cast<AVSampleFormat>(decoded->format);
    in.channels = decoded->ch_layout.nb_channels;
    in.sampleRate = decoded->sample_rate;
    if (dec) {
        if (in.format == AV_SAMPLE_FMT_NONE)
            in.format = dec->sample_fmt;
        if (in.channels <= 0)
            in.channels = dec->ch_layout.nb_channels;
        if (in.sampleRate <= 0)
            in.sampleRate = dec->sample_rate;
    }
    const int encChannels = enc->ch_layout.nb_channels;
    if (in.sampleRate <= 0 || enc->sample_rate <= 0 || in.channels <= 0 || encChannels <= 0 ||
        in.format == AV_SAMPLE_FMT_NONE || enc->sample_fmt == AV_SAMPLE_FMT_NONE)
        throw FFmpegException(
            FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", in.channels,
                       in.sampleRate, encChannels, enc->sample_rate));
    const int osize = ff::av_get_bytes_per_sample(enc->sample_fmt);

    // A resampler about to be rebuilt for other input parameters first gives what its filter
    // holds, so that the change loses no samples.
    if (ost.resampler && ost.resampleSampleRate > 0 &&
        (ost.resampleSampleFmt != in.format || ost.resampleChannels != in.channels ||
         ost.resampleSampleRate != in.sampleRate))
        AudioSize += DrainResampler(*this, muxer, ost);

    // Steps 1 to 4; inserting more silence than the buffers were sized for sizes them again.
    int64_t allocated = in.samples;
    int64_t capacity = 0;
    for (;;) {
        // Room for the resampled chunk twice over plus 10000 samples, and one encoder frame.
        int64_t samples = (allocated * enc->sample_rate + in.sampleRate) / in.sampleRate;
        samples = samples * 2 + 10000;
        samples = std::max<int64_t>(samples, enc->frame_size);
        if (samples * osize * encChannels > INT_MAX)
            throw FFmpegException("Buffer sizes too large in do_audio_out");
        capacity = samples;

        PrepareResampler(*this, ost, ist, *decoded, in);
        PrepareConverter(*this, ost, ist, in);
        const TSyncResult sync = SyncAudio(*this, ost, ist, in, allocated);
        if (sync == TSyncResult::Dropped)
            return;
        if (sync == TSyncResult::Continue)
            break;
    }

    // Resample or convert into the stream's frame; otherwise the chunk goes on as it is.
    TSampleRun data = in;
    const AVFrame* source = in.planes == decoded->extended_data && in.samples == decoded->nb_samples
                                ? decoded
                                : nullptr;
    if (ost.audioResample || in.format != enc->sample_fmt) {
        TOutputStreamWork& work = StreamWork(ost);
        if (!EnsureAudioFrame(work.converted, work.convertedCapacity, enc->sample_fmt,
                              enc->ch_layout, enc->sample_rate, static_cast<int>(capacity)))
            throw FFmpegException("Out of memory in do_audio_out");
        SwrContext* context = ost.audioResample ? ost.resampler.get() : ost.reformatter.get();
        const int out = ff::swr_convert(context, work.converted->extended_data,
                                        work.convertedCapacity, InputPlanes(in.planes), in.samples);
        if (out < 0) {
            if (ost.audioResample)
                throw FFmpegException("Audio resampling failed");
            if (ExitOnError)
                throw FFmpegException("av_audio_convert() failed");
            FFLogger()->Log(this, llError, "av_audio_convert() failed");
            return;
        }
        data = TSampleRun{work.converted->extended_data, out, enc->sample_fmt, encChannels,
                          enc->sample_rate};
        source = nullptr;
    }
    AudioSize += EncodeSamples(*this, muxer, ost, data, source);
}
