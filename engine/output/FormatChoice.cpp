// The format choices for encoded streams: what the encoder supports wins over what was asked.
#include <cstdlib>

#include "TextUtils.h"
#include "binding/AVUtilStubs.h"
#include "log/FFLog.h"
#include "output/Output.h"

namespace {

bool ListsSampleFormat(const AVCodec* codec, AVSampleFormat format) {
    for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == format)
            return true;
    return false;
}

} // namespace

void ChooseSampleFormat(AVCodecContext* enc, const AVCodec* codec) {
    if (codec == nullptr || codec->sample_fmts == nullptr ||
        codec->sample_fmts[0] == AV_SAMPLE_FMT_NONE)
        return;
    if (ListsSampleFormat(codec, enc->sample_fmt))
        return;
    // The same samples in the other layout (planar or packed) keep the precision of the
    // source; only when the encoder takes neither does its first format stand.
    if (enc->sample_fmt != AV_SAMPLE_FMT_NONE) {
        const AVSampleFormat twin = ff::av_sample_fmt_is_planar(enc->sample_fmt)
                                        ? ff::av_get_packed_sample_fmt(enc->sample_fmt)
                                        : ff::av_get_planar_sample_fmt(enc->sample_fmt);
        if (twin != AV_SAMPLE_FMT_NONE && ListsSampleFormat(codec, twin)) {
            enc->sample_fmt = twin;
            return;
        }
    }
    enc->sample_fmt = codec->sample_fmts[0];
}

void ChooseSampleRate(AVCodecContext* enc, const AVCodec* codec, void* sender) {
    if (codec == nullptr || codec->supported_samplerates == nullptr)
        return;
    int best = 0;
    long long bestDiff = 0;
    for (const int* p = codec->supported_samplerates; *p != 0; ++p) {
        const long long diff = std::llabs(static_cast<long long>(enc->sample_rate) - *p);
        if (best == 0 || diff < bestDiff) {
            best = *p;
            bestDiff = diff;
        }
    }
    if (best == 0)
        return;
    if (best != enc->sample_rate)
        FFLogger()->Log(
            sender, llWarning,
            FormatText("Requested sampling rate unsupported using closest supported (%d)", best));
    enc->sample_rate = best;
}

void ChoosePixelFormat(AVCodecContext* enc, const AVCodec* codec) {
    if (codec == nullptr || codec->pix_fmts == nullptr || codec->pix_fmts[0] == AV_PIX_FMT_NONE)
        return;
    // Outside strict compliance the JPEG encoders also take the full-range formats.
    static const AVPixelFormat MJpegCandidates[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
                                                    AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P,
                                                    AV_PIX_FMT_NONE};
    static const AVPixelFormat LJpegCandidates[] = {
        AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV420P,
        AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,  AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};
    const AVPixelFormat* candidates = codec->pix_fmts;
    if (enc->strict_std_compliance < 0) {
        if (codec->id == AV_CODEC_ID_MJPEG)
            candidates = MJpegCandidates;
        else if (codec->id == AV_CODEC_ID_LJPEG)
            candidates = LJpegCandidates;
    }
    for (const AVPixelFormat* p = candidates; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == enc->pix_fmt)
            return;
    enc->pix_fmt = codec->pix_fmts[0];
}

void ChooseChannelLayout(AVCodecContext* enc, const AVCodec* codec) {
    AVChannelLayout& layout = enc->ch_layout;
    const int channels = layout.nb_channels;
    if (channels <= 0)
        return;
    if (codec != nullptr && codec->ch_layouts != nullptr) {
        for (const AVChannelLayout* p = codec->ch_layouts; p->nb_channels != 0; ++p)
            if (ff::av_channel_layout_compare(p, &layout) == 0)
                return;
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            for (const AVChannelLayout* p = codec->ch_layouts; p->nb_channels != 0; ++p)
                if (p->nb_channels == channels) {
                    ff::av_channel_layout_uninit(&layout);
                    ff::av_channel_layout_copy(&layout, p);
                    return;
                }
    }
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        ff::av_channel_layout_uninit(&layout);
        ff::av_channel_layout_default(&layout, channels);
    }
}
