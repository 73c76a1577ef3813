// The progress report of a run, the statistics line after its last report, and the per-frame
// video statistics file.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "FFmpeg.h"
#include "TextUtils.h"
#include "binding/MyUtilStubs.h"
#include "log/FFLog.h"

namespace {

// Quality values are kept in lambda units; the quantiser is quality / FF_QP2LAMBDA.
constexpr float LambdaPerQuant = FF_QP2LAMBDA;

// Output time before any stream has one, seconds.
constexpr double NoOutputTime = 1e10;
constexpr double MinOutputTime = 0.01;

// The quantiser histogram of "qphist", shared by every task of the process.
std::array<std::atomic<int>, 52> QuantHistogram{};

// The report's text line: at most 1023 characters, each piece appended with a bounded print.
class TReportLine {
public:
    void Append(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (length_ >= sizeof(text_) - 1)
            return;
        va_list args;
        va_start(args, fmt);
        const int n = std::vsnprintf(text_ + length_, sizeof(text_) - length_, fmt, args);
        va_end(args);
        if (n > 0)
            length_ = std::min(length_ + static_cast<size_t>(n), sizeof(text_) - 1);
    }
    std::string Text() const { return std::string(text_, length_); }

private:
    char text_[1024] = {};
    size_t length_ = 0;
};

double Psnr(double d) {
    return -10.0 * std::log10(d);
}

AVMediaType StreamKind(const EngineOutputStream& ost) {
    if (ost.encoder && ost.encoder->codec_type != AVMEDIA_TYPE_UNKNOWN)
        return ost.encoder->codec_type;
    if (ost.stream != nullptr && ost.stream->codecpar != nullptr)
        return ost.stream->codecpar->codec_type;
    return AVMEDIA_TYPE_UNKNOWN;
}

// The quantiser of the stream's last coded frame; -1 for a stream copy.
float CodedQuant(const EngineOutputStream& ost) {
    return ost.encodingNeeded ? static_cast<float>(ost.codedQuality) / LambdaPerQuant : -1.0f;
}

// Bytes written to an output so far: its total size, else its position; 0 without I/O.
int64_t WrittenSize(const AVFormatContext* oc) {
    if (oc == nullptr || oc->pb == nullptr)
        return 0;
    int64_t size = ff::avio_size(oc->pb);
    if (size < 0)
        size = ff::avio_tell(oc->pb);
    return size;
}

} // namespace

void TCustomFFmpeg::TStatsFileCloser::operator()(FILE* file) const {
    if (ff::fclose != nullptr)
        ff::fclose(file);
    else
        std::fclose(file);
}

void TCustomFFmpeg::ResetQuantHistogram() {
    for (std::atomic<int>& count : QuantHistogram)
        count.store(0, std::memory_order_relaxed);
}

