// Join mode: at the end of one input the run drains its decoders and the encoders they feed,
// gives the next group of output streams fresh encoders and the counters reached so far, and
// moves the next input's timestamps behind the output time reached.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "CodecLock.h"
#include "TextUtils.h"
#include "run/Run.h"
#include "utils/FFUtils.h"

TCodecContextPtr CloneEncoderSettings(const AVCodecContext* src, const AVCodec* codec) {
    TCodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx)
        throw FFmpegException("av_mallocz fail");
    ff::av_opt_copy(ctx.get(), src);
    if (codec != nullptr && codec->priv_class != nullptr && src->priv_data != nullptr &&
        ctx->priv_data != nullptr)
        ff::av_opt_copy(ctx->priv_data, src->priv_data);
    // The fields every encoder depends on, whatever the option table covers.
    ctx->codec_type = src->codec_type;
    ctx->codec_id = src->codec_id;
    ctx->codec_tag = src->codec_tag;
    ctx->time_base = src->time_base;
    ctx->bit_rate = src->bit_rate;
    ctx->flags = src->flags;
    ctx->flags2 = src->flags2;
    ctx->global_quality = src->global_quality;
    ctx->compression_level = src->compression_level;
    ctx->bits_per_raw_sample = src->bits_per_raw_sample;
    ctx->sample_rate = src->sample_rate;
    ctx->sample_fmt = src->sample_fmt;
    ff::av_channel_layout_uninit(&ctx->ch_layout);
    if (ff::av_channel_layout_copy(&ctx->ch_layout, &src->ch_layout) < 0)
        throw FFmpegException("av_mallocz fail");
    ctx->width = src->width;
    ctx->height = src->height;
    ctx->pix_fmt = src->pix_fmt;
    ctx->sample_aspect_ratio = src->sample_aspect_ratio;
    return ctx;
}

void TTranscodeRun::KeepPristineEncoder(int position) {
    if (static_cast<int>(pristineEncoders_.size()) < groupSize_)
        pristineEncoders_.resize(groupSize_);
    const int k = position % std::max(groupSize_, 1);
    pristineEncoders_[k] =
        CloneEncoderSettings(ostTable_[position]->encoder.get(), encoderCodecs_[position]);
}

bool TTranscodeRun::JoinSwitch(int file) {
    const int n = groupSize_;
    const int tableSize = static_cast<int>(ostTable_.size());
    const bool last = file >= task_.InputCount() - 1;

    // Drain the ended input's decoders (and with them the encoders they feed).
    const int first = files_[file].firstStreamIndex;
    for (int i = first; i < first + files_[file].nbStreams; ++i) {
        EngineInputStream& ist = *task_.InputStreams[i];
        if (!ist.decodingNeeded)
            continue;
        DecodeAndRoute(ist, i, nullptr);
        ff::avcodec_flush_buffers(ist.decoder.get());
        ist.flushed = 1;
    }

    // A drained encoder takes no more frames: the next group gets a fresh one with
    // the first group's settings.
    if (!last) {
        for (int k = 0; k < n; ++k) {
            const int pos = file * n + k;
            const int next = (file + 1) * n + k;
            if (next >= tableSize)
                break;
            if (ostTable_[pos]->encodingNeeded)
                ReopenEncoder(pos, next);
        }
    }

    // The next groups continue counting where this one stopped; the muxer streams are
    // shared, so is their clock.
    for (int pos = (file + 1) * n; pos < tableSize; ++pos) {
        ostTable_[pos]->syncOpts = ostTable_[pos - n]->syncOpts;
        ostTable_[pos]->frameNumber = ostTable_[pos - n]->frameNumber;
        ostTable_[pos]->lastEndTime = ostTable_[pos - n]->lastEndTime.load();
    }

    // The output time this group reached.
    double reached = 0;
    if ((file + 1) * n < tableSize) {
        for (int k = 0; k < n && file * n + k < tableSize; ++k) {
            EngineOutputStream& ost = *ostTable_[file * n + k];
            if (ost.lastEndTime != AV_NOPTS_VALUE)
                reached = std::max(reached, static_cast<double>(ost.lastEndTime) *
                                                av_q2d(ost.stream->time_base));
            ost.active = 0;
        }
    }

    // The next input follows on from there, behind the priming of its fresh encoders.
    if (last)
        return true;
    reached = std::max(reached, StartBehindEncoderDelay(file + 1));
    task_.InputFiles[file + 1]->TsOffset += std::llrint(reached * AV_TIME_BASE);
    return false;
}

