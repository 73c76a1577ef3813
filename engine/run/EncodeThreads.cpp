// The encoder thread of a run: a job that writes one re-encoded audio stream to one output,
// from one input, encodes on a second thread while its own thread reads, decodes and
// resamples. The output may also copy the input's cover pictures: a demuxer gives their one
// packet before any other, so it reaches the muxer before the first audio packet whichever
// thread writes it (a looped input gives it again mid-run, so looping keeps one thread).
// Jobs with more streams or files, and joins, keep the one-thread run, where the order of
// writes to a muxer is the run's own; so do raw PCM outputs, whose encoder only copies
// samples: handing them over would cost more than it spares.
#include "audio/Audio.h"
#include "run/Run.h"

EngineOutputStream* TTranscodeRun::EncodeThreadStream() const {
    if (!task_.EncodeThreads || joinMode_ || task_.ThreadsAvailable.load() < 2 ||
        task_.InputCount() != 1 || task_.OutputCount() != 1 ||
        OutputContext(0)->nb_streams != ostTable_.size())
        return nullptr;
    EngineOutputStream* encoded = nullptr;
    for (EngineOutputStream* ost : ostTable_) {
        if (!ost->encodingNeeded) {
            const EngineInputStream& source = *task_.InputStreams[ost->sourceIndex];
            if ((source.stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 ||
                task_.InputFiles[source.fileIndex]->Loop)
                return nullptr;
            continue;
        }
        AVCodecContext* enc = ost->encoder.get();
        if (encoded != nullptr || enc == nullptr || !ff::avcodec_is_open(enc) ||
            OutputStreamType(*ost) != AVMEDIA_TYPE_AUDIO ||
            ff::av_get_exact_bits_per_sample(enc->codec_id) != 0)
            return nullptr;
        encoded = ost;
    }
    return encoded;
}

void TTranscodeRun::StartEncodeThreads() {
    EngineOutputStream* ost = EncodeThreadStream();
    if (ost == nullptr)
        return;
    StreamWork(*ost).encodeThread =
        std::make_unique<TEncodeThread>(task_, OutputContext(ost->fileIndex), *ost);
}

void TTranscodeRun::FinishEncodeThreads() {
    for (EngineOutputStream* ost : ostTable_)
        if (ost->work && ost->work->encodeThread && !ost->work->encodeThread->Finished())
            task_.AudioSize += ost->work->encodeThread->Finish();
}

void TTranscodeRun::StopEncodeThreads() {
    for (EngineOutputStream* ost : ostTable_)
        if (ost->work && ost->work->encodeThread)
            ost->work->encodeThread->Abort();
}
