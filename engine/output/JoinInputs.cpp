// Join mode: the inputs are written one after another into one output. Each input after the
// first gets an output slot of its own on the same container.
#include "FFmpeg.h"
#include "output/Output.h"

void TCustomFFmpeg::JoinInputs() {
    if (!JoinMode || OutputFiles.empty())
        return;
    int64_t total = 0;
    for (const auto& input : InputFiles)
        if (input->Container && input->Container->duration != AV_NOPTS_VALUE)
            total += input->Container->duration;
    ExpectedDuration = total == 0 ? -1 : total;

    const size_t first = OutputFiles.size() - 1;
    const TOutputContainerPtr shared = OutputFiles[first];
    AVFormatContext* ctx = shared->Context();
    // The position of the first slot's streams in the order of all output streams.
    size_t firstPosition = 0;
    for (size_t i = 0; i < first; ++i)
        firstPosition += OutputStreams[i].size();

    for (int i = 1; i < InputCount(); ++i) {
        AppendOutputFile(shared);
        const int slot = OutputCount() - 1;
        auto& streams = OutputStreams[static_cast<size_t>(slot)];
        for (unsigned k = 0; k < ctx->nb_streams; ++k) {
            auto record = std::make_unique<EngineOutputStream>();
            record->fileIndex = slot;
            record->streamIndex = static_cast<int>(k);
            record->stream = ctx->streams[k];
            if (k < OutputStreams[first].size())
                record->streamCopy = OutputStreams[first][k]->streamCopy;
            streams.push_back(std::move(record));
            const size_t position = firstPosition + k;
            OutputCodecs.push_back(position < OutputCodecs.size() ? OutputCodecs[position]
                                                                  : nullptr);
        }
    }
}
