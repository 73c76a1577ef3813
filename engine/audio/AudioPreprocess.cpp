// Audio pre-processing of every decode round of an audio input stream: the task's
// OnAudioHook, then the volume of option "vol", both on the decoded samples in place.
#include <algorithm>
#include <cstring>
#include <limits>

#include "FFmpeg.h"
#include "audio/Audio.h"

namespace {

__extension__ typedef __int128 TInt128;

// (s x volume + 128) >> 8, clipped to the range of T.
template <typename T, typename Wide> void ScaleInteger(uint8_t* plane, int64_t count, int volume) {
    T* p = reinterpret_cast<T*>(plane);
    constexpr Wide lo = std::numeric_limits<T>::min();
    constexpr Wide hi = std::numeric_limits<T>::max();
    for (int64_t i = 0; i < count; ++i) {
        const Wide v = (static_cast<Wide>(p[i]) * volume + 128) >> 8;
        p[i] = static_cast<T>(std::clamp(v, lo, hi));
    }
}

// Unsigned 8-bit samples are centred on 128.
void ScaleUnsigned8(uint8_t* p, int64_t count, int volume) {
    for (int64_t i = 0; i < count; ++i) {
        const int v = ((static_cast<int>(p[i]) - 128) * volume + 128) >> 8;
        p[i] = static_cast<uint8_t>(std::clamp(v, -128, 127) + 128);
    }
}

template <typename T> void ScaleFloat(uint8_t* plane, int64_t count, int volume) {
    T* p = reinterpret_cast<T*>(plane);
    const T gain = static_cast<T>(volume) / 256;
    for (int64_t i = 0; i < count; ++i)
        p[i] *= gain;
}

} // namespace

void ApplyVolume(uint8_t* const* planes, AVSampleFormat format, int channels, int samples,
                 int volume) {
    const bool planar = ff::av_sample_fmt_is_planar(format);
    const int planeCount = planar ? channels : 1;
    const int64_t count = static_cast<int64_t>(samples) * (planar ? 1 : channels);
    for (int p = 0; p < planeCount; ++p) {
        uint8_t* plane = planes[p];
        switch (ff::av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            ScaleUnsigned8(plane, count, volume);
            break;
        case AV_SAMPLE_FMT_S16:
            ScaleInteger<int16_t, int64_t>(plane, count, volume);
            break;
        case AV_SAMPLE_FMT_S32:
            ScaleInteger<int32_t, int64_t>(plane, count, volume);
            break;
        case AV_SAMPLE_FMT_S64:
            ScaleInteger<int64_t, TInt128>(plane, count, volume);
            break;
        case AV_SAMPLE_FMT_FLT:
            ScaleFloat<float>(plane, count, volume);
            break;
        case AV_SAMPLE_FMT_DBL:
            ScaleFloat<double>(plane, count, volume);
            break;
        default:
            return;
        }
    }
}

void TCustomFFmpeg::AudioPreprocess(EngineInputStream& ist, AVFrame* decoded) {
    const bool hook = static_cast<bool>(OnAudioHook);
    if (!hook && AudioVolume == 256)
        return;
    const AVCodecContext* dec = ist.decoder.get();

    if (!decoded || decoded->nb_samples <= 0) {
        // A round without decoded samples: the hook still hears of it.
        if (hook)
            OnAudioHook(this, nullptr, ist.pts, 0, dec ? dec->sample_rate : 0,
                        dec ? dec->ch_layout.nb_channels : 0,
                        dec ? dec->sample_fmt : AV_SAMPLE_FMT_NONE);
        return;
    }

    const AVSampleFormat format = static_cast<AVSampleFormat>(decoded->format);
    const int channels = decoded->ch_layout.nb_channels;
    const int samples = decoded->nb_samples;
    if (format == AV_SAMPLE_FMT_NONE || channels <= 0)
        return;
    // The samples change in place: the frame must not share its buffers with the decoder.
    if (ff::av_frame_make_writable(decoded) < 0)
        throw FFmpegException("Cannot change the decoded audio: out of memory");

    if (hook) {
        const int bytesPerSample = ff::av_get_bytes_per_sample(format);
        const int64_t planeBytes = static_cast<int64_t>(samples) * bytesPerSample;
        const int64_t size = planeBytes * channels;
        const int bytes =
            static_cast<int>(std::min<int64_t>(size, std::numeric_limits<int>::max()));
        if (ff::av_sample_fmt_is_planar(format) && channels > 1) {
            // The planes one after the other, and back again after the hook.
            AudioHookBuffer.resize(static_cast<size_t>(size));
            for (int c = 0; c < channels; ++c)
                std::memcpy(AudioHookBuffer.data() + c * planeBytes, decoded->extended_data[c],
                            static_cast<size_t>(planeBytes));
            OnAudioHook(this, AudioHookBuffer.data(), ist.pts, bytes, decoded->sample_rate,
                        channels, format);
            for (int c = 0; c < channels; ++c)
                std::memcpy(decoded->extended_data[c], AudioHookBuffer.data() + c * planeBytes,
                            static_cast<size_t>(planeBytes));
        } else {
            OnAudioHook(this, decoded->extended_data[0], ist.pts, bytes, decoded->sample_rate,
                        channels, format);
        }
    }

    if (AudioVolume != 256)
        ApplyVolume(decoded->extended_data, format, channels, samples, AudioVolume);
}
