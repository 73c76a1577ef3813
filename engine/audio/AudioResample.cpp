// The resampler and the sample-format converter of an audio output stream. Both are
// libswresample contexts: the resampler changes rate, channel count and format at once (and
// absorbs drift compensation); the converter only changes the format, channel for channel.
// Whichever of the two makes the encoder's samples also dithers them when bits are lost.
#include <string>

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

// Two known layouts of other channels (5.1(side) into an encoder that takes 5.1): the
// channels are mapped by position, not copied in order.
bool LayoutsDiffer(const AVChannelLayout& in, const AVChannelLayout& out) {
    return in.order == AV_CHANNEL_ORDER_NATIVE && out.order == AV_CHANNEL_ORDER_NATIVE &&
           in.nb_channels == out.nb_channels && in.u.mask != out.u.mask;
}

bool Wide(AVSampleFormat format) {
    const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
    return packed == AV_SAMPLE_FMT_S32 || packed == AV_SAMPLE_FMT_S64 ||
           packed == AV_SAMPLE_FMT_DBL;
}

// How a context is made beyond its two sides.
struct TResamplerSetup {
    bool resampling = false;   // the rate changes: the resampling filter matters
    bool compensating = false; // drift compensation (option "async" above 1)
    int dither = SWR_DITHER_NONE;
    int outputBits = 0; // significant bits of 32-bit output samples, for the dither's level
    float lfeLevel = 0; // the LFE's share in a downmix
};

// The resampling filter. The SoX engine at very high precision is flat to 0.91 of the lower
// Nyquist rate (20 kHz for 44.1 kHz, within 0.01 dB) and keeps aliases below -140 dB. It
// cannot compensate drift; compensating streams take the library's own engine with a long
// Kaiser-windowed filter, flat within 0.01 dB to 20 kHz with aliases below -130 dB. `wide`:
// the samples on either side have more bits than a float holds.
void SetFilter(SwrContext* context, bool compensating, bool wide) {
    if (!compensating) {
        ff::av_opt_set_int(context, "resampler", SWR_ENGINE_SOXR, 0);
        ff::av_opt_set_int(context, "precision", 28, 0);
        // SoX dithers integer samples it writes itself; working in floating point leaves the
        // one dither (or none) to the last conversion. Doubles keep 32-bit samples whole.
        ff::av_opt_set_int(context, "internal_sample_fmt",
                           wide ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_FLTP, 0);
        return;
    }
    ff::av_opt_set_int(context, "resampler", SWR_ENGINE_SWR, 0);
    ff::av_opt_set_int(context, "filter_size", 128, 0);
    ff::av_opt_set_int(context, "phase_shift", 10, 0);
    ff::av_opt_set_int(context, "linear_interp", 0, 0);
    ff::av_opt_set(context, "cutoff", "0.97", 0);
    ff::av_opt_set(context, "kaiser_beta", "14", 0);
}

// Channel changes keep the level: a downmix is scaled so that no output sample can exceed
// full scale, whatever the output's sample format (float encoders would pass the overshoot
// on); mono goes to both sides of a stereo output unchanged.
bool SetMatrix(SwrContext* context, const AVChannelLayout& outLayout,
               const AVChannelLayout& inLayout, float lfeLevel) {
    ff::av_opt_set(context, "rematrix_maxval", "1.0", 0);
    ff::av_opt_set(context, "lfe_mix_level", std::to_string(lfeLevel).c_str(), 0);
    if (inLayout.nb_channels == 1 && outLayout.nb_channels == 2) {
        static const double bothSides[] = {1.0, 1.0};
        return ff::swr_set_matrix(context, bothSides, 1) >= 0;
    }
    return true;
}

// A context from `in` to `out`; null when libswresample refuses the pair.
TResamplerPtr MakeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                            const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                            const TResamplerSetup& setup) {
    SwrContext* raw = nullptr;
    // The layouts are only read; the declaration lacks const.
    if (ff::swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&outLayout), outFormat, outRate,
                                const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0,
                                nullptr) < 0)
        return nullptr;
    TResamplerPtr context(raw);
    if (setup.compensating) {
        SetFilter(raw, true, false);
        // Drift compensation needs the resampling stage even when the rates are equal.
        ff::av_opt_set_int(raw, "swr_flags", SWR_FLAG_RESAMPLE, 0);
        if (!SetMatrix(raw, outLayout, inLayout, setup.lfeLevel))
            return nullptr;
    } else if (!ConfigureConversion(raw, outLayout, outFormat, inLayout, inFormat, setup.resampling,
                                    setup.lfeLevel)) {
        return nullptr;
    }
    ff::av_opt_set_int(raw, "dither_method", setup.dither, 0);
    if (setup.dither != SWR_DITHER_NONE && setup.outputBits > 0)
        ff::av_opt_set_int(raw, "output_sample_bits", setup.outputBits, 0);
    if (ff::swr_init(raw) < 0)
        return nullptr;
    return context;
}

