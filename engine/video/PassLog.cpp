// The statistics file of two-pass video encoding for encoders that keep it themselves.
#include "video/Video.h"

void NameEncoderPassLog(AVCodecContext* enc, const std::string& name) {
    // libx264 writes and reads its own file, by default "x264_2pass.log" in the current
    // folder, which parallel jobs would share: it gets the pass log's name instead.
    if (enc->priv_data != nullptr &&
        ff::av_opt_find(enc->priv_data, "stats", nullptr, 0, 0) != nullptr)
        ff::av_opt_set(enc->priv_data, "stats", name.c_str(), 0);
}