// A fresh audio encoder puts its first packet `initial_padding` samples before its first
// frame: each stream of the group starts that far behind the end of the last packet written,
// so that its packets follow the ones already written. The latest start of the group,
// seconds.
double TTranscodeRun::StartBehindEncoderDelay(int group) {
    double start = 0;
    const int tableSize = static_cast<int>(ostTable_.size());
    for (int pos = group * groupSize_; pos < (group + 1) * groupSize_ && pos < tableSize; ++pos) {
        EngineOutputStream& ost = *ostTable_[pos];
        const AVCodecContext* enc = ost.encoder.get();
        if (!ost.encodingNeeded || enc == nullptr || enc->codec_type != AVMEDIA_TYPE_AUDIO ||
            enc->sample_rate <= 0 || ost.lastEndTime == AV_NOPTS_VALUE)
            continue;
        const AVRational samples{1, enc->sample_rate};
        const int64_t end =
            ff::av_rescale_q_rnd(ost.lastEndTime, ost.stream->time_base, samples,
                                 static_cast<AVRounding>(AV_ROUND_UP | AV_ROUND_PASS_MINMAX));
        ost.syncOpts = std::max(ost.syncOpts, end + std::max(enc->initial_padding, 0));
        start = std::max(start, static_cast<double>(ost.syncOpts) / enc->sample_rate);
    }
    return start;
}

// Closes the encoder of table position `position` and opens a fresh one for `target`, the
// same stream of the next group.
void TTranscodeRun::ReopenEncoder(int position, int target) {
    EngineOutputStream& ost = *ostTable_[position];
    EngineOutputStream& next = *ostTable_[target];
    const int k = position % std::max(groupSize_, 1);
    CloseEncoder(ost);

    const AVMediaType type = OutputStreamType(next);
    const AVCodecContext* settings =
        k < static_cast<int>(pristineEncoders_.size()) ? pristineEncoders_[k].get() : nullptr;
    const AVCodec* codec = encoderCodecs_[k];
    if (codec == nullptr && settings != nullptr)
        codec = ff::avcodec_find_encoder(settings->codec_id);
    if (codec == nullptr || settings == nullptr)
        throw FFmpegException(FormatText("Unsupported codec for output stream #%d.%d (%s)", 0, k,
                                         MediaTypeToStr(type).c_str()));
    TCodecContextPtr fresh = CloneEncoderSettings(settings, codec);
    fresh->codec_id = static_cast<AVCodecID>(ostTable_[k]->savedCodecId);
    ShareCodecThreads(fresh.get(), codec, true, task_);
    int ret = 0;
    {
        std::lock_guard registry(CodecRegistryLock);
        TCodecLock codecLock;
        ret = ff::avcodec_open2(fresh.get(), codec, nullptr);
        if (ret >= 0) {
            next.encoder = std::move(fresh);
            task_.OpenEncoders.push_back(&next);
        }
    }
    if (ret < 0)
        throw FFmpegException(
            FormatText("Error while opening codec for output stream #%d.%d (%s) - maybe "
                       "incorrect parameters such as bit_rate, rate, width or height",
                       0, k, MediaTypeToStr(type).c_str()));
    next.savedCodecId = ostTable_[k]->savedCodecId;
}
