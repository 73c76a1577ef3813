// The prober: opening a file and reading its file, audio and video facts. Seeking and
// decoding pictures are in FFDecodeFrames.cpp.
#include "FFDecode.h"

#include <sys/stat.h>

#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

#include "CodecLock.h"
#include "FFDecodeShared.h"
#include "FFLoad.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"
#include "files/MediaOpen.h"
#include "files/UnicodeProtocol.h"
#include "log/FFLog.h"
#include "utils/FFUtils.h"

namespace {

using namespace decoder;

std::string VFormat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

int32_t ClampToInt32(int64_t v) {
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The number a metadata text starts with ("2004-05-01" gives 2004, "3/12" gives 3); 0 when
// the entry is absent or starts with no number.
int32_t LeadingNumber(const AVDictionary* metadata, const char* key) {
    const std::string text = MetadataValue(metadata, key, "");
    return ClampToInt32(std::strtoll(text.c_str(), nullptr, 10));
}

// Size on disk of the file `name` names, when that is an existing regular file.
std::optional<int64_t> DiskFileSize(const std::string& name) {
    struct stat st {};
    if (name.empty() || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return st.st_size >= 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// A time base a rescale can divide by: a zero denominator becomes the numerator, or 1.
void RepairTimeBase(AVRational& tb) {
    if (tb.den == 0) {
        tb.den = tb.num;
        if (tb.den == 0)
            tb.den = 1;
    }
}

template <typename TInfo> void FillStreamTimes(AVStream* st, TInfo& info) {
    info.Language = MetadataValue(st->metadata, "language", "");
    info.CodecName = CodecDisplayName(st->codecpar, false);
    RepairTimeBase(st->time_base);
    info.StartPTS = st->start_time;
    info.DurationPTS = st->duration;
    if (st->start_time != AV_NOPTS_VALUE)
        info.StartTime = ff::av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
    if (st->duration != AV_NOPTS_VALUE)
        info.Duration = ff::av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCustomDecoder

TCustomDecoder::TCustomDecoder() = default;

TCustomDecoder::~TCustomDecoder() {
    ReleaseContext();
}

void TCustomDecoder::CheckLibraries() {
    static const struct {
        TAVLibrary Library;
        const char* Message;
    } Required[] = {
        {LibAVCodec, "LibAVCodec not loaded."},
        {LibAVFormat, "LibAVFormat not loaded."},
        {LibAVUtil, "LibAVUtil not loaded."},
        {LibSwScale, "LibSwScale not loaded."},
    };
    for (const auto& r : Required)
        if (!FFLoader->Loaded(r.Library))
            throw std::runtime_error(r.Message);
}

void TCustomDecoder::ReleaseContext() {
    // Without the libraries (process end) an owned input can only be forgotten.
    if (ff::avformat_close_input != nullptr)
        ownedContext_.reset();
    else
        (void)ownedContext_.release();
    formatContext_ = nullptr;
}

void TCustomDecoder::HoldOwnedContext(AVFormatContext* ctx) {
    ownedContext_.reset(ctx);
    formatContext_ = ctx;
}

void TCustomDecoder::ReadFileInfo() {
    fileSize_ = -1;
    streamCount_ = programCount_ = -1;
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
    firstAudioStreamIndex_ = firstVideoStreamIndex_ = firstSubtitleStreamIndex_ = -1;
    AVFormatContext* ctx = formatContext_;
    if (ctx == nullptr)
        return;

    // The I/O context's size; an input without one (a device, a network stream) has none.
    const int64_t containerSize = ctx->pb != nullptr ? ff::avio_size(ctx->pb) : 0;
    if (containerSize > 0) {
        fileSize_ = containerSize;
    } else {
        const auto diskSize = DiskFileSize(URLToFileName(ctx->url != nullptr ? ctx->url : ""));
        fileSize_ = diskSize ? *diskSize : containerSize;
    }

    streamCount_ = static_cast<int32_t>(ctx->nb_streams);
    programCount_ = static_cast<int32_t>(ctx->nb_programs);
    audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
    for (int32_t i = 0; i < streamCount_; ++i) {
        switch (ctx->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ++videoStreamCount_;
            if (firstVideoStreamIndex_ == -1)
                firstVideoStreamIndex_ = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            ++audioStreamCount_;
            if (firstAudioStreamIndex_ == -1)
                firstAudioStreamIndex_ = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            ++subtitleStreamCount_;
            if (firstSubtitleStreamIndex_ == -1)
                firstSubtitleStreamIndex_ = i;
            break;
        default:
            break;
        }
    }
}

void TCustomDecoder::SetFormatContext(AVFormatContext* ctx) {
    if (ctx == formatContext_)
        return;
    CheckLibraries();
    CloseFile();
    formatContext_ = ctx;
    ReadFileInfo();
}

void TCustomDecoder::CloseFile() {
    forcedFormat_.clear();
    ReleaseContext();
    ReadFileInfo();
}

// ---------------------------------------------------------------------------------------------
// TFFDecoder

void TFFDecoder::TCodecContextDeleter::operator()(AVCodecContext* p) const {
    if (ff::avcodec_free_context == nullptr)
        return;
    TCodecLock lock;
    ff::avcodec_free_context(&p);
}

void TFFDecoder::TBufferDeleter::operator()(uint8_t* p) const {
    if (ff::av_free != nullptr)
        ff::av_free(p);
}

TFFDecoder::TFFDecoder() = default;

TFFDecoder::~TFFDecoder() {
    CloseFile();
}

void TFFDecoder::ReportError(int level, const std::string& msg) {
    FFLogger()->Log(this, LibraryToLogLevel(level), msg);
    lastErrMsg_ = msg;
}

void TFFDecoder::ReportErrorFmt(int level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string msg = VFormat(fmt, args);
    va_end(args);
    ReportError(level, msg);
}

bool TFFDecoder::LoadFile(const std::string& fileName, const std::string& format) {
    CheckLibraries();
    CloseFile();

    const AVInputFormat* inputFormat = nullptr;
    if (!format.empty()) {
        inputFormat = ff::av_find_input_format(format.c_str());
        if (inputFormat == nullptr) {
            lastErrMsg_ = "Unknown input format: " + format;
            return false;
        }
    }

    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (ctx == nullptr) {
        ReportError(LevelError, FormatErrorMessage(fileName, AVERROR(ENOMEM)));
        return false;
    }
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    // On failure the opener frees the context.
    const int opened = OpenInputContext(&ctx, FileNameToURL(fileName), inputFormat, nullptr);
    if (opened < 0) {
        ReportError(LevelError, FormatErrorMessage(fileName, opened));
        CloseFile();
        return false;
    }
    HoldOwnedContext(ctx);

    // Success with an audio stream of no channels, rate or format (a text file named like a
    // FLAC file) is no readable source either.
    if (ff::avformat_find_stream_info(ctx, nullptr) < 0 || !AudioParametersUsable(ctx)) {
        lastErrMsg_ = fileName + ": could not find codec parameters";
        CloseFile();
        return false;
    }
    ReadFileInfo();
    forcedFormat_ = format;
    return true;
}

void TFFDecoder::ReadFileInfo() {
    TCustomDecoder::ReadFileInfo();
    if (formatContext_ == nullptr) {
        seekStreamIndex_ = -1;
        seekStartTime_ = -1;
        return;
    }
    seekStreamIndex_ =
        firstVideoStreamIndex_ != -1 ? firstVideoStreamIndex_ : firstAudioStreamIndex_;
    const int64_t start = seekStreamIndex_ != -1
                              ? formatContext_->streams[seekStreamIndex_]->start_time
                              : formatContext_->start_time;
    seekStartTime_ = start == AV_NOPTS_VALUE ? 0 : start;
}

void TFFDecoder::CloseFile() {
    seekStreamIndex_ = -1;
    seekStartTime_ = -1;
    decodeStreamIndex_ = -1;
    endOfStream_ = false;
    ResetPictureFacts();
    CloseVideoDecoder();
    TCustomDecoder::CloseFile();
}

void TFFDecoder::ResetPictureFacts() {
    pictureReady_ = false;
    picture_.PTS = picture_.LastPTS = AV_NOPTS_VALUE;
    picture_.PacketDTS = picture_.PacketPTS = AV_NOPTS_VALUE;
    picture_.Position = picture_.LastPosition = -1;
}

void TFFDecoder::CloseVideoDecoder() {
    videoCodec_.reset();
    videoCodecStreamIndex_ = -1;
}

std::string TFFDecoder::FileName() {
    if (formatContext_ == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return {};
    }
    return URLToFileName(formatContext_->url != nullptr ? formatContext_->url : "");
}

void TFFDecoder::GetFileStreamInfo(TFileStreamInfo& info) {
    info = TFileStreamInfo{};
    const AVFormatContext* ctx = formatContext_;
    if (ctx == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return;
    }
    info.StartTime = ctx->start_time == AV_NOPTS_VALUE ? -1 : ctx->start_time;
    info.Duration = ctx->duration == AV_NOPTS_VALUE ? -1 : ctx->duration;
    info.BitRate = ClampToInt32(ctx->bit_rate);
    // The creation time, year and track live in the container's metadata today.
    info.Timestamp = 0;
    const std::string created = MetadataValue(ctx->metadata, "creation_time", "");
    int64_t createdUs = 0;
    if (!created.empty() && ff::av_parse_time(&createdUs, created.c_str(), 0) >= 0)
        info.Timestamp = createdUs / 1000000;
    info.Year = LeadingNumber(ctx->metadata, "date");
    if (info.Year == 0)
        info.Year = LeadingNumber(ctx->metadata, "year");
    info.Track = LeadingNumber(ctx->metadata, "track");
    info.Title = MetadataValue(ctx->metadata, "title", "");
    // Containers name the author "artist" today.
    info.Author = MetadataValue(ctx->metadata, "author", "");
    if (info.Author.empty())
        info.Author = MetadataValue(ctx->metadata, "artist", "");
    info.Copyright = MetadataValue(ctx->metadata, "copyright", "");
    info.Comment = MetadataValue(ctx->metadata, "comment", "");
    info.Album = MetadataValue(ctx->metadata, "album", "");
    info.Genre = MetadataValue(ctx->metadata, "genre", "");
}

AVStream* TFFDecoder::StreamOfKind(int index, int mediaType, const char* noStream,
                                   const char* kindName) {
    if (index < 0) {
        index = mediaType == AVMEDIA_TYPE_AUDIO ? firstAudioStreamIndex_ : firstVideoStreamIndex_;
        if (index == -1) {
            ReportError(LevelError, noStream);
            return nullptr;
        }
    }
    if (index >= streamCount_) {
        ReportErrorFmt(LevelError, "stream index #%d is invalid.", index);
        return nullptr;
    }
    AVStream* st = formatContext_->streams[index];
    if (st->codecpar->codec_type != mediaType) {
        ReportErrorFmt(LevelError, "stream #%d is not %s stream.", index, kindName);
        return nullptr;
    }
    return st;
}

void TFFDecoder::GetAudioStreamInfo(int index, TAudioStreamInfo& info) {
    info = TAudioStreamInfo{};
    if (formatContext_ == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return;
    }
    AVStream* st = StreamOfKind(index, AVMEDIA_TYPE_AUDIO, "no audio stream.", "audio");
    if (st == nullptr)
        return;
    FillStreamTimes(st, info);
    const AVCodecParameters* par = st->codecpar;
    info.BitRate = ClampToInt32(par->bit_rate);
    info.Channels = par->ch_layout.nb_channels;
    info.SampleRate = par->sample_rate;
    info.SampleFormat = par->format;
}

void TFFDecoder::GetVideoStreamInfo(int index, TVideoStreamInfo& info) {
    info = TVideoStreamInfo{};
    if (formatContext_ == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return;
    }
    AVStream* st = StreamOfKind(index, AVMEDIA_TYPE_VIDEO, "no video stream.", "video");
    if (st == nullptr)
        return;
    FillStreamTimes(st, info);
    const AVCodecParameters* par = st->codecpar;
    info.BitRate = ClampToInt32(par->bit_rate);
    info.Height = par->height;
    info.Width = par->width;
    if (par->height > 0) {
        const AVRational sar = par->sample_aspect_ratio;
        const double ratio = sar.den != 0 ? static_cast<double>(sar.num) / sar.den : 0.0;
        info.DisplayAspectRatio = static_cast<float>(ratio * par->width / par->height);
    }
    info.PixelFormat = par->format;
    const AVRational rate = st->avg_frame_rate.num != 0 && st->avg_frame_rate.den != 0
                                ? st->avg_frame_rate
                                : st->r_frame_rate;
    info.FrameRateNum = rate.num;
    info.FrameRateDen = rate.den;
}
