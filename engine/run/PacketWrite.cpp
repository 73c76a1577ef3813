// Write packet: the single path by which every encoded or copied packet reaches a muxer.
// The packet passes the stream's bitstream filters in order; a filter that fails lets the
// packet it was given pass on unchanged. The stream's output time (lastEndTime) is the end of
// the last packet written.
#include <mutex>

#include "FFmpeg.h"
#include "TextUtils.h"
#include "audio/Audio.h"
#include "log/FFLog.h"
#include "utils/FFUtils.h"

namespace {

void ReportFilterFailure(TCustomFFmpeg& task, const AVBSFContext* filter, int streamIndex,
                         const EngineOutputStream& ost, int code) {
    const AVCodecContext* enc = ost.encoder.get();
    const char* codecName = enc && enc->codec ? enc->codec->name : "copy";
    const std::string message =
        FormatErrorMessage(FormatText("%s failed for stream %d, codec %s", filter->filter->name,
                                      streamIndex, codecName),
                           code);
    if (task.ExitOnError)
        throw FFmpegException(message);
    FFLogger()->Log(&task, llError, message);
}

void Mux(AVFormatContext* muxer, AVPacket* pkt, EngineOutputStream& ost) {
    int64_t end = ost.lastEndTime;
    if (pkt->pts != AV_NOPTS_VALUE)
        end = pkt->pts + pkt->duration;
    else if (pkt->dts != AV_NOPTS_VALUE)
        end = pkt->dts + pkt->duration;
    else if (end != AV_NOPTS_VALUE)
        end += pkt->duration;
    const int ret = ff::av_interleaved_write_frame(muxer, pkt);
    if (ret < 0)
        throw FFmpegException(FormatErrorMessage("av_interleaved_write_frame()", ret));
    ost.lastEndTime = end;
}

// Filters from the index-th filter on, then writes; pkt is blank afterwards.
void FilterAndMux(TCustomFFmpeg& task, AVFormatContext* muxer, AVPacket* pkt,
                  EngineOutputStream& ost, size_t index) {
    if (index >= ost.bitstreamFilters.size() || (pkt->size == 0 && pkt->side_data_elems == 0)) {
        // An empty packet would end a filter's stream.
        Mux(muxer, pkt, ost);
        return;
    }
    AVBSFContext* filter = ost.bitstreamFilters[index].get();
    TOutputStreamWork& work = StreamWork(ost);
    if (work.filterInputs.size() <= index)
        work.filterInputs.resize(index + 1);
    if (!work.filterInputs[index])
        work.filterInputs[index].reset(ff::av_packet_alloc());
    AVPacket* given = work.filterInputs[index].get();
    if (given && ff::av_packet_ref(given, pkt) < 0)
        given = nullptr;
    const int streamIndex = pkt->stream_index;

    int ret = ff::av_bsf_send_packet(filter, pkt);
    if (ret < 0) {
        // The filter did not take the packet: it goes on as it is.
        if (given)
            ff::av_packet_unref(given);
        ReportFilterFailure(task, filter, streamIndex, ost, ret);
        FilterAndMux(task, muxer, pkt, ost, index + 1);
        return;
    }
    bool produced = false;
    while ((ret = ff::av_bsf_receive_packet(filter, pkt)) >= 0) {
        produced = true;
        FilterAndMux(task, muxer, pkt, ost, index + 1);
    }
    if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
        ReportFilterFailure(task, filter, streamIndex, ost, ret);
        if (!produced && given && given->data) {
            FilterAndMux(task, muxer, given, ost, index + 1);
            return;
        }
    }
    if (given)
        ff::av_packet_unref(given);
}

} // namespace

void TCustomFFmpeg::InitBitstreamFilters(EngineOutputStream& ost, bool updateStream) {
    ost.bitstreamFiltersReady = 1;
    if (ost.bitstreamFilters.empty() || !ost.stream)
        return;
    const AVCodecParameters* parameters = ost.stream->codecpar;
    for (auto it = ost.bitstreamFilters.begin(); it != ost.bitstreamFilters.end();) {
        AVBSFContext* filter = it->get();
        int ret = ff::avcodec_parameters_copy(filter->par_in, parameters);
        if (ret >= 0) {
            filter->time_base_in = ost.stream->time_base;
            ret = ff::av_bsf_init(filter);
        }
        if (ret < 0) {
            // A filter that cannot start is left out; packets pass without it.
            ReportFilterFailure(*this, filter, ost.stream->index, ost, ret);
            it = ost.bitstreamFilters.erase(it);
            continue;
        }
        parameters = filter->par_out;
        ++it;
    }
    if (updateStream && parameters != ost.stream->codecpar)
        ff::avcodec_parameters_copy(ost.stream->codecpar, parameters);
}

void TCustomFFmpeg::WritePacket(AVFormatContext* muxer, AVPacket* pkt, EngineOutputStream& ost) {
    // An encoder thread may write while the run's thread reports: both take MuxerLock.
    std::lock_guard guard(MuxerLock);
    if (!ost.bitstreamFiltersReady)
        InitBitstreamFilters(ost, false);
    FilterAndMux(*this, muxer, pkt, ost, 0);
}