void TCustomFFmpeg::KeepCodedFrameStats(EngineOutputStream& ost, const AVPacket& packet) {
    // Layout: quality (32-bit LE), picture type, error count, 2 reserved bytes, then the
    // errors (64-bit LE each).
    size_t size = 0;
    const uint8_t* data = ff::av_packet_get_side_data(&packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (data == nullptr || size < 4)
        return;
    ost.codedQuality = static_cast<int>(AV_RL32(data));
    ost.codedPictType = size >= 5 ? data[4] : static_cast<int>(AV_PICTURE_TYPE_NONE);
    const size_t errorCount = size >= 6 ? data[5] : 0;
    for (size_t i = 0; i < std::size(ost.codedError); ++i)
        ost.codedError[i] =
            i < errorCount && 8 + 8 * (i + 1) <= size ? AV_RL64(data + 8 + 8 * i) : 0;
}

namespace {

// The least positive clock of the streams of that type (of all streams for
// AVMEDIA_TYPE_UNKNOWN), seconds; NoOutputTime when there is none.
double ShortestClock(const std::vector<std::pair<const AVStream*, int64_t>>& clocks,
                     AVMediaType type) {
    double shortest = NoOutputTime;
    for (const auto& [stream, end] : clocks) {
        if (type != AVMEDIA_TYPE_UNKNOWN && stream->codecpar->codec_type != type)
            continue;
        const double streamTime = static_cast<double>(end) * av_q2d(stream->time_base);
        if (streamTime > 0 && streamTime < shortest)
            shortest = streamTime;
    }
    return shortest;
}

} // namespace

void TCustomFFmpeg::ProgressReport(bool isLastReport, int currentFile) {
    int frameNumber = -1;
    int fps = -1;
    float quality = -1.0f;
    double t = NoOutputTime;
    TReportLine line;

    const AVFormatContext* first =
        !OutputFiles.empty() && OutputFiles[0] ? OutputFiles[0]->Context() : nullptr;
    std::unique_lock muxers(MuxerLock);
    const int64_t size = WrittenSize(first);

    // The clock of a muxer stream is the latest end written through any of its records (in
    // join mode every group of records feeds the same muxer streams). A cover picture's
    // stream ends with its one picture and has no clock.
    std::vector<std::pair<const AVStream*, int64_t>> clocks;
    for (const auto& group : OutputStreams)
        for (const auto& ost : group) {
            if (!ost || ost->stream == nullptr || ost->lastEndTime == AV_NOPTS_VALUE ||
                (ost->stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
                continue;
            auto it = std::find_if(clocks.begin(), clocks.end(),
                                   [&](const auto& c) { return c.first == ost->stream; });
            if (it == clocks.end())
                clocks.emplace_back(ost->stream, ost->lastEndTime);
            else
                it->second = std::max(it->second, ost->lastEndTime.load());
        }
    muxers.unlock();

    bool videoReported = false;
    for (const auto& group : OutputStreams)
        for (const auto& ost : group) {
            if (!ost)
                continue;
            const bool isVideo = StreamKind(*ost) == AVMEDIA_TYPE_VIDEO;
            if (videoReported && isVideo) {
                line.Append("q=%2.1f ", CodedQuant(*ost));
            } else if (!videoReported && isVideo && ost->active == 1) {
                const float elapsed =
                    static_cast<float>(ff::av_gettime() - RunStartTime) / 1000000.0f;
                frameNumber = ost->frameNumber;
                // Nothing is reported before the first video frame is out.
                if (frameNumber < 1)
                    return;
                fps = elapsed > 1 ? static_cast<int>(frameNumber / elapsed + 0.5f) : 0;
                quality = CodedQuant(*ost);
                line.Append("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality);
                if (isLastReport)
                    line.Append("L");
                if (QpHistogram) {
                    const long q = std::lround(ost->codedQuality / LambdaPerQuant);
                    if (q >= 0 && q < static_cast<long>(QuantHistogram.size()))
                        QuantHistogram[q].fetch_add(1, std::memory_order_relaxed);
                    for (size_t j = 0; j < 32; ++j)
                        line.Append("%X",
                                    static_cast<int>(std::lround(std::log2(
                                        QuantHistogram[j].load(std::memory_order_relaxed) + 1.0))));
                }
                const AVCodecContext* enc = ost->encoder.get();
                if (enc != nullptr && (enc->flags & AV_CODEC_FLAG_PSNR)) {
                    static constexpr char Planes[3] = {'Y', 'U', 'V'};
                    double errorSum = 0;
                    double scaleSum = 0;
                    line.Append("PSNR=");
                    for (int j = 0; j < 3; ++j) {
                        double error;
                        double scale =
                            static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
                        if (isLastReport) {
                            error = static_cast<double>(enc->error[j]);
                            scale *= frameNumber;
                        } else {
                            error = static_cast<double>(ost->codedError[j]);
                        }
                        if (j > 0)
                            scale /= 4;
                        errorSum += error;
                        scaleSum += scale;
                        line.Append("%c:%2.2f ", Planes[j], Psnr(error / scale));
                    }
                    line.Append("*:%2.2f ", Psnr(errorSum / scaleSum));
                }
                videoReported = true;
            }
        }

    t = ShortestClock(clocks, AVMEDIA_TYPE_UNKNOWN);
    // The length of the output, for the check of outputs shorter than their source: its
    // audio (its video when it has no audio). A subtitle track ends with its last cue.
    double written = ShortestClock(clocks, AVMEDIA_TYPE_AUDIO);
    if (written == NoOutputTime)
        written = ShortestClock(clocks, AVMEDIA_TYPE_VIDEO);
    if (written != NoOutputTime)
        OutputDuration = static_cast<int64_t>(written * 1000000);
    // Before any stream has an output time the report counts the least time, not 1e10 s.
    if (t < MinOutputTime || t == NoOutputTime)
        t = MinOutputTime;

    if (OnProgress || Verbose > 0 || isLastReport) {
        const double bitrate = static_cast<double>(size) * 8 / t / 1000;
        line.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", size / 1024.0, t, bitrate);
        if (DupFrames != 0 || DropFrames != 0) {
            line.Append(" dup=%d drop=%d", DupFrames, DropFrames);
            if (DupDropChanged && Verbose >= 0 && OnProgress) {
                DupDropChanged = false;
                FFLogger()->Log(this, llVerbose, line.Text());
            }
        }
        if (OnProgress)
            OnProgress(this, currentFile, ExpectedDuration, static_cast<int64_t>(t * 1000000), size,
                       static_cast<float>(bitrate), quality, fps, frameNumber);
        else if (Verbose >= 0)
            FFLogger()->Log(this, llVerbose, line.Text());
    }

    if (isLastReport && Verbose >= 0) {
        const int64_t raw = VideoSize + AudioSize + ExtraSize;
        const std::string sizes =
            FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB ", VideoSize / 1024.0,
                       AudioSize / 1024.0, ExtraSize / 1024.0);
        // Nothing encoded or copied: the overhead has no base.
        if (raw > 0)
            FFLogger()->Log(this, llVerbose,
                            sizes + FormatText("muxing overhead %f%%\r\n",
                                               static_cast<double>(size - raw) * 100 / raw));
        else
            FFLogger()->Log(this, llVerbose, sizes + "muxing overhead unknown\r\n");
    }
}

void TCustomFFmpeg::WriteVideoStats(EngineOutputStream& ost, int frameSize) {
    const AVCodecContext* enc = ost.encoder.get();
    if (enc == nullptr || enc->codec_type != AVMEDIA_TYPE_VIDEO || !VstatsFileName)
        return;
    if (!VstatsFile) {
        FILE* file = ff::fopen(VstatsFileName->c_str(), "w");
        if (file == nullptr)
            throw FFmpegException("fopen fail: " + *VstatsFileName);
        VstatsFile.reset(file);
    }

    std::string text = FormatText("frame= %5d q= %2.1f ", ost.frameNumber,
                                  static_cast<float>(ost.codedQuality) / LambdaPerQuant);
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        text += FormatText("PSNR= %6.2f ",
                           Psnr(static_cast<double>(ost.codedError[0]) /
                                (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
    text += FormatText("f_size= %6d ", frameSize);

    const double timeBase = av_q2d(enc->time_base);
    double t = static_cast<double>(ost.syncOpts) * timeBase;
    if (t < MinOutputTime)
        t = MinOutputTime;
    const double bitrate = frameSize * 8 / timeBase / 1000;
    const double average = static_cast<double>(VideoSize) * 8 / t / 1000;
    text += FormatText("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                       VideoSize / 1024.0, t, bitrate, average);
    text += FormatText("type= %c\n",
                       ff::av_get_picture_type_char(static_cast<AVPictureType>(ost.codedPictType)));
    ff::fwrite(text.data(), 1, text.size(), VstatsFile.get());
}
