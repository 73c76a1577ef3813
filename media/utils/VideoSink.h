// The end of every video filter graph of the engine: a "buffersink" that accepts exactly one
// pixel format (the encoder's), and the call that takes the next filtered picture from it.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;

// Creates the sink named `name` in `graph`, limited to *pixFmt. Returns 0, or a negative
// FFmpeg error: -22 (invalid argument) when pixFmt is null, the filter library's own error
// otherwise.
int CreateVideoSink(AVFilterGraph* graph, const char* name, const AVPixelFormat* pixFmt,
                    AVFilterContext** sink);

// Takes the next picture waiting at the sink into `frame` (a reference; the caller unrefs it)
// and reports the sink's time base. Returns 1 with a picture, -2 when none waits yet, or the
// filter library's negative error (AVERROR_EOF at the end of the stream).
int GetFilteredVideoFrame(AVFilterContext* sink, AVFrame* frame, AVRational* timeBase);
