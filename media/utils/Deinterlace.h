// Deinterlacing of decoded pictures through "buffer" -> "yadif" -> "buffersink".
//
// A TDeinterlacer serves a whole stream: it keeps one graph and builds it anew only when a
// picture's width, height or pixel format differs from the last one's. Every call gives the
// picture it was given, deinterlaced as if it were the only picture of its stream (the filter
// sees the picture itself as both neighbours), so no picture is held back and a picture's
// result never depends on the pictures around it: the first and the last picture of a stream
// come out as every other one.
#pragma once

#include <cstdint>

#include "utils/FFPointers.h"

using TDeinterlacedFrame = TFramePtr;

class TDeinterlacer {
public:
    TDeinterlacer() = default;
    TDeinterlacer(const TDeinterlacer&) = delete;
    TDeinterlacer& operator=(const TDeinterlacer&) = delete;

    // The deinterlaced copy of `picture` with its properties, owned by the deinterlacer and
    // valid until the next call; null on failure, `allocFailed` telling whether memory ran out
    // (otherwise the filter library refused). A failure drops the graph: the next picture
    // builds a new one.
    const AVFrame* Deinterlace(const AVFrame* picture, bool& allocFailed);

    // How many graphs were built so far.
    int GraphsBuilt() const { return graphsBuilt_; }

private:
    bool Fits(const AVFrame* picture) const;
    bool Build(const AVFrame* picture, bool& allocFailed);
    bool Push(const AVFrame* picture, bool filtered, bool& allocFailed);
    bool TakeLast(bool& allocFailed);

    TFilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int format_ = -1;
    int64_t nextPts_ = 0;
    int graphsBuilt_ = 0;
    TDeinterlacedFrame in_;
    TDeinterlacedFrame out_;
    TDeinterlacedFrame taken_;
};

// One picture deinterlaced on its own (a deinterlacer used once), or null on failure;
// `allocFailed` tells whether memory ran out.
TDeinterlacedFrame DeinterlacedPicture(const AVFrame* picture, bool& allocFailed);
