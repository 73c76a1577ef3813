// The target presets ("vcd", "svcd", "dvd", "dv", "dv50"). Placeholder until output
// creation is written.
#include "FFmpeg.h"

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& norm,
                                const std::string& fallbackNorm) {
    (void)type;
    (void)norm;
    (void)fallbackNorm;
    throw FFmpegException("Target presets are not available yet");
}
