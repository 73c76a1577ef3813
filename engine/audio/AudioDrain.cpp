// The audio part of the encoder drain at the end of a stream: what the resampler still holds,
// the FIFO's rest as a last frame, then the encoder's delayed packets.
#include "FFmpeg.h"
#include "audio/Audio.h"

int64_t DrainResampler(TCustomFFmpeg& task, AVFormatContext* muxer, EngineOutputStream& ost) {
    if (!ost.audioResample || !ost.resampler)
        return 0;
    const AVCodecContext* enc = ost.encoder.get();
    TOutputStreamWork& work = StreamWork(ost);
    const int pending = ff::swr_get_out_samples(ost.resampler.get(), 0);
    if (pending <= 0)
        return 0;
    if (!EnsureAudioFrame(work.converted, work.convertedCapacity, enc->sample_fmt, enc->ch_layout,
                          enc->sample_rate, pending))
        throw FFmpegException("Out of memory in do_audio_out");
    const int out = ff::swr_convert(ost.resampler.get(), work.converted->extended_data,
                                    work.convertedCapacity, nullptr, 0);
    if (out <= 0)
        return 0;
    return EncodeSamples(task, muxer, ost,
                         TSampleRun{work.converted->extended_data, out, enc->sample_fmt,
                                    enc->ch_layout.nb_channels, enc->sample_rate},
                         nullptr);
}

void TCustomFFmpeg::FlushAudioEncoder(AVFormatContext* muxer, EngineOutputStream& ost) {
    AVCodecContext* enc = ost.encoder.get();
    if (!enc || enc->codec_type != AVMEDIA_TYPE_AUDIO)
        return;
    TOutputStreamWork& work = StreamWork(ost);
    const int channels = enc->ch_layout.nb_channels;
    int64_t bytes = 0;

    // The resampler's filter still holds the end of the input.
    bytes += DrainResampler(*this, muxer, ost);

    // The FIFO's rest: a short last frame where the encoder takes one, else a full frame
    // padded with silence.
    const int rest = enc->frame_size > 1 && ost.fifo ? ff::av_audio_fifo_size(ost.fifo.get()) : 0;
    if (rest > 0) {
        const int frameSize = enc->frame_size;
        if (!EnsureAudioFrame(work.encoderFrame, work.encoderFrameCapacity, enc->sample_fmt,
                              enc->ch_layout, enc->sample_rate, frameSize))
            throw FFmpegException("Out of memory in do_audio_out");
        AVFrame* frame = work.encoderFrame.get();
        ff::av_audio_fifo_read(ost.fifo.get(), FifoPlanes(frame->extended_data), rest);
        const bool shortFrame =
            enc->codec && (enc->codec->capabilities &
                           (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
        if (!shortFrame)
            ff::av_samples_set_silence(frame->extended_data, rest, frameSize - rest, channels,
                                       enc->sample_fmt);
        frame->nb_samples = shortFrame ? rest : frameSize;
        frame->pts = FramePts(enc, ost.syncOpts);
        bytes += EncodeAudioFrame(*this, muxer, ost, frame);
        ost.syncOpts += rest;
    }

    // The encoder's delayed packets.
    bytes += EncodeAudioFrame(*this, muxer, ost, nullptr);
    AudioSize += bytes;
}
