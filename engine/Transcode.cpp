// The transcode run of a task. Placeholder until the run is written.
#include "FFmpeg.h"

void TCustomFFmpeg::Transcode() {
    throw FFmpegException("Transcoding is not available yet");
}
