// What the prober's two halves (facts, frames) share: its message levels and texts and the
// layout of its held picture. Private to the prober.
#pragma once

extern "C" {
#include <libavutil/log.h>
}

namespace decoder {

// Library log levels of the decoder's messages.
constexpr int LevelError = AV_LOG_ERROR;     // 16
constexpr int LevelWarning = AV_LOG_WARNING; // 24
constexpr int LevelInfo = AV_LOG_INFO;       // 32
constexpr int LevelDebug = AV_LOG_DEBUG;     // 48

constexpr char FileNotLoaded[] = "file not loaded.";
constexpr char ReadOnlyHandle[] = "file cannot be seeked, handle is readonly.";
constexpr char EndOfStreamReached[] = "stream eof reached.";

// Row alignment of the held picture, and the spare bytes after it that the optimised
// readers of the scaler may touch.
constexpr int PictureAlign = 32;
constexpr int PicturePadding = 64;

} // namespace decoder
