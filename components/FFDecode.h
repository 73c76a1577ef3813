// The media prober: opens a file (or attaches to an input opened elsewhere), reads its
// container and stream facts into plain records, and seeks and decodes single video pictures
// into a bitmap, for thumbnails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/pixfmt.h>
}

#include "FFBaseComponent.h"
#include "files/MediaOpen.h"
#include "utils/Bitmap.h"
#include "utils/FFPointers.h"
#include "utils/FormatConverter.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// Container facts. Unknown numbers are -1 (and all of them when no file is open).
struct TFileStreamInfo {
    int64_t StartTime = -1; // microseconds
    int64_t Duration = -1;  // microseconds
    int32_t BitRate = -1;   // bits per second
    int64_t Timestamp = -1; // creation time, seconds since 1970
    int32_t Year = -1;
    int32_t Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartPTS = -1;    // stream time units as stored (AV_NOPTS_VALUE when unknown)
    int64_t StartTime = -1;   // microseconds
    int64_t DurationPTS = -1; // stream time units as stored
    int64_t Duration = -1;    // microseconds
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;   // Hz
    int32_t SampleFormat = -1; // AVSampleFormat
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartPTS = -1;
    int64_t StartTime = -1;
    int64_t DurationPTS = -1;
    int64_t Duration = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float DisplayAspectRatio = -1.0f; // sample aspect ratio x width / height
    int32_t PixelFormat = -1;         // AVPixelFormat
    int32_t FrameRateNum = -1;
    int32_t FrameRateDen = -1;
};

// A picture a file carries as cover art (a stream with the attached-picture disposition).
// Unknown numbers are -1; a text the container does not give is empty.
struct TAttachedPictureInfo {
    int32_t StreamIndex = -1;
    std::string CodecName; // "mjpeg", "png", ...
    int32_t Width = -1;
    int32_t Height = -1;
    int64_t Size = -1;    // bytes of the coded picture
    std::string Comment;  // what the picture shows: ID3 and FLAC picture types ("Cover (front)")
    std::string Title;    // its description
    std::string FileName; // the name of a Matroska attachment ("cover.jpg")
};

// A tag of a file: its key as the container names it, and its text.
struct TFileTag {
    std::string Key;
    std::string Value;
};

// The container side of a prober: the opened (or attached) input and the facts counted from
// its streams. Every count and index is -1 while no input is held.
class TCustomDecoder : public TFFBaseComponent {
public:
    TCustomDecoder();
    ~TCustomDecoder() override;
    TCustomDecoder(const TCustomDecoder&) = delete;
    TCustomDecoder& operator=(const TCustomDecoder&) = delete;

    // Raises std::runtime_error "LibAVCodec not loaded." (or LibAVFormat, LibAVUtil,
    // LibSwScale) for the first of these libraries that is not loaded.
    static void CheckLibraries();

    // Derives the facts below from the held input (all -1 without one).
    virtual void ReadFileInfo();
    // Attaches an input opened elsewhere; the decoder never closes it. Nothing happens when
    // `ctx` is the held input. Raises std::runtime_error when the libraries are not loaded.
    virtual void SetFormatContext(AVFormatContext* ctx);
    // Releases the input (closing it when the decoder opened it) and resets every fact.
    virtual void CloseFile();

    AVFormatContext* FormatContext() const { return formatContext_; }
    bool OwnsContext() const { return ownedContext_ != nullptr; }
    const std::string& LastErrMsg() const { return lastErrMsg_; }
    const std::string& ForcedFormat() const { return forcedFormat_; }
    int64_t FileSize() const { return fileSize_; }
    int32_t StreamCount() const { return streamCount_; }
    int32_t ProgramCount() const { return programCount_; }
    int32_t AudioStreamCount() const { return audioStreamCount_; }
    int32_t VideoStreamCount() const { return videoStreamCount_; }
    int32_t SubtitleStreamCount() const { return subtitleStreamCount_; }
    int32_t FirstAudioStreamIndex() const { return firstAudioStreamIndex_; }
    int32_t FirstVideoStreamIndex() const { return firstVideoStreamIndex_; }
    int32_t FirstSubtitleStreamIndex() const { return firstSubtitleStreamIndex_; }

    // The streams of the held input that hold an attached picture with data, in stream
    // order. FFDecodeTags.cpp.
    std::vector<TAttachedPictureInfo> AttachedPictures() const;
    // The first of them; false (and `info` reset) when there is none.
    bool GetAttachedPicture(TAttachedPictureInfo& info) const;
    // The audio stream a conversion takes (the one the libraries rank best), or -1.
    int32_t BestAudioStreamIndex() const;
    // The tags of the held input in the container's order: the container's own, then those of
    // the first audio stream whose keys the container lacks (Ogg files keep their comments
    // on the stream). Empty without an input.
    std::vector<TFileTag> Tags() const;
    // The demuxer's short name ("mp3", "ogg", "mov,mp4,m4a,3gp,3g2,mj2") and its long name;
    // empty without an input.
    std::string ContainerName() const;
    std::string ContainerLongName() const;

protected:
    // Drops the held input, closing it when owned.
    void ReleaseContext();
    // Holds an input this decoder opened and closes.
    void HoldOwnedContext(AVFormatContext* ctx);

