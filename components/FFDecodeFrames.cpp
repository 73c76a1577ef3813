// The prober's pictures: seeking, decoding the video stream, deinterlacing and the bitmap.
#include "FFDecode.h"

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
#include "utils/Deinterlace.h"
#include "utils/FFUtils.h"

namespace {

// The byte position of an I/O context (the headers' avio_tell is an inline of this call).
int64_t IOPosition(AVIOContext* pb) {
    return ff::avio_seek(pb, 0, SEEK_CUR);
}

} // namespace

using namespace decoder;

bool TFFDecoder::IsStillImageInput() const {
    // The image demuxers: "image2" and its piped forms ("image2pipe", "png_pipe", ...).
    const AVInputFormat* f = formatContext_ != nullptr ? formatContext_->iformat : nullptr;
    if (f == nullptr || f->name == nullptr)
        return false;
    const std::string name = f->name;
    if (strcasecmp(name.c_str(), "image2") == 0 || strcasecmp(name.c_str(), "image2pipe") == 0)
        return true;
    constexpr char PipeSuffix[] = "_pipe";
    constexpr size_t PipeSuffixLength = sizeof(PipeSuffix) - 1;
    return name.size() > PipeSuffixLength &&
           name.compare(name.size() - PipeSuffixLength, PipeSuffixLength, PipeSuffix) == 0;
}

bool TFFDecoder::CanSeek() {
    if (formatContext_ == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return false;
    }
    if (!OwnsContext()) {
        ReportError(LevelWarning, ReadOnlyHandle);
        throw std::runtime_error(ReadOnlyHandle);
    }
    if (IsStillImageInput()) {
        ReportError(LevelInfo, "\"image2\" format cannot to be seeked.");
        return false;
    }
    return true;
}

bool TFFDecoder::Seek(uint8_t flags, int64_t position) {
    if (!CanSeek())
        return false;
    AVFormatContext* ctx = formatContext_;
    AVIOContext* pb = ctx->pb;
    if (pb != nullptr)
        ReportErrorFmt(LevelDebug, "current position %" PRId64 " bytes", IOPosition(pb));

    const bool byBytes = (flags & AVSEEK_FLAG_BYTE) != 0;
    int64_t target = position > 0 ? position : 0;
    if (!byBytes) {
        if (seekStreamIndex_ != -1)
            target =
                ff::av_rescale_q(target, AV_TIME_BASE_Q, ctx->streams[seekStreamIndex_]->time_base);
        if (seekStartTime_ > 0)
            target += seekStartTime_;
    }

    if (videoCodec_)
        ff::avcodec_flush_buffers(videoCodec_.get());
    endOfStream_ = false;
    ResetPictureFacts();

    int ret;
    if (position > 0) {
        ret = ff::av_seek_frame(ctx, seekStreamIndex_, target, flags & 15);
        // No key frame after the position (a short clip with one key frame at its start):
        // the nearest key frame before it, so that the picture is one of the stream's.
        if (ret < 0 && (flags & AVSEEK_FLAG_BACKWARD) == 0) {
            ReportErrorFmt(LevelDebug, "no key frame after %0.3f seconds, seeking backward",
                           static_cast<double>(position) / 1000000.0);
            ret = ff::av_seek_frame(ctx, seekStreamIndex_, target,
                                    (flags | AVSEEK_FLAG_BACKWARD) & 15);
        }
    } else {
        ret = ff::av_seek_frame(ctx, seekStreamIndex_, target, (flags | AVSEEK_FLAG_BACKWARD) & 15);
        if (ret < 0)
            ret = ff::av_seek_frame(ctx, seekStreamIndex_, position,
                                    flags & 15 & ~AVSEEK_FLAG_BACKWARD);
    }

    const bool result = ret >= 0;
    if (!result) {
        if (byBytes)
            ReportErrorFmt(LevelError, "could not seek to position %" PRId64 " bytes", position);
        else
            ReportErrorFmt(LevelError, "could not seek to position %0.3f seconds",
                           static_cast<double>(position) / 1000000.0);
    }
    if (pb != nullptr) {
        ReportErrorFmt(LevelDebug, "seek to position %" PRId64 " bytes", IOPosition(pb));
        if (ff::avio_feof(pb)) {
            if (result)
                ReportError(LevelInfo, EndOfStreamReached);
            endOfStream_ = true;
            return false;
        }
    }
    return result;
}

