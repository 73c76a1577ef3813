// The output stream table and the input stream that feeds each output stream, with or
// without stream maps; and the dump of the output formats and the mapping.
#include <memory>
#include <vector>

#include "TextUtils.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/FFUtils.h"

namespace {

bool InProgram(const AVFormatContext* ic, int programId, int streamIndex) {
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        const AVProgram* program = ic->programs[p];
        if (program->id != programId)
            continue;
        for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
            if (static_cast<int>(program->stream_index[s]) == streamIndex)
                return true;
    }
    return false;
}

// A container context that only lends its stream list: the streams belong to their inputs,
// so the list is taken back before the context is freed.
struct TBorrowedStreamsDeleter {
    void operator()(AVFormatContext* ctx) const {
        ctx->streams = nullptr;
        ctx->nb_streams = 0;
        ff::avformat_free_context(ctx);
    }
};

// This platform's mapping of "the most frames the demuxer inspected while probing": the
// count is private to the library in this FFmpeg, and its own choice of the best stream
// (av_find_best_stream) is what ranks by it. It is asked once about the candidates of all
// inputs together, through a context that lends it their streams in table order, so a
// stream of the second input that was seen with more frames wins over one of the first.
// The library's ranking also weighs the streams' disposition and bit rate; equals keep the
// first in table order. When the library refuses every candidate (audio without channels
// or rate, say), the first one is taken.
size_t BestOfStreams(std::vector<AVStream*>& streams, AVMediaType type) {
    if (streams.size() == 1)
        return 0;
    std::unique_ptr<AVFormatContext, TBorrowedStreamsDeleter> all(ff::avformat_alloc_context());
    if (!all)
        return 0;
    all->streams = streams.data();
    all->nb_streams = static_cast<unsigned>(streams.size());
    const int best = ff::av_find_best_stream(all.get(), type, -1, -1, nullptr, 0);
    return best >= 0 && best < static_cast<int>(streams.size()) ? static_cast<size_t>(best) : 0;
}

} // namespace

void TTranscodeRun::MapStreams() {
    const int outputCount = task_.OutputCount();
    int total = 0;
    for (int j = 0; j < outputCount; ++j) {
        const AVFormatContext* oc = OutputContext(j);
        if (oc->nb_streams == 0 && (oc->oformat->flags & AVFMT_NOSTREAMS) == 0) {
            DumpOutputFormat(j);
            throw FFmpegException(FormatText("Output file #%d does not contain any stream", j));
        }
        if (j == 0)
            groupSize_ = static_cast<int>(oc->nb_streams);
        total += static_cast<int>(oc->nb_streams);
    }

    const std::vector<TStreamMap>& maps = task_.StreamMaps;
    const int inputCount = task_.InputCount();
    if (!maps.empty() && static_cast<int>(maps.size()) != total)
        throw FFmpegException("Number of stream maps must match number of output streams");
    for (const TStreamMap& m : maps) {
        if (m.FileIndex < 0 || m.FileIndex >= inputCount || m.StreamIndex < 0 ||
            m.StreamIndex >= files_[m.FileIndex].nbStreams)
            throw FFmpegException(
                FormatText("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
        if (m.SyncFileIndex < 0 || m.SyncFileIndex >= inputCount || m.SyncStreamIndex < 0 ||
            m.SyncStreamIndex >= files_[m.SyncFileIndex].nbStreams)
            throw FFmpegException(FormatText("Could not find sync stream #%d.%d", m.SyncFileIndex,
                                             m.SyncStreamIndex));
    }

    ostTable_.clear();
    ostTable_.reserve(total);
    for (int j = 0; j < outputCount; ++j) {
        AVFormatContext* oc = OutputContext(j);
        auto& records = task_.OutputStreams[j];
        for (int k = 0; k < static_cast<int>(oc->nb_streams); ++k) {
            if (k >= static_cast<int>(records.size()) || !records[k])
                throw FFmpegException("Could not alloc output stream");
            EngineOutputStream& ost = *records[k];
            ost.stream = oc->streams[k];
            const AVMediaType type = OutputStreamType(ost);
            const int n = static_cast<int>(ostTable_.size());
            int source = -1;
            EngineInputStream* sync = nullptr;
            if (!maps.empty()) {
                const TStreamMap& m = maps[n];
                source = files_[m.FileIndex].firstStreamIndex + m.StreamIndex;
                const AVMediaType sourceType = InputStreamType(*task_.InputStreams[source]);
                if (sourceType != type) {
                    DumpOutputFormat(j);
                    throw FFmpegException(
                        FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                   m.FileIndex, m.StreamIndex, MediaTypeToStr(sourceType).c_str(),
                                   j, k, MediaTypeToStr(type).c_str()));
                }
                sync =
                    task_.InputStreams[files_[m.SyncFileIndex].firstStreamIndex + m.SyncStreamIndex]
                        .get();
            } else {
                source = FindSourceWithoutMaps(ost, j);
                if (source < 0) {
                    DumpOutputFormat(j);
                    throw FFmpegException(
                        FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                                   j, k, MediaTypeToStr(type).c_str()));
                }
            }
            EngineInputStream& ist = *task_.InputStreams[source];
            ost.sourceIndex = source;
            ist.discard = 0;
            ost.syncInput = sync != nullptr ? sync : &ist;
            ost.active = 1;
            ostTable_.push_back(&ost);
        }
    }

    // Streams no output takes are skipped by the demuxer itself.
    for (const auto& ist : task_.InputStreams)
        if (ist->discard)
            ist->stream->discard = AVDISCARD_ALL;
}

