// The encoder thread of a run: a job that writes one re-encoded audio stream to one output,
// from one input, encodes on a second thread while its own thread reads, decodes and
// resamples. Jobs with more streams or files, and joins, keep the one-thread run, where the
// order of writes to a muxer is the run's own; so do raw PCM outputs, whose encoder only
// copies samples: handing them over would cost more than it spares.
#include "audio/Audio.h"
#include "run/Run.h"

bool TTranscodeRun::EncodeThreadWanted() const {
    if (!task_.EncodeThreads || joinMode_ || task_.ThreadsAvailable.load() < 2 ||
        task_.InputCount() != 1 || task_.OutputCount() != 1 || ostTable_.size() != 1)
        return false;
    const EngineOutputStream& ost = *ostTable_[0];
    AVCodecContext* enc = ost.encoder.get();
    return ost.encodingNeeded && enc != nullptr && ff::avcodec_is_open(enc) &&
           OutputStreamType(ost) == AVMEDIA_TYPE_AUDIO &&
           ff::av_get_exact_bits_per_sample(enc->codec_id) == 0 &&
           OutputContext(ost.fileIndex)->nb_streams == 1;
}

void TTranscodeRun::StartEncodeThreads() {
    if (!EncodeThreadWanted())
        return;
    EngineOutputStream& ost = *ostTable_[0];
    StreamWork(ost).encodeThread =
        std::make_unique<TEncodeThread>(task_, OutputContext(ost.fileIndex), ost);
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
