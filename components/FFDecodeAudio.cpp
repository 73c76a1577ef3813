#include "FFDecodeAudio.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "CodecLock.h"
#include "audio/Audio.h"
#include "files/UnicodeProtocol.h"
#include "utils/FFUtils.h"

namespace {

struct TLayout {
    AVChannelLayout value{};
    ~TLayout() { ff::av_channel_layout_uninit(&value); }
};

// The layout of `channels`: the decoder's own when it has that many, else the default one.
void LayoutOf(const AVChannelLayout& own, int channels, AVChannelLayout& out) {
    if (own.order != AV_CHANNEL_ORDER_UNSPEC && own.nb_channels == channels &&
        ff::av_channel_layout_copy(&out, &own) == 0)
        return;
    ff::av_channel_layout_default(&out, channels);
}

// One interleaved sample of `format` at `p`, divided by the format's full scale.
double SampleValue(AVSampleFormat format, const uint8_t* p) {
    switch (format) {
    case AV_SAMPLE_FMT_U8:
        return (static_cast<int>(*p) - 128) / 128.0;
    case AV_SAMPLE_FMT_S16: {
        int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v / 32768.0;
    }
    case AV_SAMPLE_FMT_S32: {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v / 2147483648.0;
    }
    case AV_SAMPLE_FMT_S64: {
        int64_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<double>(v) / 9223372036854775808.0;
    }
    case AV_SAMPLE_FMT_FLT: {
        float v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    case AV_SAMPLE_FMT_DBL: {
        double v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    default:
        return 0;
    }
}

} // namespace

double SampleFullScale(AVSampleFormat format) {
    switch (ff::av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return 128.0;
    case AV_SAMPLE_FMT_S16:
        return 32768.0;
    case AV_SAMPLE_FMT_S32:
        return 2147483648.0;
    case AV_SAMPLE_FMT_S64:
        return 9223372036854775808.0;
    default:
        return 1.0;
    }
}

TAudioDecodeReader::TAudioDecodeReader() = default;

TAudioDecodeReader::~TAudioDecodeReader() {
    if (decoder_) {
        TCodecLock lock;
        decoder_.reset();
    }
}

bool TAudioDecodeReader::Fail(const std::string& message) {
    lastErrMsg_ = message;
    return false;
}

bool TAudioDecodeReader::Open(const std::string& fileName) {
    fileName_ = fileName;
    AVFormatContext* ctx = nullptr;
    const int opened = OpenInputContext(&ctx, FileNameToURL(fileName), nullptr, nullptr);
    if (opened < 0)
        return Fail(FormatErrorMessage(fileName, opened));
    input_.reset(ctx);
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0)
        return Fail(fileName + ": could not find codec parameters");
    const AVCodec* codec = nullptr;
    streamIndex_ = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || codec == nullptr)
        return Fail(fileName + ": no audio stream that can be decoded");
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex_)
            ctx->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* st = ctx->streams[streamIndex_];
    decoder_.reset(ff::avcodec_alloc_context3(codec));
    frame_.reset(ff::av_frame_alloc());
    packet_.reset(ff::av_packet_alloc());
    if (!decoder_ || !frame_ || !packet_)
        return Fail(FormatErrorMessage(fileName, AVERROR(ENOMEM)));
    int ret = ff::avcodec_parameters_to_context(decoder_.get(), st->codecpar);
    if (ret >= 0) {
        decoder_->pkt_timebase = st->time_base;
        TCodecLock lock;
        ret = ff::avcodec_open2(decoder_.get(), codec, nullptr);
    }
    if (ret < 0)
        return Fail(FormatErrorMessage(fileName, ret));
    source_.SampleRate = decoder_->sample_rate;
    source_.Channels = decoder_->ch_layout.nb_channels;
    source_.Format = ff::av_get_packed_sample_fmt(decoder_->sample_fmt);
    if (source_.SampleRate <= 0 || source_.Channels <= 0 || source_.Format == AV_SAMPLE_FMT_NONE)
        return Fail(fileName + ": could not find codec parameters");
    return SetTarget(source_);
}

