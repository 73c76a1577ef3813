// Set-up of a run: the stream tables, the per-stream copy or encode parameters, the pass logs,
// opening the encoders and decoders, the initial input times and the headers.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "CodecLock.h"
#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/FFUtils.h"
#include "video/Video.h"

namespace {

std::string TypeName(AVMediaType type) {
    return MediaTypeToStr(type);
}

// Whether a muxer of `format` takes every one of the container options, tried on a context
// of its own so that the real one stays untouched.
bool HeaderOptionsAccepted(const AVOutputFormat* format, const AVDictionary* options) {
    if (ff::av_dict_count(options) == 0)
        return true;
    AVFormatContext* probe = nullptr;
    if (ff::avformat_alloc_output_context2(&probe, format, nullptr, nullptr) < 0 || !probe)
        return true; // nothing to learn; the header itself decides
    TFormatContextPtr owner(probe);
    AVDictionary* copy = nullptr;
    ff::av_dict_copy(&copy, options, 0);
    TDictionaryPtr left(copy);
    AVDictionary* raw = left.release();
    const int ret = ff::av_opt_set_dict2(probe, &raw, AV_OPT_SEARCH_CHILDREN);
    left.reset(raw);
    return ret >= 0;
}

} // namespace

void TTranscodeRun::Setup() {
    BuildInputTable();
    MapStreams();
    ConfigureOutputStreams();
    // Decoders first: a subtitle decoder builds the header its encoder takes only when it
    // opens.
    OpenDecoders();
    OpenEncoders();
    InitInputTimes();
    CopyMetadataAndChapters();
    WriteHeaders();
    StartEncodeThreads();
    DumpFormatsAndMapping();
}

void TTranscodeRun::FailAfterDump(const std::string& message) {
    DumpFormatsAndMapping();
    FFLogger()->Log(&task_, llError, message);
    throw FFmpegException(message);
}

// The no-packet flags, one state per input file and one record per input stream, each taking the
// decoder context made when its file was opened.
void TTranscodeRun::BuildInputTable() {
    noPacket_.assign(task_.Capacity, 0);
    noPacketCount_ = 0;

    const int inputCount = task_.InputCount();
    files_.assign(inputCount, InputFileState{});
    task_.InputStreams.clear();
    int total = 0;
    for (int i = 0; i < inputCount; ++i) {
        AVFormatContext* ic = InputContext(i);
        files_[i].firstStreamIndex = total;
        files_[i].nbStreams = static_cast<int>(ic->nb_streams);
        total += files_[i].nbStreams;
    }
    task_.InputStreams.reserve(total);
    for (int i = 0; i < inputCount; ++i) {
        EngineInputFile& file = *task_.InputFiles[i];
        AVFormatContext* ic = file.Container.get();
        for (int k = 0; k < files_[i].nbStreams; ++k) {
            auto ist = std::make_unique<EngineInputStream>();
            ist->fileIndex = i;
            ist->streamIndex = k;
            ist->stream = ic->streams[k];
            ist->discard = 1;
            if (k < static_cast<int>(file.Decoders.size()) && file.Decoders[k])
                ist->decoder = std::move(file.Decoders[k]);
            if (!ist->decoder) {
                ist->decoder.reset(ff::avcodec_alloc_context3(nullptr));
                if (!ist->decoder || ff::avcodec_parameters_to_context(ist->decoder.get(),
                                                                       ist->stream->codecpar) < 0)
                    throw FFmpegException("av_mallocz fail");
            }
            if (task_.RateEmulation)
                ist->start = ff::av_gettime();
            task_.InputStreams.push_back(std::move(ist));
        }
    }
    fedBy_.assign(total, {});
}

