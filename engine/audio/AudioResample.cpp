// The resampler and the sample-format converter of an audio output stream. Both are
// libswresample contexts: the resampler changes rate, channel count and format at once (and
// absorbs drift compensation); the converter only changes the format, channel for channel.
#include "FFmpeg.h"
#include "TextUtils.h"
#include "audio/Audio.h"
#include "log/FFLog.h"

namespace {

const char* SampleFormatName(int format) {
    const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return name ? name : "none";
}

struct TLayout {
    AVChannelLayout value{};
    ~TLayout() { ff::av_channel_layout_uninit(&value); }
};

// A context from `in` to `out`; null when libswresample refuses the pair.
TResamplerPtr MakeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                            const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                            bool filtered, bool compensating) {
    SwrContext* raw = nullptr;
    // The layouts are only read; the declaration lacks const.
    if (ff::swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&outLayout), outFormat, outRate,
                                const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0,
                                nullptr) < 0)
        return nullptr;
    TResamplerPtr context(raw);
    if (filtered) {
        // A 16-tap polyphase filter with 1024 phases, cut off at 0.8 of the lower Nyquist rate.
        ff::av_opt_set_int(raw, "filter_size", 16, 0);
        ff::av_opt_set_int(raw, "phase_shift", 10, 0);
        ff::av_opt_set_int(raw, "linear_interp", 0, 0);
        ff::av_opt_set(raw, "cutoff", "0.8", 0);
    }
    // Drift compensation needs the resampling stage even when the rates are equal.
    if (compensating)
        ff::av_opt_set_int(raw, "swr_flags", SWR_FLAG_RESAMPLE, 0);
    if (ff::swr_init(raw) < 0)
        return nullptr;
    return context;
}

} // namespace

void ResamplerLayout(const AVChannelLayout& layout, int channels, AVChannelLayout& out) {
    ff::av_channel_layout_uninit(&out);
    if (layout.order != AV_CHANNEL_ORDER_UNSPEC && layout.nb_channels == channels &&
        ff::av_channel_layout_copy(&out, &layout) == 0)
        return;
    ff::av_channel_layout_default(&out, channels);
}

int64_t ResamplerDelay(const EngineOutputStream& ost) {
    if (!ost.audioResample || !ost.resampler)
        return 0;
    const int64_t delay = ff::swr_get_delay(ost.resampler.get(), ost.encoder->sample_rate);
    return delay > 0 ? delay : 0;
}

void PrepareResampler(TCustomFFmpeg& task, EngineOutputStream& ost, const EngineInputStream& ist,
                      const AVFrame& decoded, const TSampleRun& in) {
    const AVCodecContext* enc = ost.encoder.get();
    const int encChannels = enc->ch_layout.nb_channels;
    const int decRate = in.sampleRate;
    // Another channel count or rate can only be reached through the resampler.
    if (encChannels != in.channels || enc->sample_rate != decRate)
        ost.audioResample = 1;

    if (ost.resampleSampleRate <= 0 || ost.resampleChannels <= 0 || ost.resampleSampleFmt < 0) {
        // The set-up did not know the decoder's parameters: the first chunk gives them.
        ost.resampleSampleFmt = in.format;
        ost.resampleChannels = in.channels;
        ost.resampleSampleRate = decRate;
    }
    const bool changed = ost.resampleSampleFmt != in.format ||
                         ost.resampleChannels != in.channels || ost.resampleSampleRate != decRate;
    if (!((ost.audioResample && !ost.resampler) || changed))
        return;

    if (changed) {
        FFLogger()->Log(&task, llInfo,
                        FormatText("Input stream #%d.%d frame changed from rate:%d fmt:%s ch:%d to "
                                   "rate:%d fmt:%s ch:%d",
                                   ist.fileIndex, ist.streamIndex, ost.resampleSampleRate,
                                   SampleFormatName(ost.resampleSampleFmt), ost.resampleChannels,
                                   decRate, SampleFormatName(in.format), in.channels));
        ost.resampleSampleFmt = in.format;
        ost.resampleChannels = in.channels;
        ost.resampleSampleRate = decRate;
        ost.resampler.reset();
    }

    // With "async" above 1 a resampler stays even for equal parameters: drift compensation
    // works through it.
    if (task.AudioSyncMethod <= 1 && ost.resampleSampleFmt == enc->sample_fmt &&
        ost.resampleChannels == encChannels && ost.resampleSampleRate == enc->sample_rate) {
        ost.resampler.reset();
        ost.audioResample = 0;
        return;
    }

    TLayout inLayout, outLayout;
    ResamplerLayout(decoded.ch_layout, in.channels, inLayout.value);
    ResamplerLayout(enc->ch_layout, encChannels, outLayout.value);
    ost.resampler =
        MakeResampler(outLayout.value, enc->sample_fmt, enc->sample_rate, inLayout.value, in.format,
                      decRate, true, task.AudioSyncMethod > 1);
    if (!ost.resampler)
        throw FFmpegException(
            FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", in.channels,
                       decRate, encChannels, enc->sample_rate));
    ost.audioResample = 1;
}

void PrepareConverter(EngineOutputStream& ost, const TSampleRun& in) {
    const AVCodecContext* enc = ost.encoder.get();
    if (ost.audioResample || in.format == enc->sample_fmt)
        return;
    // One key per pair of today's sample formats.
    const int pair = enc->sample_fmt + AV_SAMPLE_FMT_NB * in.format;
    if (pair == ost.reformatPair && ost.reformatter)
        return;
    ost.reformatter.reset();
    // The same layout on both sides: every channel is converted on its own, never mixed.
    TLayout layout;
    ResamplerLayout(enc->ch_layout, in.channels, layout.value);
    ost.reformatter = MakeResampler(layout.value, enc->sample_fmt, enc->sample_rate, layout.value,
                                    in.format, enc->sample_rate, false, false);
    if (!ost.reformatter)
        throw FFmpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                         SampleFormatName(in.format),
                                         SampleFormatName(enc->sample_fmt)));
    ost.reformatPair = pair;
}