bool TAudioDecodeReader::SetTarget(const TAudioFormat& target) {
    if (!decoder_)
        return Fail("no file open");
    if (target.SampleRate <= 0 || target.Channels <= 0 ||
        ff::av_sample_fmt_is_planar(target.Format) || target.Format == AV_SAMPLE_FMT_NONE)
        return Fail("invalid target format");
    TLayout in, out;
    LayoutOf(decoder_->ch_layout, source_.Channels, in.value);
    LayoutOf(decoder_->ch_layout, target.Channels, out.value);
    SwrContext* raw = nullptr;
    if (ff::swr_alloc_set_opts2(&raw, &out.value, target.Format, target.SampleRate, &in.value,
                                decoder_->sample_fmt, source_.SampleRate, 0, nullptr) < 0)
        return Fail("cannot convert the samples");
    TResamplerPtr converter(raw);
    // The filter and channel matrix the conversion itself uses.
    if (!ConfigureConversion(raw, out.value, target.Format, in.value, decoder_->sample_fmt,
                             target.SampleRate != source_.SampleRate) ||
        ff::swr_init(raw) < 0)
        return Fail("cannot convert the samples");
    converter_ = std::move(converter);
    target_ = target;
    return true;
}

bool TAudioDecodeReader::ConvertFrame(const AVFrame* frame) {
    const int inFrames = frame != nullptr ? frame->nb_samples : 0;
    const int room = ff::swr_get_out_samples(converter_.get(), inFrames);
    if (room < 0)
        return Fail("cannot convert the samples");
    if (room == 0)
        return true;
    const int bytes = ff::av_get_bytes_per_sample(target_.Format);
    std::vector<uint8_t> buffer(static_cast<size_t>(room) * target_.Channels * bytes);
    uint8_t* outPlanes[1] = {buffer.data()};
    const int converted = ff::swr_convert(
        converter_.get(), outPlanes, room,
        frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inFrames);
    if (converted < 0)
        return Fail(FormatErrorMessage(fileName_, converted));
    if (pendingStart_ > 0) {
        pending_.erase(pending_.begin(),
                       pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_));
        pendingStart_ = 0;
    }
    const size_t count = static_cast<size_t>(converted) * target_.Channels;
    pending_.reserve(pending_.size() + count);
    for (size_t i = 0; i < count; ++i)
        pending_.push_back(SampleValue(target_.Format, buffer.data() + i * bytes));
    return true;
}

bool TAudioDecodeReader::Flush() {
    flushed_ = true;
    for (;;) {
        const size_t before = pending_.size();
        if (!ConvertFrame(nullptr))
            return false;
        if (pending_.size() == before)
            return true;
    }
}

bool TAudioDecodeReader::DecodeMore() {
    while (!decoderDrained_) {
        const int got = ff::avcodec_receive_frame(decoder_.get(), frame_.get());
        if (got == 0) {
            if (frame_->sample_rate != source_.SampleRate ||
                frame_->ch_layout.nb_channels != source_.Channels ||
                ff::av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame_->format)) !=
                    source_.Format) {
                ff::av_frame_unref(frame_.get());
                return Fail(fileName_ + ": the audio format changes within the file");
            }
            const bool ok = ConvertFrame(frame_.get());
            ff::av_frame_unref(frame_.get());
            return ok;
        }
        if (got == AVERROR_EOF) {
            decoderDrained_ = true;
            break;
        }
        if (got != AVERROR(EAGAIN))
            return Fail(FormatErrorMessage(fileName_, got));
        if (inputEnded_)
            return Fail(FormatErrorMessage(fileName_, AVERROR_EOF));
        const int read = ff::av_read_frame(input_.get(), packet_.get());
        if (read == AVERROR_EOF) {
            inputEnded_ = true;
            ff::avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        if (read < 0)
            return Fail(FormatErrorMessage(fileName_, read));
        int sent = 0;
        if (packet_->stream_index == streamIndex_)
            sent = ff::avcodec_send_packet(decoder_.get(), packet_.get());
        ff::av_packet_unref(packet_.get());
        // A damaged packet is the decoder's to conceal, as in a conversion.
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
            return Fail(FormatErrorMessage(fileName_, sent));
    }
    if (!flushed_)
        return Flush();
    return false;
}

int64_t TAudioDecodeReader::Read(std::vector<double>& out, int64_t frames) {
    if (!decoder_) {
        lastErrMsg_ = "no file open";
        return -1;
    }
    const size_t channels = static_cast<size_t>(target_.Channels);
    const size_t wanted = static_cast<size_t>(frames) * channels;
    lastErrMsg_.clear();
    while (pending_.size() - pendingStart_ < wanted) {
        if (!DecodeMore()) {
            if (!lastErrMsg_.empty())
                return -1;
            break;
        }
    }
    const size_t available = pending_.size() - pendingStart_;
    const size_t taken = std::min(available, wanted) / channels * channels;
    out.insert(out.end(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_),
               pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_ + taken));
    pendingStart_ += taken;
    return static_cast<int64_t>(taken / channels);
}