int TFFDecoder::SelectVideoStream(int index) {
    if (formatContext_ == nullptr) {
        ReportError(LevelWarning, FileNotLoaded);
        return -1;
    }
    if (!OwnsContext()) {
        ReportError(LevelWarning, ReadOnlyHandle);
        throw std::runtime_error(ReadOnlyHandle);
    }
    int i = index;
    if (i < 0) {
        i = decodeStreamIndex_ != -1 ? decodeStreamIndex_ : firstVideoStreamIndex_;
        if (i == -1) {
            ReportError(LevelError, "no video stream.");
            return -1;
        }
    }
    if (StreamOfKind(i, AVMEDIA_TYPE_VIDEO, "no video stream.", "video") == nullptr)
        return -1;
    if (i != decodeStreamIndex_)
        ResetPictureFacts();
    decodeStreamIndex_ = i;
    return i;
}

AVCodecContext* TFFDecoder::OpenVideoDecoder(int index) {
    const AVStream* st = formatContext_->streams[index];
    const AVCodecParameters* par = st->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO)
        return nullptr;
    if (par->width == 0 || par->height == 0) {
        ReportError(LevelError, "frame size of codec is invalid.");
        return nullptr;
    }
    if (videoCodec_ && videoCodecStreamIndex_ == index)
        return videoCodec_.get();
    CloseVideoDecoder();

    const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) {
        ReportErrorFmt(LevelError, "Unsupported codec (id=%d) for input file stream #%d",
                       static_cast<int>(par->codec_id), index);
        return nullptr;
    }
    TCodecPtr context(ff::avcodec_alloc_context3(codec));
    if (!frame_)
        frame_.reset(ff::av_frame_alloc());
    int ret = context && frame_ ? 0 : AVERROR(ENOMEM);
    if (ret >= 0)
        ret = ff::avcodec_parameters_to_context(context.get(), par);
    if (ret >= 0) {
        context->pkt_timebase = st->time_base;
        TCodecLock lock;
        ret = ff::avcodec_open2(context.get(), codec, nullptr);
    }
    if (ret < 0) {
        ReportErrorFmt(LevelError, "Error while opening codec for input file stream #%d", index);
        return nullptr;
    }
    videoCodec_ = std::move(context);
    videoCodecStreamIndex_ = index;
    return videoCodec_.get();
}

bool TFFDecoder::Decode(int index) {
    const int i = SelectVideoStream(index);
    if (i == -1)
        return false;
    if (pictureReady_ && IsStillImageInput())
        return true; // a still image has one picture
    if (endOfStream_) {
        ReportError(LevelInfo, EndOfStreamReached);
        return false;
    }
    AVCodecContext* codec = OpenVideoDecoder(i);
    if (codec == nullptr)
        return false;
    AVFormatContext* ctx = formatContext_;
    AVIOContext* pb = ctx->pb;
    const int64_t position = pb != nullptr ? IOPosition(pb) : -1;

    // A picture the decoder held back from an earlier packet comes first.
    if (ReceivePicture(codec, nullptr, i, position))
        return true;

    TPacketPtr pkt(ff::av_packet_alloc());
    if (!pkt)
        throw std::bad_alloc();
    int ret;
    while ((ret = ff::av_read_frame(ctx, pkt.get())) >= 0) {
        if (pkt->stream_index == i && ff::avcodec_send_packet(codec, pkt.get()) >= 0 &&
            ReceivePicture(codec, pkt.get(), i, position)) {
            ff::av_packet_unref(pkt.get());
            return true;
        }
        ff::av_packet_unref(pkt.get());
    }

    if (ret == AVERROR(EAGAIN)) {
        ReportError(LevelInfo, "no data, please try again.");
        return false;
    }
    if (ret != AVERROR_EOF && !(pb != nullptr && ff::avio_feof(pb))) {
        ReportErrorFmt(LevelInfo, "unknown error #%d.", ret);
        return false;
    }
    // At the end of the input the decoder gives out the pictures it still holds.
    ff::avcodec_send_packet(codec, nullptr);
    if (ReceivePicture(codec, nullptr, i, position))
        return true;
    ReportError(LevelInfo, EndOfStreamReached);
    endOfStream_ = true;
    return false;
}