// Candidates: streams of the output's type that no output took yet and that the demuxer
// reads (in join mode only those of input j; with programid only those of that program),
// ranked together across all inputs. Without a candidate, and outside join mode and
// programid, the last stream of the type is shared.
int TTranscodeRun::FindSourceWithoutMaps(const EngineOutputStream& ost, int outputFile) const {
    const AVMediaType type = OutputStreamType(ost);
    std::vector<int> candidates;
    std::vector<AVStream*> streams;
    for (int i = 0; i < static_cast<int>(task_.InputStreams.size()); ++i) {
        const EngineInputStream& ist = *task_.InputStreams[i];
        if (InputStreamType(ist) != type || !ist.discard || ist.stream->discard == AVDISCARD_ALL)
            continue;
        if (joinMode_ && ist.fileIndex != outputFile)
            continue;
        if (task_.ProgramId != 0 &&
            !InProgram(InputContext(ist.fileIndex), task_.ProgramId, ist.streamIndex))
            continue;
        candidates.push_back(i);
        streams.push_back(ist.stream);
    }
    if (!candidates.empty())
        return candidates[BestOfStreams(streams, type)];
    int best = -1;
    if (task_.ProgramId == 0 && !joinMode_) {
        for (int i = 0; i < static_cast<int>(task_.InputStreams.size()); ++i) {
            const EngineInputStream& ist = *task_.InputStreams[i];
            if (InputStreamType(ist) == type && ist.stream->discard != AVDISCARD_ALL)
                best = i;
        }
    }
    return best;
}

void TTranscodeRun::DumpOutputFormat(int outputFile) const {
    AVFormatContext* oc = OutputContext(outputFile);
    ff::av_dump_format(oc, outputFile, oc->url, 1);
}

void TTranscodeRun::DumpFormatsAndMapping() const {
    const int count = joinMode_ ? std::min(1, task_.OutputCount()) : task_.OutputCount();
    for (int j = 0; j < count; ++j)
        DumpOutputFormat(j);
    if (task_.Verbose < 0)
        return;
    FFLogger()->Log(&task_, llVerbose, "Stream mapping:");
    for (const EngineOutputStream* ost : ostTable_) {
        const EngineInputStream& ist = *task_.InputStreams[ost->sourceIndex];
        const std::string type = MediaTypeToStr(OutputStreamType(*ost));
        FFLogger()->Log(&task_, llVerbose,
                        FormatText("  Stream #%d.%d -> #%d.%d (%s)", ist.fileIndex, ist.streamIndex,
                                   joinMode_ ? 0 : ost->fileIndex, ost->streamIndex, type.c_str()));
        if (ost->syncInput != &ist && ost->syncInput != nullptr)
            FFLogger()->Log(&task_, llVerbose,
                            FormatText(" [sync #%d.%d (%s)]", ost->syncInput->fileIndex,
                                       ost->syncInput->streamIndex, type.c_str()));
    }
}