// What every output stream takes from its source, then its copy or encode parameters.
void TTranscodeRun::ConfigureOutputStreams() {
    for (int pos = 0; pos < static_cast<int>(ostTable_.size()); ++pos) {
        EngineOutputStream& ost = *ostTable_[pos];
        EngineInputStream& ist = *task_.InputStreams[ost.sourceIndex];
        if (!ost.encoder) {
            // A join-mode group after the first works with the first group's settings.
            const EngineOutputStream* first = joinMode_ && groupSize_ > 0 && pos >= groupSize_
                                                  ? ostTable_[pos % groupSize_]
                                                  : nullptr;
            if (first == nullptr || !first->encoder)
                throw FFmpegException("Could not alloc output stream");
            ost.encoder = CloneEncoderSettings(first->encoder.get(), first->encoder->codec);
        }
        AVCodecContext* enc = ost.encoder.get();
        const AVCodecContext* dec = ist.decoder.get();
        if (task_.MetadataStreamsAutoCopy)
            ff::av_dict_copy(&ost.stream->metadata, ist.stream->metadata, AV_DICT_DONT_OVERWRITE);
        ost.stream->disposition = ist.stream->disposition;
        enc->bits_per_raw_sample = dec->bits_per_raw_sample;
        enc->chroma_sample_location = dec->chroma_sample_location;
        fedBy_[ost.sourceIndex].push_back(pos);
        if (ost.streamCopy)
            ApplyCopyParameters(ost, ist);
        else
            ApplyEncodeParameters(ost, ist, pos);
    }
}

// A stream copy takes the source's parameters. The output parameters are written only once
// per muxer stream (in join mode every group shares the first group's streams).
void TTranscodeRun::ApplyCopyParameters(EngineOutputStream& ost, EngineInputStream& ist) {
    const AVCodecParameters* in = ist.stream->codecpar;
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    if (static_cast<int64_t>(in->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX)
        throw FFmpegException("icodec.extradata_size is invalid (too large)");

    const AVMediaType type = in->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO) {
        if (task_.AudioVolume != 256)
            throw FFmpegException(
                "-acodec copy and -vol are incompatible (frames are not decoded)");
        if (task_.OnAudioHook)
            throw FFmpegException(
                "-acodec copy and AudioHook are incompatible (frames are not decoded)");
    } else if (type == AVMEDIA_TYPE_VIDEO) {
        if (task_.OnVideoInputHook || task_.OnVideoOutputHook)
            throw FFmpegException(
                "-vcodec copy and VideoHook are incompatible (frames are not decoded)");
        if (!task_.FrameHooks.Empty())
            throw FFmpegException(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
    } else if (type != AVMEDIA_TYPE_SUBTITLE) {
        throw FFmpegException("invalid codec_type of output stream");
    }

    // The tag: one the options gave stays; else the source's, unless the output format maps
    // that tag to another codec while it has its own tag for this one (the muxer chooses).
    uint32_t tag = enc->codec_tag;
    if (tag == 0) {
        const AVOutputFormat* of = OutputContext(ost.fileIndex)->oformat;
        if (of->codec_tag == nullptr ||
            ff::av_codec_get_id(of->codec_tag, in->codec_tag) == in->codec_id ||
            ff::av_codec_get_tag(of->codec_tag, in->codec_id) == 0)
            tag = in->codec_tag;
    }

    // The time base: the decoder's frame duration when it is coarser than the stream's very
    // fine time base (and copytb is off), else the stream's.
    AVRational tb = ist.stream->time_base;
    if (!task_.CopyTb && dec->time_base.num != 0 && dec->time_base.den != 0 &&
        av_q2d(dec->time_base) * dec->ticks_per_frame > av_q2d(ist.stream->time_base) &&
        av_q2d(ist.stream->time_base) < 1.0 / 1000) {
        ff::av_reduce(&tb.num, &tb.den,
                      static_cast<int64_t>(dec->time_base.num) * dec->ticks_per_frame,
                      dec->time_base.den, INT_MAX);
    }

    const bool writesStream = !joinMode_ || ost.fileIndex == 0;
    TCodecParametersPtr par(ff::avcodec_parameters_alloc());
    if (!par || ff::avcodec_parameters_copy(par.get(), in) < 0)
        throw FFmpegException("av_mallocz fail");
    par->codec_tag = tag;
    if (type == AVMEDIA_TYPE_AUDIO &&
        ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) ||
         par->codec_id == AV_CODEC_ID_AC3))
        par->block_align = 0;
    if (ff::avcodec_parameters_to_context(enc, par.get()) < 0)
        throw FFmpegException("av_mallocz fail");
    enc->time_base = tb;
    if (writesStream) {
        if (ff::avcodec_parameters_copy(ost.stream->codecpar, par.get()) < 0)
            throw FFmpegException("av_mallocz fail");
        ost.stream->time_base = tb;
    }
    ost.encodingNeeded = 0;
}

