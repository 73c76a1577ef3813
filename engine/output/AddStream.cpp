// Options "newvideo", "newaudio", "newsubtitle": one more stream on the last output slot.
#include "FFmpeg.h"

void TCustomFFmpeg::AddStreamToLastOutput(AVMediaType kind) {
    if (OutputCount() <= 0)
        throw FFmpegException("At least one output file must be specified");
    const int slot = OutputCount() - 1;
    AVFormatContext* container = OutputFiles[slot]->Context();
    switch (kind) {
    case AVMEDIA_TYPE_VIDEO:
        NewVideoStream(container, slot);
        break;
    case AVMEDIA_TYPE_AUDIO:
        NewAudioStream(container, slot);
        break;
    default:
        NewSubtitleStream(container, slot);
        break;
    }
}
