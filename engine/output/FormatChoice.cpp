// The format choices for encoded streams: what the encoder supports wins over what was asked.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FFmpegException.h"
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

// Layouts that encoders take without listing them. libopus codes more than two channels with
// mapping family 1, in the Vorbis channel orders.
constexpr uint64_t OpusLayouts[] = {
    AV_CH_LAYOUT_MONO,    AV_CH_LAYOUT_STEREO,       AV_CH_LAYOUT_SURROUND,
    AV_CH_LAYOUT_QUAD,    AV_CH_LAYOUT_5POINT0_BACK, AV_CH_LAYOUT_5POINT1_BACK,
    AV_CH_LAYOUT_6POINT1, AV_CH_LAYOUT_7POINT1,      0};

struct TUnlistedLayouts {
    const char* Encoder;
    const uint64_t* Masks; // ended by 0
};
constexpr TUnlistedLayouts UnlistedLayouts[] = {
    {"libopus", OpusLayouts},
};

// The layouts the encoder takes; empty: any.
std::vector<AVChannelLayout> TakenLayouts(const AVCodec* codec) {
    std::vector<AVChannelLayout> taken;
    if (codec == nullptr)
        return taken;
    if (codec->ch_layouts != nullptr) {
        for (const AVChannelLayout* p = codec->ch_layouts; p->nb_channels != 0; ++p)
            taken.push_back(*p); // read only, never freed: the codec owns it
        return taken;
    }
    for (const TUnlistedLayouts& row : UnlistedLayouts)
        if (codec->name != nullptr && std::strcmp(row.Encoder, codec->name) == 0)
            for (const uint64_t* mask = row.Masks; *mask != 0; ++mask) {
                AVChannelLayout layout{};
                if (ff::av_channel_layout_from_mask(&layout, *mask) == 0)
                    taken.push_back(layout); // a native layout owns no memory
            }
    return taken;
}

std::string LayoutName(const AVChannelLayout& layout) {
    char name[128] = "";
    if (ff::av_channel_layout_describe(&layout, name, sizeof name) < 0)
        return std::to_string(layout.nb_channels) + " channels";
    return name;
}

std::string LayoutNames(const std::vector<AVChannelLayout>& layouts) {
    std::string names;
    for (const AVChannelLayout& layout : layouts)
        names += (names.empty() ? "" : ", ") + LayoutName(layout);
    return names;
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
    const std::vector<AVChannelLayout> taken = TakenLayouts(codec);
    if (!taken.empty()) {
        for (const AVChannelLayout& p : taken)
            if (ff::av_channel_layout_compare(&p, &layout) == 0)
                return;
        // Another layout of the count (5.1 for 5.1(side)): the resampler maps the channels.
        for (const AVChannelLayout& p : taken)
            if (p.nb_channels == channels) {
                ff::av_channel_layout_uninit(&layout);
                ff::av_channel_layout_copy(&layout, &p);
                return;
            }
        throw FFmpegException(
            FormatText("Encoder %s does not take the channel layout %s; it takes %s", codec->name,
                       LayoutName(layout).c_str(), LayoutNames(taken).c_str()));
    }
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        ff::av_channel_layout_uninit(&layout);
        ff::av_channel_layout_default(&layout, channels);
    }
}