void TTranscodeRun::ApplyEncodeParameters(EngineOutputStream& ost, EngineInputStream& ist,
                                          int position) {
    AVCodecContext* enc = ost.encoder.get();
    const AVCodecContext* dec = ist.decoder.get();
    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
        // The encoder's channel layout was chosen when the stream was created.
        task_.InitAudioOutput(ost, dec);
        ost.encodingNeeded = 1;
        ist.decodingNeeded = 1;
        break;
    }
    case AVMEDIA_TYPE_VIDEO:
        task_.InitVideoOutput(ost, ist);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        InitSubtitleOutput(ost, ist);
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
    if (ost.encodingNeeded && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
        OpenPassLog(ost, position);
}

// The statistics file of a two-pass encoding: written by the first pass, read by the second.
void TTranscodeRun::OpenPassLog(EngineOutputStream& ost, int position) {
    const std::string prefix =
        task_.PassLogFilePrefix.empty() ? std::string("ffmpeg2pass") : task_.PassLogFilePrefix;
    std::string name = prefix + "-" + std::to_string(position) + ".log";
    if (name.size() >= 1024)
        name.resize(1023);
    AVCodecContext* enc = ost.encoder.get();
    NameEncoderPassLog(enc, name);
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        ost.passLogFile = std::fopen(name.c_str(), "wb");
        if (ost.passLogFile == nullptr)
            throw FFmpegException(
                FormatText("Cannot write log file %s for pass-1 encoding", name.c_str()));
        return;
    }
    TAVMallocBuffer buffer;
    size_t size = 0;
    const int ret = ReadFileToBuffer(name, buffer, size);
    if (ret == AVERROR(ENOMEM))
        throw FFmpegException(FormatText("Could not allocate file buffer: Error reading log file "
                                         "\"%s\" for pass-2 encoding",
                                         name.c_str()));
    if (ret < 0)
        throw FFmpegException(FormatText(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
    enc->stats_in = reinterpret_cast<char*>(buffer.release());
}

// The encoders, under the locks. In join mode only the first group is opened; the join
// switch opens the others.
void TTranscodeRun::OpenEncoders() {
    const int limit = joinMode_ ? groupSize_ : static_cast<int>(ostTable_.size());
    encoderCodecs_.assign(ostTable_.size(), nullptr);
    for (int pos = 0; pos < limit; ++pos) {
        EngineOutputStream& ost = *ostTable_[pos];
        if (!ost.encodingNeeded)
            continue;
        AVCodecContext* enc = ost.encoder.get();
        const AVMediaType type = OutputStreamType(ost);
        const AVCodec* codec =
            pos < static_cast<int>(task_.OutputCodecs.size()) ? task_.OutputCodecs[pos] : nullptr;
        if (codec == nullptr)
            codec = ff::avcodec_find_encoder(enc->codec_id);
        if (codec == nullptr)
            FailAfterDump(
                FormatText("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                           enc->codec_id, ost.fileIndex, ost.streamIndex, TypeName(type).c_str()));
        encoderCodecs_[pos] = codec;
        const AVCodecContext* dec = task_.InputStreams[ost.sourceIndex]->decoder.get();
        if (dec->subtitle_header != nullptr && enc->subtitle_header == nullptr) {
            enc->subtitle_header =
                static_cast<uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
            if (enc->subtitle_header == nullptr)
                FailAfterDump("av_malloc failed");
            std::memcpy(enc->subtitle_header, dec->subtitle_header, dec->subtitle_header_size);
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
        if (joinMode_) {
            ost.savedCodecId = enc->codec_id;
            KeepPristineEncoder(pos);
        }
        ShareCodecThreads(enc, codec, true, task_);
        int ret = 0;
        {
            std::lock_guard registry(CodecRegistryLock);
            TCodecLock codecLock;
            ret = ff::avcodec_open2(enc, codec, nullptr);
            if (ret >= 0)
                task_.OpenEncoders.push_back(&ost);
        }
        if (ret < 0)
            FailAfterDump(FormatText(
                "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                "parameters such as bit_rate, rate, width or height. Please check error log "
                "message to find out more detail information.",
                ost.fileIndex, ost.streamIndex, TypeName(type).c_str()));
        task_.ExtraSize += enc->extradata_size;
        // The opened encoder's parameters describe the muxer stream.
        if (ff::avcodec_parameters_from_context(ost.stream->codecpar, enc) < 0)
            throw FFmpegException("av_mallocz fail");
        ost.stream->time_base = enc->time_base;
    }
}

// The decoders of the streams that are decoded, under the locks.
void TTranscodeRun::OpenDecoders() {
    for (int i = 0; i < static_cast<int>(task_.InputStreams.size()); ++i) {
        EngineInputStream& ist = *task_.InputStreams[i];
        if (!ist.decodingNeeded)
            continue;
        AVCodecContext* dec = ist.decoder.get();
        const AVMediaType type = InputStreamType(ist);
        const AVCodec* codec =
            i < static_cast<int>(task_.InputCodecs.size()) ? task_.InputCodecs[i] : nullptr;
        if (codec == nullptr)
            codec = ff::avcodec_find_decoder(dec->codec_id);
        if (codec == nullptr)
            FailAfterDump(FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                                     dec->codec_id, ist.fileIndex, ist.streamIndex,
                                     TypeName(type).c_str()));
        dec->pkt_timebase = ist.stream->time_base;
        ShareCodecThreads(dec, codec, false, task_);
        int ret = 0;
        {
            std::lock_guard registry(CodecRegistryLock);
            TCodecLock codecLock;
            ret = ff::avcodec_open2(dec, codec, nullptr);
            if (ret >= 0)
                task_.OpenDecoders.push_back(&ist);
        }
        if (ret < 0)
            FailAfterDump(FormatText("Error while opening decoder for input stream #%d.%d (%s)",
                                     ist.fileIndex, ist.streamIndex, TypeName(type).c_str()));
    }
}

// The input clocks: a stream with a known frame rate starts the decoder's reordering delay
// early.
void TTranscodeRun::InitInputTimes() {
    for (const auto& ist : task_.InputStreams) {
        const AVRational rate = ist->stream->avg_frame_rate;
        ist->pts = 0;
        if (rate.num != 0 && rate.den != 0)
            ist->pts =
                -ff::av_rescale(static_cast<int64_t>(ist->decoder->has_b_frames) * AV_TIME_BASE,
                                rate.den, rate.num);
        ist->nextPts = AV_NOPTS_VALUE;
        InitPtsCorrection(ist->ptsCorrection);
        ist->isStart = 1;
    }
}

// The headers. A container option the muxer does not take fails the run.
void TTranscodeRun::WriteHeaders() {
    // The bitstream filters start from the final stream parameters and may change them.
    const int described = joinMode_ ? groupSize_ : static_cast<int>(ostTable_.size());
    for (int pos = 0; pos < described; ++pos)
        task_.InitBitstreamFilters(*ostTable_[pos]);

    const int count = joinMode_ ? 1 : task_.OutputCount();
    for (int j = 0; j < count; ++j) {
        AVFormatContext* oc = OutputContext(j);
        if (!HeaderOptionsAccepted(oc->oformat, *task_.OutputFiles[j]->HeaderOptions())) {
            const std::string message = FormatText("%s: Invalid encoding parameters", oc->url);
            FFLogger()->Log(&task_, llError, message);
            throw FFmpegException(message);
        }
        AVDictionary* options = nullptr;
        ff::av_dict_copy(&options, *task_.OutputFiles[j]->HeaderOptions(), 0);
        const int ret = ff::avformat_write_header(oc, &options);
        const bool rejected = ret >= 0 && ff::av_dict_count(options) > 0;
        ff::av_dict_free(&options);
        if (ret < 0)
            FailAfterDump(FormatText(
                "Could not write header for output file #%d (incorrect codec parameters ?)", j));
        if (rejected)
            FailAfterDump(FormatText("%s: Invalid encoding parameters", oc->url));
    }

    bool allRtp = count > 0;
    std::vector<AVFormatContext*> outputs;
    for (int j = 0; j < count; ++j) {
        outputs.push_back(OutputContext(j));
        allRtp = allRtp && std::string(outputs.back()->oformat->name) == "rtp";
    }
    if (allRtp) {
        char sdp[2048] = {};
        ff::av_sdp_create(outputs.data(), count, sdp, sizeof sdp);
        FFLogger()->Log(&task_, llInfo, "SDP:\r\n" + Trim(sdp));
    }
}
