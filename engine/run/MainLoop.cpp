// The main loop of a run: choose the input whose data is needed next, read one packet,
// correct its timestamps, decode and route it, report progress.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "MyUtils.h"
#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/FFUtils.h"

namespace {

constexpr double NoTime = 1e100;
constexpr unsigned NoPacketSleepMicroseconds = 10000;

int FrameLimit(const TCustomFFmpeg& task, AVMediaType type) {
    if (type < AVMEDIA_TYPE_VIDEO || type > AVMEDIA_TYPE_SUBTITLE)
        return INT_MAX;
    return task.MaxFrames[type];
}

} // namespace

void TTranscodeRun::Loop() {
    task_.RunStartTime = ff::av_gettime();
    lastReportTime_ = task_.RunStartTime;
    std::fill(noPacket_.begin(), noPacket_.end(), 0);
    noPacketCount_ = 0;
    if (!IsMainThread())
        RegisterReadStopCheck();
    packet_.reset(ff::av_packet_alloc());
    copyPacket_.reset(ff::av_packet_alloc());
    frame_.reset(ff::av_frame_alloc());
    if (!packet_ || !copyPacket_ || !frame_)
        throw FFmpegException("av_mallocz fail");

    int current = 0;
    while (!task_.StopRequested) {
        const int file = ChooseInput(current);
        if (file < 0) {
            if (joinMode_ || noPacketCount_ == 0)
                break;
            std::fill(noPacket_.begin(), noPacket_.end(), 0);
            noPacketCount_ = 0;
            ff::av_usleep(NoPacketSleepMicroseconds);
            continue;
        }

        if (task_.LimitFileSize != 0) {
            AVIOContext* pb = OutputContext(0)->pb;
            if (pb != nullptr && ff::avio_seek(pb, 0, SEEK_CUR) >= task_.LimitFileSize) {
                sizeLimitReached_ = true;
                break;
            }
        }

        AVFormatContext* ic = InputContext(file);
        AVPacket& pkt = *packet_;
        reading_ = true;
        const int ret = ff::av_read_frame(ic, &pkt);
        reading_ = false;
        if (ret == AVERROR(EAGAIN)) {
            noPacket_[file] = 1;
            ++noPacketCount_;
            continue;
        }
        if (ret < 0) {
            // A read the stop request interrupted ends the loop, not the input.
            if (task_.StopRequested)
                break;
            if ((ret == AVERROR_EOF || (ic->pb != nullptr && ic->pb->eof_reached)) &&
                LoopFromStart(file))
                continue;
            files_[file].eofReached = 1;
            if (!joinMode_) {
                if (task_.Shortest)
                    break;
                continue;
            }
            if (JoinSwitch(file))
                break;
            current = file + 1;
            continue;
        }

        std::fill(noPacket_.begin(), noPacket_.end(), 0);
        noPacketCount_ = 0;
        ++files_[file].packetsThisPass;
        const bool known = pkt.stream_index >= 0 && pkt.stream_index < files_[file].nbStreams;
        if (task_.PacketDump && known)
            ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, &pkt, task_.HexDump ? 1 : 0,
                                 ic->streams[pkt.stream_index]);
        const int index = known ? files_[file].firstStreamIndex + pkt.stream_index : -1;
        EngineInputStream* ist = known ? task_.InputStreams[index].get() : nullptr;
        if (ist == nullptr || ist->discard ||
            !AdjustTimestamps(pkt, *ist, *task_.InputFiles[file])) {
            ff::av_packet_unref(&pkt);
            MaybeReport(file);
            continue;
        }

        if (DecodeAndRoute(*ist, index, &pkt) < 0) {
            ff::av_packet_unref(&pkt);
            const std::string msg =
                FormatText("Error while decoding stream #%d.%d (%s)", ist->fileIndex,
                           ist->streamIndex, MediaTypeToStr(InputStreamType(*ist)).c_str());
            if (task_.ExitOnError)
                throw FFmpegException(msg);
            if (task_.Verbose >= 0)
                FFLogger()->Log(&task_, llVerbose, msg);
            continue;
        }
        ff::av_packet_unref(&pkt);
        MaybeReport(file);
    }
}

