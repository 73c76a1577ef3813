// The streams of an opened input: their decoder contexts, the parameters they hand back to
// the pending options (so that outputs made later inherit them), and the kinds of streams the
// opened inputs hold.
#include "FFmpeg.h"
#include "binding/AVCodecStubs.h"
#include "input/Input.h"
#include "log/FFLog.h"

namespace {

bool ValidMediaType(int type) {
    return type >= AVMEDIA_TYPE_UNKNOWN && type < AVMEDIA_TYPE_NB;
}

float RatioValue(AVRational r) {
    return r.den != 0 ? static_cast<float>(r.num) / static_cast<float>(r.den) : 0.0f;
}

void ReadVideoParameters(TCustomFFmpeg& t, AVStream* st, AVCodecContext* dec) {
    t.FrameHeight = dec->height;
    t.FrameWidth = dec->width;

    // Display aspect from the sample aspect (the container's, else the codec's) and the size.
    const float sampleAspect = RatioValue(
        st->sample_aspect_ratio.num != 0 ? st->sample_aspect_ratio : dec->sample_aspect_ratio);
    if (static_cast<int64_t>(dec->width) * dec->height != 0)
        t.FrameAspectRatio = (sampleAspect != 0 ? sampleAspect : 1.0f) *
                             static_cast<float>(dec->width) / static_cast<float>(dec->height);
    else
        t.FrameAspectRatio = sampleAspect != 0 ? sampleAspect : 4.0f / 3.0f;

    if (dec->pix_fmt == AV_PIX_FMT_NONE)
        dec->pix_fmt = AV_PIX_FMT_YUV420P;
    t.FramePixFmt = dec->pix_fmt;

    // Reduced resolution: the picture the decoder will deliver. (Decoders emulate picture
    // edges on their own today.)
    if (dec->lowres != 0) {
        t.FrameWidth >>= dec->lowres;
        t.FrameHeight >>= dec->lowres;
        dec->width = t.FrameWidth;
        dec->height = t.FrameHeight;
    }
    // A motion estimation threshold works on the motion vectors the decoder exports.
    if (t.MeThreshold != 0)
        dec->export_side_data |= AV_CODEC_EXPORT_DATA_MVS;

    // The codec's own rate is the one stream information found for the frames; the real rate
    // is the container's smallest rate that represents every time stamp.
    const AVRational codecRate = st->avg_frame_rate;
    const AVRational realRate = st->r_frame_rate;
    if (codecRate.num != 0 && codecRate.den != 0 &&
        (codecRate.num != realRate.num || codecRate.den != realRate.den)) {
        if (t.Verbose >= 0)
            FFLogger()->LogFmt(&t, llInfo,
                               "Seems stream %d codec frame rate differs from container frame "
                               "rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                               st->index, static_cast<double>(RatioValue(codecRate)), codecRate.num,
                               codecRate.den, static_cast<double>(RatioValue(realRate)),
                               realRate.num, realRate.den);
    }
    if (codecRate.num != 0 && codecRate.den != 0)
        dec->framerate = codecRate;
    t.FrameRate = realRate;

    if (t.VideoDisable)
        st->discard = AVDISCARD_ALL;
    else if (t.VideoDiscard != 0)
        st->discard = static_cast<AVDiscard>(t.VideoDiscard);
}

void ReadAudioParameters(TCustomFFmpeg& t, AVStream* st, AVCodecContext* dec) {
    t.ChannelLayout = dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? dec->ch_layout.u.mask : 0;
    t.AudioChannels = dec->ch_layout.nb_channels;
    t.AudioSampleRate = dec->sample_rate;
    t.AudioSampleFmt = dec->sample_fmt;
    if (t.AudioDisable)
        st->discard = AVDISCARD_ALL;
    if (dec->lowres != 0)
        t.AudioSampleRate >>= dec->lowres;
}

const AVCodec* DecoderByName(const std::optional<std::string>& name) {
    return name.has_value() ? ff::avcodec_find_decoder_by_name(name->c_str()) : nullptr;
}

} // namespace

TCodecContextPtr PrepareInputStream(TCustomFFmpeg& t, AVStream* st, const AVCodec*& byName) {
    byName = nullptr;
    const int type = st->codecpar->codec_type;
    if (!ValidMediaType(type))
        throw FFmpegException("invalid codec_type");
    if (type == AVMEDIA_TYPE_VIDEO)
        byName = DecoderByName(t.VideoCodecName);
    else if (type == AVMEDIA_TYPE_AUDIO)
        byName = DecoderByName(t.AudioCodecName);
    else if (type == AVMEDIA_TYPE_SUBTITLE)
        byName = DecoderByName(t.SubtitleCodecName);

    // The context is made for the decoder chosen by name, so that its private options can be
    // set; without one the run picks the decoder by codec id.
    TCodecContextPtr dec(ff::avcodec_alloc_context3(byName));
    if (!dec)
        throw FFmpegException("avcodec_alloc_context3 failed");
    if (ff::avcodec_parameters_to_context(dec.get(), st->codecpar) < 0)
        throw FFmpegException("avcodec_parameters_to_context failed");
    dec->pkt_timebase = st->time_base;
    dec->thread_count = t.ThreadCount;

    TOptionContext* store = t.OptionContext.get();
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        if (store != nullptr)
            t.ApplyLibraryOptions(dec.get(), store->CodecContexts[AVMEDIA_TYPE_VIDEO].get(), byName,
                                  VideoDecoderMask);
        ReadVideoParameters(t, st, dec.get());
        break;
    case AVMEDIA_TYPE_AUDIO:
        if (store != nullptr)
            t.ApplyLibraryOptions(dec.get(), store->CodecContexts[AVMEDIA_TYPE_AUDIO].get(), byName,
                                  AudioDecoderMask);
        ReadAudioParameters(t, st, dec.get());
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        if (t.SubtitleDisable)
            st->discard = AVDISCARD_ALL;
        break;
    default: // data, attachments and streams of no known kind
        break;
    }
    return dec;
}

void TCustomFFmpeg::CheckInputStreamKinds(bool firstOnly, bool& hasVideo, bool& hasAudio,
                                          bool& hasSubtitle) const {
    hasVideo = false;
    hasAudio = false;
    hasSubtitle = false;
    const size_t files = firstOnly ? std::min<size_t>(1, InputFiles.size()) : InputFiles.size();
    for (size_t f = 0; f < files; ++f) {
        const AVFormatContext* ic = InputFiles[f]->Container.get();
        if (ic == nullptr)
            continue;
        for (unsigned i = 0; i < ic->nb_streams; ++i) {
            const int type = ic->streams[i]->codecpar->codec_type;
            if (!ValidMediaType(type))
                throw FFmpegException("invalid codec_type of input file");
            if (type == AVMEDIA_TYPE_VIDEO)
                hasVideo = true;
            else if (type == AVMEDIA_TYPE_AUDIO)
                hasAudio = true;
            else if (type == AVMEDIA_TYPE_SUBTITLE)
                hasSubtitle = true;
        }
    }
}