bool TFFDecoder::ReceivePicture(AVCodecContext* codec, const AVPacket* pkt, int streamIndex,
                                int64_t position) {
    AVFrame* frame = frame_.get();
    if (ff::avcodec_receive_frame(codec, frame) < 0)
        return false;
    // A picture that leaves the decoder without a packet sent for it (held back, or given out
    // at the end of the input) has no packet stamps: its reordered time stamp tells its time.
    const TPacketFacts facts = pkt != nullptr
                                   ? TPacketFacts{pkt->stream_index, pkt->dts, pkt->pts, pkt->flags}
                                   : TPacketFacts{streamIndex, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0};
    FFLogger()->LogFmt(
        this, llDebug, "pkt.st_idx=%d, dts=%" PRId64 ", pts=%" PRId64 ", flags=%d, pict_type=%d",
        facts.StreamIndex, facts.DTS, facts.PTS, facts.Flags, static_cast<int>(frame->pict_type));

    TDeinterlacedFrame deinterlaced;
    if (deinterlace_) {
        bool allocFailed = false;
        deinterlaced = DeinterlacedPicture(frame, allocFailed);
        if (!deinterlaced) {
            FFLogger()->Log(this, llError,
                            allocFailed ? "deinterlace buffer malloc error."
                                        : "deinterlacing failed.");
            deinterlace_ = false;
        }
    }
    KeepPicture(deinterlaced ? deinterlaced.get() : frame, facts, streamIndex, position);
    ff::av_frame_unref(frame);
    return true;
}

bool TFFDecoder::GrowPictureBuffer(int size) {
    if (size <= pictureBufferSize_ && pictureBuffer_)
        return true;
    auto* buffer = static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(size)));
    if (buffer == nullptr)
        return false;
    pictureBuffer_.reset(buffer);
    pictureBufferSize_ = size;
    return true;
}

void TFFDecoder::KeepPicture(const AVFrame* frame, const TPacketFacts& facts, int streamIndex,
                             int64_t position) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int size =
        ff::av_image_get_buffer_size(format, frame->width, frame->height, PictureAlign);
    if (size < 0 || !GrowPictureBuffer(size + PicturePadding))
        throw std::bad_alloc();
    heldPicture_ = TPicture{};
    ff::av_image_fill_arrays(heldPicture_.Data, heldPicture_.LineSize, pictureBuffer_.get(), format,
                             frame->width, frame->height, PictureAlign);

    picture_.PixelFormat = format;
    picture_.Width = frame->width;
    picture_.Height = frame->height;
    picture_.KeyFrame = frame->key_frame != 0;
    const int type = static_cast<int>(frame->pict_type);
    picture_.PictureType = type >= 0 && type <= 7 ? type : 0;

    const int64_t stamp = facts.DTS != AV_NOPTS_VALUE    ? facts.DTS
                          : frame->pts != AV_NOPTS_VALUE ? frame->pts
                                                         : facts.PTS;
    picture_.LastPTS = picture_.PTS;
    if (stamp == AV_NOPTS_VALUE) {
        picture_.PTS = AV_NOPTS_VALUE;
    } else {
        const AVStream* st = formatContext_->streams[streamIndex];
        const int64_t fromStart = st->start_time != AV_NOPTS_VALUE ? stamp - st->start_time : stamp;
        picture_.PTS = ff::av_rescale_q(fromStart, st->time_base, AV_TIME_BASE_Q);
        FFLogger()->LogFmt(this, llDebug, "decode PTS: %0.3f",
                           static_cast<double>(picture_.PTS) / 1000000.0);
    }
    picture_.PacketDTS = facts.DTS;
    picture_.PacketPTS = facts.PTS;
    picture_.StreamIndex = facts.StreamIndex;
    picture_.LastPosition = picture_.Position;
    picture_.Position = position;

    ff::av_image_copy(heldPicture_.Data, heldPicture_.LineSize,
                      const_cast<const uint8_t**>(frame->data), frame->linesize, format,
                      frame->width, frame->height);
    pictureReady_ = true;
}

bool TFFDecoder::GetBitmap(TBitmap& bitmap) {
    if (!pictureReady_) {
        ReportError(LevelError, "picture not ready, please decode first");
        return false;
    }
    if (converter_.ToRGB(heldPicture_, picture_.PixelFormat, picture_.Width, picture_.Height,
                         true)) {
        bitmap = converter_.Bitmap();
        return true;
    }
    bitmap.SetSize(picture_.Width, picture_.Height);
    if (bitmap.ByteSize() > 0)
        std::memset(bitmap.Bits(), 0, bitmap.ByteSize());
    ReportError(LevelError, converter_.LastConvertError());
    return false;
}