// The dither of a conversion from the chunk's samples to the encoder's: triangular (or the
// method of option "dither_method") when bits are lost, none otherwise.
void ChooseDither(const TCustomFFmpeg& task, const EngineInputStream& ist,
                  const AVCodecContext* enc, AVSampleFormat inFormat, TResamplerSetup& setup) {
    const int rawBits = ist.decoder ? ist.decoder->bits_per_raw_sample : 0;
    const int inBits = SignificantBits(inFormat, rawBits);
    const int outBits = SignificantBits(enc->sample_fmt, enc->bits_per_raw_sample);
    if (!LosesBits(inBits, outBits))
        return;
    setup.dither = task.AudioDitherMethod.empty() ? SWR_DITHER_TRIANGULAR
                                                  : DitherMethodByName(task.AudioDitherMethod);
    if (setup.dither < 0)
        setup.dither = SWR_DITHER_NONE;
    if (ff::av_get_bytes_per_sample(enc->sample_fmt) == 4 && outBits < 32)
        setup.outputBits = outBits;
}

} // namespace

bool ConfigureConversion(SwrContext* context, const AVChannelLayout& outLayout,
                         AVSampleFormat outFormat, const AVChannelLayout& inLayout,
                         AVSampleFormat inFormat, bool resampling, float lfeLevel) {
    if (resampling)
        SetFilter(context, false, Wide(inFormat) || Wide(outFormat));
    return SetMatrix(context, outLayout, inLayout, lfeLevel);
}

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
    // Another channel count, layout or rate can only be reached through the resampler.
    const bool remap = LayoutsDiffer(decoded.ch_layout, enc->ch_layout);
    if (encChannels != in.channels || enc->sample_rate != decRate || remap)
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
    if (task.AudioSyncMethod <= 1 && !remap && ost.resampleSampleFmt == enc->sample_fmt &&
        ost.resampleChannels == encChannels && ost.resampleSampleRate == enc->sample_rate) {
        ost.resampler.reset();
        ost.audioResample = 0;
        return;
    }

    // The old generation resampled through s16 samples; the line stays for those who read it.
    if (ff::av_get_packed_sample_fmt(in.format) != AV_SAMPLE_FMT_S16)
        FFLogger()->Log(&task, llWarning,
                        "Warning, using s16 intermediate sample format for resampling");
    TLayout inLayout, outLayout;
    ResamplerLayout(decoded.ch_layout, in.channels, inLayout.value);
    ResamplerLayout(enc->ch_layout, encChannels, outLayout.value);
    TResamplerSetup setup;
    setup.resampling = decRate != enc->sample_rate;
    setup.compensating = task.AudioSyncMethod > 1;
    setup.lfeLevel = task.AudioLfeMixLevel;
    ChooseDither(task, ist, enc, in.format, setup);
    ost.resampler = MakeResampler(outLayout.value, enc->sample_fmt, enc->sample_rate,
                                  inLayout.value, in.format, decRate, setup);
    if (!ost.resampler)
        throw FFmpegException(
            FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", in.channels,
                       decRate, encChannels, enc->sample_rate));
    ost.audioResample = 1;
}

void PrepareConverter(const TCustomFFmpeg& task, EngineOutputStream& ost,
                      const EngineInputStream& ist, const TSampleRun& in) {
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
    TResamplerSetup setup;
    ChooseDither(task, ist, enc, in.format, setup);
    ost.reformatter = MakeResampler(layout.value, enc->sample_fmt, enc->sample_rate, layout.value,
                                    in.format, enc->sample_rate, setup);
    if (!ost.reformatter)
        throw FFmpegException(FormatText("Cannot convert %s sample format to %s sample format",
                                         SampleFormatName(in.format),
                                         SampleFormatName(enc->sample_fmt)));
    ost.reformatPair = pair;
}
