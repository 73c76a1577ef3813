// Adding one stream to an output container. Placeholder until output creation is written.
#include "FFmpeg.h"

namespace {

[[noreturn]] void NotAvailable() {
    throw FFmpegException("Adding streams to an output is not available yet");
}

} // namespace

void TCustomFFmpeg::NewVideoStream(AVFormatContext*, int) {
    NotAvailable();
}
void TCustomFFmpeg::NewAudioStream(AVFormatContext*, int) {
    NotAvailable();
}
void TCustomFFmpeg::NewSubtitleStream(AVFormatContext*, int) {
    NotAvailable();
}
