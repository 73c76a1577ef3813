// One decoded picture deinterlaced on its own, through "buffer" -> "yadif" -> "buffersink"
// and the end of the stream: the filter gives that picture out without waiting for a later
// one. Used by the prober's thumbnails and by the engine's video pre-processing.
#pragma once

#include <memory>

struct AVFrame;

struct TDeinterlacedFrameFree {
    void operator()(AVFrame* frame) const;
};
using TDeinterlacedFrame = std::unique_ptr<AVFrame, TDeinterlacedFrameFree>;

// The deinterlaced copy of `picture`, or null on failure; `allocFailed` tells whether memory
// ran out (otherwise the filter library refused).
TDeinterlacedFrame DeinterlacedPicture(const AVFrame* picture, bool& allocFailed);