    AVFormatContext* formatContext_ = nullptr; // the held input, owned or attached
    TInputContextPtr ownedContext_;            // set when the decoder opened it
    std::string lastErrMsg_;
    std::string forcedFormat_;
    int64_t fileSize_ = -1;
    int32_t streamCount_ = -1;
    int32_t programCount_ = -1;
    int32_t audioStreamCount_ = -1;
    int32_t videoStreamCount_ = -1;
    int32_t subtitleStreamCount_ = -1;
    int32_t firstAudioStreamIndex_ = -1;
    int32_t firstVideoStreamIndex_ = -1;
    int32_t firstSubtitleStreamIndex_ = -1;
};

// Facts of the picture a decoder holds.
struct TPictureFacts {
    AVPixelFormat PixelFormat = AV_PIX_FMT_NONE;
    int Width = 0;
    int Height = 0;
    bool KeyFrame = false;
    int PictureType = 0; // AVPictureType 0..7
    // Presentation time in microseconds from the stream start, and the one before it.
    int64_t PTS = AV_NOPTS_VALUE;
    int64_t LastPTS = AV_NOPTS_VALUE;
    // The packet that completed the picture, in its stream's time base.
    int64_t PacketDTS = AV_NOPTS_VALUE;
    int64_t PacketPTS = AV_NOPTS_VALUE;
    int StreamIndex = -1;
    // Input byte position before the packets of the decode were read, and the one before it.
    int64_t Position = -1;
    int64_t LastPosition = -1;
};

class TFFDecoder : public TCustomDecoder {
public:
    TFFDecoder();
    ~TFFDecoder() override;

    // Opens and probes a file (UTF-8 name); `format` forces an input format when not empty.
    // False with LastErrMsg set when the file cannot be opened or probed.
    bool LoadFile(const std::string& fileName, const std::string& format = "");
    void ReadFileInfo() override;
    void CloseFile() override;

    // Name of the held input; empty (and "file not loaded.") without one.
    std::string FileName();
    void GetFileStreamInfo(TFileStreamInfo& info);
    // A negative index takes the first stream of the kind.
    void GetAudioStreamInfo(int index, TAudioStreamInfo& info);
    void GetVideoStreamInfo(int index, TVideoStreamInfo& info);

    // False without an input and for still images; an attached input raises
    // std::runtime_error "file cannot be seeked, handle is readonly.".
    bool CanSeek();
    // Seeks to `position`: microseconds, or bytes with AVSEEK_FLAG_BYTE in `flags`.
    bool Seek(uint8_t flags, int64_t position);
    // A negative index takes the current stream, else the first video stream. Returns the
    // index now current, or -1.
    int SelectVideoStream(int index);
    // Decodes the next picture of the stream (chosen as by SelectVideoStream). True when a
    // picture is ready.
    bool Decode(int index = -1);
    // The held picture in `bitmap`; without one false (and on a failed conversion a black
    // bitmap of the picture's size).
    bool GetBitmap(TBitmap& bitmap);
    // Logs `msg` at the library level `level` with this decoder as sender, and keeps it as
    // LastErrMsg.
    void ReportError(int level, const std::string& msg);
    void ReportErrorFmt(int level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

    bool Deinterlace() const { return deinterlace_; }
    void SetDeinterlace(bool on) { deinterlace_ = on; }
    int SeekStreamIndex() const { return seekStreamIndex_; }
    int64_t SeekStartTime() const { return seekStartTime_; }
    int DecodeStreamIndex() const { return decodeStreamIndex_; }
    bool EndOfStream() const { return endOfStream_; }
    bool PictureReady() const { return pictureReady_; }
    const TPictureFacts& Picture() const { return picture_; }
    TFormatConverter& Converter() { return converter_; }

private:
    struct TCodecContextDeleter {
        void operator()(AVCodecContext* p) const;
    };
    struct TBufferDeleter {
        void operator()(uint8_t* p) const;
    };
    using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
    // What a picture keeps of the packet that completed it.
    struct TPacketFacts {
        int StreamIndex = -1;
        int64_t DTS = AV_NOPTS_VALUE;
        int64_t PTS = AV_NOPTS_VALUE;
        int Flags = 0;
    };

    // The stream at `index` when it is of `mediaType`; else reports why and gives null.
    AVStream* StreamOfKind(int index, int mediaType, const char* noStream, const char* notKind);
    bool IsStillImageInput() const;
    void ResetPictureFacts();
    void CloseVideoDecoder();
    AVCodecContext* OpenVideoDecoder(int index);
    // Takes the frame the decoder has ready, if any; `pkt` is the packet last sent (null
    // when the decoder is drained at the end of the input).
    bool ReceivePicture(AVCodecContext* codec, const AVPacket* pkt, int streamIndex,
                        int64_t position);
    void KeepPicture(const AVFrame* frame, const TPacketFacts& facts, int streamIndex,
                     int64_t position);
    bool GrowPictureBuffer(int size);

    TFormatConverter converter_;
    bool deinterlace_ = false;
    int seekStreamIndex_ = -1;
    int64_t seekStartTime_ = -1;
    int decodeStreamIndex_ = -1;
    TCodecPtr videoCodec_;
    int videoCodecStreamIndex_ = -1;
    TFramePtr frame_;
    bool endOfStream_ = false;
    bool pictureReady_ = false;
    TPictureFacts picture_;
    std::unique_ptr<uint8_t, TBufferDeleter> pictureBuffer_;
    int pictureBufferSize_ = 0;
    TPicture heldPicture_;
};