// Normal mode: the input that feeds the output furthest behind in output time (input time
// with isync), or none when every candidate's input has ended or answered "try again". An
// output at its frame limit ends the choice. Join mode: the current input unless one of its
// group's outputs is at its frame limit.
int TTranscodeRun::ChooseInput(int current) const {
    if (joinMode_) {
        const int first = current * groupSize_;
        const int last = std::min(first + groupSize_, static_cast<int>(ostTable_.size()));
        for (int pos = first; pos < last; ++pos)
            if (ostTable_[pos]->frameNumber >= FrameLimit(task_, OutputStreamType(*ostTable_[pos])))
                return -1;
        return current;
    }
    int file = -1;
    double inputMin = NoTime;
    double outputMin = NoTime;
    for (const EngineOutputStream* ost : ostTable_) {
        const EngineInputStream& ist = *task_.InputStreams[ost->sourceIndex];
        if (ist.isPastRecordingTime || noPacket_[ist.fileIndex])
            continue;
        const double outputTime =
            ost->lastEndTime == AV_NOPTS_VALUE
                ? 0.0
                : static_cast<double>(ost->lastEndTime) * av_q2d(ost->stream->time_base);
        const double inputTime = static_cast<double>(ist.pts);
        if (!files_[ist.fileIndex].eofReached) {
            if (inputTime < inputMin) {
                inputMin = inputTime;
                if (task_.InputSync)
                    file = ist.fileIndex;
            }
            if (outputTime < outputMin) {
                outputMin = outputTime;
                if (!task_.InputSync)
                    file = ist.fileIndex;
            }
        }
        if (ost->frameNumber >= FrameLimit(task_, OutputStreamType(*ost)))
            return -1;
    }
    return file;
}

// Time offset and scale of the input, the correction of a timestamp jump, and the recording
// time. False: the packet is dropped.
bool TTranscodeRun::AdjustTimestamps(AVPacket& pkt, EngineInputStream& ist, EngineInputFile& file) {
    const AVRational tb = ist.stream->time_base;
    if (file.TsOffset != 0) {
        const int64_t offset = ff::av_rescale_q(file.TsOffset, AV_TIME_BASE_Q, tb);
        if (pkt.dts != AV_NOPTS_VALUE)
            pkt.dts += offset;
        if (pkt.pts != AV_NOPTS_VALUE)
            pkt.pts += offset;
    }

    if (pkt.stream_index < static_cast<int>(file.TsScales.size())) {
        const double scale = file.TsScales[pkt.stream_index];
        if (scale != 0) {
            if (pkt.pts != AV_NOPTS_VALUE)
                pkt.pts = std::llrint(static_cast<double>(pkt.pts) * scale);
            if (pkt.dts != AV_NOPTS_VALUE)
                pkt.dts = std::llrint(static_cast<double>(pkt.dts) * scale);
        }
    }

    const AVFormatContext* ic = file.Container.get();
    if (pkt.dts != AV_NOPTS_VALUE && ist.nextPts != AV_NOPTS_VALUE &&
        (ic->iformat->flags & AVFMT_TS_DISCONT) != 0) {
        const int64_t dtsTime = ff::av_rescale_q(pkt.dts, tb, AV_TIME_BASE_Q);
        const int64_t delta = dtsTime - ist.nextPts;
        const double threshold = static_cast<double>(task_.DtsDeltaThreshold) * AV_TIME_BASE;
        if (!task_.CopyTs &&
            (static_cast<double>(std::llabs(delta)) > threshold || dtsTime + 1 < ist.pts)) {
            file.TsOffset -= delta;
            if (task_.Verbose > 2)
                FFLogger()->Log(&task_, llVerbose,
                                FormatText("timestamp discontinuity %lld, new offset= %lld",
                                           static_cast<long long>(delta),
                                           static_cast<long long>(file.TsOffset)));
            const int64_t shift = ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            pkt.dts -= shift;
            if (pkt.pts != AV_NOPTS_VALUE)
                pkt.pts -= shift;
        }
    }

    if (task_.RecordingTime != INT64_MAX) {
        const int64_t stamp = pkt.pts != AV_NOPTS_VALUE ? pkt.pts : pkt.dts;
        if (stamp != AV_NOPTS_VALUE &&
            ff::av_compare_ts(stamp, tb, task_.StartTime + task_.RecordingTime, AV_TIME_BASE_Q) >=
                0) {
            ist.isPastRecordingTime = 1;
            return false;
        }
    }
    return true;
}

void TTranscodeRun::MaybeReport(int currentFile) {
    const int64_t now = ff::av_gettime();
    if (now - lastReportTime_ > task_.ProgressInterval) {
        lastReportTime_ = now;
        task_.ProgressReport(false, currentFile);
    }
}
