// Adding one stream to an output container: the encoder (chosen by name or the container's
// default for the kind), its context configured from the pending options, then the stream and
// its record. Everything that can be refused is settled before the stream is added, so a
// refused stream leaves the container as it was.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "options/OptionValues.h"
#include "output/Output.h"
#include "video/Video.h"

namespace {

using TStreamList = std::vector<std::unique_ptr<EngineOutputStream>>;

struct TEncoderChoice {
    const AVCodec* Codec = nullptr; // the encoder, or none
    const AVCodec* Named = nullptr; // the encoder chosen by name (the OutputCodecs entry)
    AVCodecID Id = AV_CODEC_ID_NONE;
};

// By name, checked by FindCodecByName; without a name the container's default for the kind.
TEncoderChoice ChooseEncoder(TCustomFFmpeg& task, const AVFormatContext* container,
                             AVMediaType type, const std::optional<std::string>& name) {
    TEncoderChoice choice;
    if (name.has_value()) {
        AVCodecID id = AV_CODEC_ID_NONE;
        if (!task.FindCodecByName(name, type, true, task.Strictness(type), id))
            throw FFmpegException(task.LastError);
        choice.Codec = ff::avcodec_find_encoder_by_name(name->c_str());
        choice.Named = choice.Codec;
        choice.Id = id;
    } else {
        choice.Id = ff::av_guess_codec(container->oformat, nullptr, container->url, nullptr, type);
        choice.Codec = ff::avcodec_find_encoder(choice.Id);
    }
    return choice;
}

TCodecContextPtr NewEncoderContext(const AVCodec* codec, AVMediaType type) {
    TCodecContextPtr enc(ff::avcodec_alloc_context3(codec));
    if (!enc)
        throw FFmpegException("Could not alloc stream");
    enc->codec_type = type;
    return enc;
}

AVCodecContext* Holder(TCustomFFmpeg& task, AVMediaType type) {
    return task.OptionContext ? task.OptionContext->CodecContexts[type].get() : nullptr;
}

void SetGlobalHeader(AVCodecContext* enc, AVCodecContext* holder) {
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (holder != nullptr)
        holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

bool FormatWantsGlobalHeader(const AVFormatContext* container) {
    return (container->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

// The sample aspect ratio of a picture of width x height shown at `aspect` (4:3 pictures when
// the size is unknown), as a fraction with terms of at most 255.
AVRational SampleAspectRatio(float aspect, int width, int height) {
    const double value = (static_cast<int64_t>(width) * height == 0)
                             ? aspect * 3.0 / 4.0
                             : static_cast<double>(aspect) * height / width;
    constexpr int64_t Scale = int64_t(1) << 29;
    AVRational sar{0, 1};
    ff::av_reduce(&sar.num, &sar.den, static_cast<int64_t>(value * Scale + 0.5), Scale, 255);
    return sar;
}

uint16_t* CopyMatrix(const TQuantMatrix& matrix) {
    auto* copy = static_cast<uint16_t*>(ff::av_malloc(sizeof(uint16_t) * matrix.size()));
    if (copy == nullptr)
        throw FFmpegException("Could not alloc stream");
    std::copy(matrix.begin(), matrix.end(), copy);
    return copy;
}

// An integer at text[pos] (optional sign, digits up to the next non-digit); pos moves past it.
int ReadInt(const std::string& text, size_t& pos) {
    const char* start = text.c_str() + pos;
    char* end = nullptr;
    const long v = std::strtol(start, &end, 10);
    pos += static_cast<size_t>(end - start);
    return static_cast<int>(v);
}

// "start,end,q" entries separated by "/": q above 0 is a fixed quantizer, otherwise -q/100
// is a quality factor.
void ParseRcOverride(const std::string& text, AVCodecContext* enc) {
    std::vector<RcOverride> entries;
    size_t pos = 0;
    while (pos != std::string::npos) {
        RcOverride entry{};
        entry.start_frame = ReadInt(text, pos);
        if (pos >= text.size() || text[pos] != ',')
            throw FFmpegException("error parsing rc_override");
        ++pos;
        entry.end_frame = ReadInt(text, pos);
        if (pos >= text.size() || text[pos] != ',')
            throw FFmpegException("error parsing rc_override");
        ++pos;
        const int q = ReadInt(text, pos);
        if (q > 0) {
            entry.qscale = q;
            entry.quality_factor = 1.0f;
        } else {
            entry.qscale = 0;
            entry.quality_factor = -q / 100.0f;
        }
        entries.push_back(entry);
        pos = text.find('/', pos);
        if (pos != std::string::npos)
            ++pos;
    }
    auto* list = static_cast<RcOverride*>(ff::av_malloc(sizeof(RcOverride) * entries.size()));
    if (list == nullptr)
        throw FFmpegException("Could not alloc stream");
    std::copy(entries.begin(), entries.end(), list);
    ff::av_freep(&enc->rc_override);
    enc->rc_override = list;
    enc->rc_override_count = static_cast<int>(entries.size());
}

// The channel layout of a new audio stream: the pending layout when it has that many
// channels, else an unspecified layout of the count.
void SetChannelLayout(AVCodecContext* enc, uint64_t layout, int channels) {
    ff::av_channel_layout_uninit(&enc->ch_layout);
    if (layout != 0 && std::popcount(layout) == channels &&
        ff::av_channel_layout_from_mask(&enc->ch_layout, layout) == 0)
        return;
    enc->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
    enc->ch_layout.nb_channels = channels;
}

// Adds the stream to the container and its record to the slot's list; the record takes the
// encoder context. The stream id comes from the map of "streamid" by position.
EngineOutputStream& AttachStream(AVFormatContext* container, int outputIndex, TStreamList& slot,
                                 const std::vector<int>& streamIdMap, TCodecContextPtr encoder) {
    const size_t position = container->nb_streams;
    std::unique_ptr<EngineOutputStream> record;
    try {
        record = std::make_unique<EngineOutputStream>();
        slot.reserve(slot.size() + 1);
    } catch (const std::bad_alloc&) {
        throw FFmpegException("Could not alloc output stream");
    }
    AVStream* st = ff::avformat_new_stream(container, nullptr);
    if (st == nullptr)
        throw FFmpegException("Could not alloc stream");
    st->id = position < streamIdMap.size() ? streamIdMap[position] : 0;
    record->fileIndex = outputIndex;
    record->streamIndex = st->index;
    record->stream = st;
    record->encoder = std::move(encoder);
    slot.push_back(std::move(record));
    return *slot.back();
}

// What the stream shows before its encoder is opened: the encoder's kind, id and settings.
void FinishStream(EngineOutputStream& ost, std::string& language) {
    AVStream* st = ost.stream;
    ff::avcodec_parameters_from_context(st->codecpar, ost.encoder.get());
    if (ost.encoder->time_base.num > 0 && ost.encoder->time_base.den > 0)
        st->time_base = ost.encoder->time_base;
    if (!language.empty()) {
        ff::av_dict_set(&st->metadata, "language", language.c_str(), 0);
        language.clear();
    }
}

TStreamList& SlotStreams(std::vector<TStreamList>& outputStreams, int outputIndex) {
    if (outputIndex < 0)
        throw FFmpegException("Could not alloc output stream");
    if (outputStreams.size() <= static_cast<size_t>(outputIndex))
        outputStreams.resize(static_cast<size_t>(outputIndex) + 1);
    return outputStreams[static_cast<size_t>(outputIndex)];
}

} // namespace

void TCustomFFmpeg::NewVideoStream(AVFormatContext* container, int outputIndex) {
    try {
        const bool copy = VideoStreamCopy != 0;
        TEncoderChoice choice;
        if (!copy)
            choice = ChooseEncoder(*this, container, AVMEDIA_TYPE_VIDEO, VideoCodecName);
        TCodecContextPtr enc = NewEncoderContext(choice.Codec, AVMEDIA_TYPE_VIDEO);
        AVCodecContext* holder = Holder(*this, AVMEDIA_TYPE_VIDEO);
        enc->thread_count = ThreadCount;
        if (VideoCodecTag != 0)
            enc->codec_tag = VideoCodecTag;
        if ((VideoGlobalHeader & 1) != 0 ||
            (VideoGlobalHeader == 0 && FormatWantsGlobalHeader(container)))
            SetGlobalHeader(enc.get(), holder);
        if ((VideoGlobalHeader & 2) != 0) {
            enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
            if (holder != nullptr)
                holder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        }

        std::vector<int64_t> keyFrames;
        if (copy) {
            enc->sample_aspect_ratio = SampleAspectRatio(FrameAspectRatio, FrameWidth, FrameHeight);
        } else {
            // An unset rate (either term 0) gives 25 pictures per second.
            AVRational fps =
                (FrameRate.num != 0 && FrameRate.den != 0) ? FrameRate : AVRational{25, 1};
            enc->codec_id = choice.Id;
            ApplyLibraryOptions(enc.get(), holder, choice.Codec, VideoEncoderMask);
            const AVCodec* codec = choice.Codec;
            if (codec != nullptr && codec->supported_framerates != nullptr && !ForceFps)
                fps = codec->supported_framerates[ff::av_find_nearest_q_idx(
                    fps, codec->supported_framerates)];
            enc->time_base = AVRational{fps.den, fps.num};
            enc->width = FrameWidth;
            enc->height = FrameHeight;
            enc->sample_aspect_ratio = SampleAspectRatio(FrameAspectRatio, FrameWidth, FrameHeight);
            enc->pix_fmt = static_cast<AVPixelFormat>(FramePixFmt);
            ChoosePixelFormat(enc.get(), codec);
            if (IntraOnly)
                enc->gop_size = 0;
            if (VideoQScale != 0 || SameQuality) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                enc->global_quality = static_cast<int>(FF_QP2LAMBDA * VideoQScale);
            }
            if (IntraMatrix)
                enc->intra_matrix = CopyMatrix(*IntraMatrix);
            if (InterMatrix)
                enc->inter_matrix = CopyMatrix(*InterMatrix);
            if (VideoRcOverride.has_value())
                ParseRcOverride(*VideoRcOverride, enc.get());
            if (enc->rc_initial_buffer_occupancy == 0)
                enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
            enc->intra_dc_precision = IntraDcPrecision - 8;
            if (DoPsnr)
                enc->flags |= AV_CODEC_FLAG_PSNR;
            if (PassNumber == 1)
                enc->flags |= AV_CODEC_FLAG_PASS1;
            else if (PassNumber == 2)
                enc->flags |= AV_CODEC_FLAG_PASS2;
            if (!ForcedKeyFrames.empty())
                keyFrames = ParseForcedKeyFrames(ForcedKeyFrames, enc->time_base);
        }

        EngineOutputStream& ost =
            AttachStream(container, outputIndex, SlotStreams(OutputStreams, outputIndex),
                         StreamIdMap, std::move(enc));
        OutputCodecs.push_back(choice.Named);
        ost.streamCopy = copy ? 1 : 0;
        ost.bitstreamFilters = std::move(VideoBitstreamFilters);
        VideoBitstreamFilters.clear();
        ost.forcedKeyFramePts = std::move(keyFrames);
        ost.stream->sample_aspect_ratio = ost.encoder->sample_aspect_ratio;
        FinishStream(ost, VideoLanguage);
    } catch (...) {
        VideoCodecName.reset();
        throw;
    }
    VideoDisable = false;
    VideoCodecName.reset();
    ForcedKeyFrames.clear();
    VideoStreamCopy = 0;
    FramePixFmt = -1;
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext* container, int outputIndex) {
    try {
        const bool copy = AudioStreamCopy != 0;
        TEncoderChoice choice;
        if (!copy)
            choice = ChooseEncoder(*this, container, AVMEDIA_TYPE_AUDIO, AudioCodecName);
        TCodecContextPtr enc = NewEncoderContext(choice.Codec, AVMEDIA_TYPE_AUDIO);
        AVCodecContext* holder = Holder(*this, AVMEDIA_TYPE_AUDIO);
        enc->thread_count = ThreadCount;
        if (AudioCodecTag != 0)
            enc->codec_tag = AudioCodecTag;
        if (FormatWantsGlobalHeader(container))
            SetGlobalHeader(enc.get(), holder);

        if (copy) {
            SetChannelLayout(enc.get(), 0, AudioChannels);
            enc->sample_rate = AudioSampleRate;
        } else {
            enc->codec_id = choice.Id;
            ApplyLibraryOptions(enc.get(), holder, choice.Codec, AudioEncoderMask);
            if (AudioQScale > -99999) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                enc->global_quality = static_cast<int>(FF_QP2LAMBDA * AudioQScale);
            }
            SetChannelLayout(enc.get(), ChannelLayout, AudioChannels);
            enc->sample_fmt = static_cast<AVSampleFormat>(AudioSampleFmt);
            enc->sample_rate = AudioSampleRate;
            ChooseChannelLayout(enc.get(), choice.Codec);
            ChooseSampleFormat(enc.get(), choice.Codec);
            ChooseSampleRate(enc.get(), choice.Codec, this);
        }
        // The time base follows the rate the encoder really gets, so that sample counts are
        // time stamps.
        enc->time_base = AVRational{1, enc->sample_rate > 0 ? enc->sample_rate : 1};

        EngineOutputStream& ost =
            AttachStream(container, outputIndex, SlotStreams(OutputStreams, outputIndex),
                         StreamIdMap, std::move(enc));
        OutputCodecs.push_back(choice.Named);
        ost.streamCopy = copy ? 1 : 0;
        ost.bitstreamFilters = std::move(AudioBitstreamFilters);
        AudioBitstreamFilters.clear();
        FinishStream(ost, AudioLanguage);
    } catch (...) {
        AudioCodecName.reset();
        AudioLanguage.clear();
        throw;
    }
    AudioDisable = false;
    AudioCodecName.reset();
    AudioStreamCopy = 0;
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext* container, int outputIndex) {
    try {
        const bool copy = SubtitleStreamCopy != 0;
        TEncoderChoice choice;
        if (!copy) {
            choice = ChooseEncoder(*this, container, AVMEDIA_TYPE_SUBTITLE, SubtitleCodecName);
            choice.Named = choice.Codec;
        }
        TCodecContextPtr enc = NewEncoderContext(choice.Codec, AVMEDIA_TYPE_SUBTITLE);
        AVCodecContext* holder = Holder(*this, AVMEDIA_TYPE_SUBTITLE);
        if (SubtitleCodecTag != 0)
            enc->codec_tag = SubtitleCodecTag;
        if (FormatWantsGlobalHeader(container))
            SetGlobalHeader(enc.get(), holder);
        if (!copy) {
            enc->codec_id = choice.Id;
            ApplyLibraryOptions(enc.get(), holder, choice.Codec, SubtitleEncoderMask);
        }

        EngineOutputStream& ost =
            AttachStream(container, outputIndex, SlotStreams(OutputStreams, outputIndex),
                         StreamIdMap, std::move(enc));
        OutputCodecs.push_back(choice.Named);
        ost.streamCopy = copy ? 1 : 0;
        ost.bitstreamFilters = std::move(SubtitleBitstreamFilters);
        SubtitleBitstreamFilters.clear();
        FinishStream(ost, SubtitleLanguage);
    } catch (...) {
        SubtitleCodecName.reset();
        SubtitleLanguage.clear();
        throw;
    }
    SubtitleDisable = false;
    SubtitleCodecName.reset();
    SubtitleStreamCopy = 0;
}
