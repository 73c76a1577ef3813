// The end of a run, however the loop ended: drain the decoders and encoders, write the
// trailers, make the last report, close the codecs and set Finished.
#include <algorithm>
#include <mutex>

#include "CodecLock.h"
#include "log/FFLog.h"
#include "run/Run.h"
#include "utils/FFUtils.h"

void TTranscodeRun::EndOfRun() {
    for (int i = 0; i < static_cast<int>(task_.InputStreams.size()); ++i) {
        EngineInputStream& ist = *task_.InputStreams[i];
        if (ist.decodingNeeded && !ist.flushed)
            DecodeAndRoute(ist, i, nullptr);
    }

    FinishEncodeThreads();

    // A trailer that cannot be written leaves a broken file: the run fails, after the other
    // outputs got theirs.
    int trailerError = 0;
    const int count = joinMode_ ? 1 : task_.OutputCount();
    for (int j = 0; j < count; ++j) {
        const int ret = ff::av_write_trailer(OutputContext(j));
        if (ret < 0 && trailerError == 0)
            trailerError = ret;
    }

    task_.ProgressReport(true, -1);

    for (EngineOutputStream* ost : ostTable_)
        if (ost->encodingNeeded)
            CloseEncoder(*ost);
    for (const auto& ist : task_.InputStreams)
        if (ist->decodingNeeded)
            CloseDecoder(*ist);

    if (trailerError < 0) {
        const std::string message = FormatErrorMessage("av_write_trailer()", trailerError);
        FFLogger()->Log(&task_, llError, message);
        throw FFmpegException(message);
    }
    // Decode errors are skipped on the way; an output with an audio stream that received no
    // audio at all holds a header or a tag only and is no conversion (unless a limit the
    // options set, of size or length, cut it before the first packet).
    const bool limited = sizeLimitReached_ || task_.RecordingTime != INT64_MAX;
    if (!task_.StopRequested && !limited && task_.AudioSize == 0 && HasAudioOutput()) {
        const std::string source =
            task_.InputFiles.empty() ? std::string() : task_.InputFiles[0]->FileName;
        const std::string message = "no audio could be decoded from " + source;
        FFLogger()->Log(&task_, llError, message);
        throw FFmpegException(message);
    }
    task_.Finished = !task_.StopRequested;
}

// Closing frees the codec context; the registries list only open codecs.
void TTranscodeRun::CloseEncoder(EngineOutputStream& ost) {
    std::lock_guard registry(CodecRegistryLock);
    TCodecLock codecLock;
    const bool open = std::find(task_.OpenEncoders.begin(), task_.OpenEncoders.end(), &ost) !=
                      task_.OpenEncoders.end();
    if (!open)
        return;
    task_.OpenEncoders.remove(&ost);
    if (ost.encoder)
        ff::av_freep(&ost.encoder->stats_in);
    ost.encoder.reset();
}

void TTranscodeRun::CloseDecoder(EngineInputStream& ist) {
    std::lock_guard registry(CodecRegistryLock);
    TCodecLock codecLock;
    const bool open = std::find(task_.OpenDecoders.begin(), task_.OpenDecoders.end(), &ist) !=
                      task_.OpenDecoders.end();
    if (!open)
        return;
    task_.OpenDecoders.remove(&ist);
    ist.decoder.reset();
}

bool TTranscodeRun::HasAudioOutput() const {
    for (const EngineOutputStream* ost : ostTable_)
        if (OutputStreamType(*ost) == AVMEDIA_TYPE_AUDIO)
            return true;
    return false;
}
