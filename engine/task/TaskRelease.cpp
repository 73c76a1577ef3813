// Closing a task's open codecs and releasing its files and option state.
#include "CodecLock.h"
#include "FFLoad.h"
#include "FFmpeg.h"

void TCustomFFmpeg::AppendOutputFile(TOutputContainerPtr container) {
    OutputFiles.push_back(std::move(container));
    OutputStreams.resize(OutputFiles.size());
}

void TCustomFFmpeg::CloseOpenEncoders() {
    std::lock_guard registry(CodecRegistryLock);
    TCodecLock codecLock;
    for (EngineOutputStream* ost : OpenEncoders) {
        if (ost->encodingNeeded && ost->encoder) {
            ff::av_freep(&ost->encoder->stats_in); // the second-pass statistics input
            ost->encoder.reset();
        }
    }
    OpenEncoders.clear();
}

void TCustomFFmpeg::CloseOpenDecoders() {
    std::lock_guard registry(CodecRegistryLock);
    TCodecLock codecLock;
    for (EngineInputStream* ist : OpenDecoders)
        if (ist->decodingNeeded)
            ist->decoder.reset();
    OpenDecoders.clear();
}

void TCustomFFmpeg::ReleaseOptionState() {
    FreeOptionContext();
    IntraMatrix.reset();
    InterMatrix.reset();
    VideoRcOverride.reset();
    VideoStandard.reset();
    VstatsFileName.reset();
    VstatsFile.reset();
    StreamMaps.clear();
    MetadataMaps.clear();
    ChapterMaps.clear();
    StreamIdMap.clear();
    TsScales.clear();
    VideoCodecName.reset();
    AudioCodecName.reset();
    SubtitleCodecName.reset();
    Metadata.reset();
    VideoBitstreamFilters.clear();
    AudioBitstreamFilters.clear();
    SubtitleBitstreamFilters.clear();
}

void TCustomFFmpeg::ReleaseFiles() {
    if (FFLoader == nullptr || !FFLoader->Loaded(EncoderLibraries))
        return;
    // Codecs that a failed run left open are closed under the locks first.
    CloseOpenEncoders();
    CloseOpenDecoders();

    // Each container once, in slot order (join-mode slots share the first one); a file
    // that received no byte is deleted.
    for (const TOutputContainerPtr& output : OutputFiles)
        if (output)
            output->Release();
    OutputFiles.clear();
    OutputStreams.clear();

    InputStreams.clear();
    InputFiles.clear();
    // The codec choices by name follow the streams of the files just released.
    InputCodecs.clear();
    OutputCodecs.clear();

    ReleaseOptionState();
    FrameHooks.Clear();
    FilterGraph.reset();
    LastPreviewTime = 0;
}
