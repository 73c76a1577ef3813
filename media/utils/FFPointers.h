// Owning pointers for the FFmpeg objects every layer keeps: frames, packets and filter
// graphs. Each deleter calls through the function table and does nothing once the libraries
// are gone (a prober freed after they were unloaded).
#pragma once

#include <memory>

#include "binding/AVCodecStubs.h"
#include "binding/AVFilterStubs.h"
#include "binding/AVUtilStubs.h"

struct TFrameDeleter {
    void operator()(AVFrame* p) const {
        if (ff::av_frame_free != nullptr)
            ff::av_frame_free(&p);
    }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TPacketDeleter {
    void operator()(AVPacket* p) const {
        if (ff::av_packet_free != nullptr)
            ff::av_packet_free(&p);
    }
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;

struct TFilterGraphDeleter {
    void operator()(AVFilterGraph* p) const {
        if (ff::avfilter_graph_free != nullptr)
            ff::avfilter_graph_free(&p);
    }
};
using TFilterGraphPtr = std::unique_ptr<AVFilterGraph, TFilterGraphDeleter>;
