// Entry of the transcode run, and the small lookups the run's files share.
#include "run/Run.h"

void TCustomFFmpeg::Transcode() {
    TTranscodeRun run(*this);
    run.Run();
}

AVMediaType OutputStreamType(const EngineOutputStream& ost) {
    if (ost.encoder && ost.encoder->codec_type != AVMEDIA_TYPE_UNKNOWN)
        return ost.encoder->codec_type;
    return ost.stream != nullptr ? ost.stream->codecpar->codec_type : AVMEDIA_TYPE_UNKNOWN;
}

AVMediaType InputStreamType(const EngineInputStream& ist) {
    return ist.stream != nullptr ? ist.stream->codecpar->codec_type : AVMEDIA_TYPE_UNKNOWN;
}

TTranscodeRun::TTranscodeRun(TCustomFFmpeg& task) : task_(task), joinMode_(task.JoinMode) {}

TTranscodeRun::~TTranscodeRun() {
    Cleanup();
}

void TTranscodeRun::Run() {
    Setup();
    Loop();
    EndOfRun();
}

AVFormatContext* TTranscodeRun::OutputContext(int outputFile) const {
    return task_.OutputFiles[outputFile]->Context();
}

AVFormatContext* TTranscodeRun::InputContext(int inputFile) const {
    return task_.InputFiles[inputFile]->Container.get();
}
