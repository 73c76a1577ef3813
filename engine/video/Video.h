// The video path: pre-processing of decoded pictures (deinterlacing, the input hook, frame
// hooks), the filter chain of "vf", and the video output of every re-encoding output stream
// (frame-rate sync, scaling, the output hook and preview, forced key frames, encoding, the
// first-pass statistics) with the encoder drain. The task members are declared in FFmpeg.h
// (section "video path"); this header holds the working objects they keep and the helpers
// the files of this folder share.
//
// Files: VideoSetup.cpp (encode parameters of set-up), VideoFilters.cpp (the filter chain),
// VideoPreprocess.cpp (deinterlacing, hooks), VideoHooks.cpp (the hook run, the output hook
// and the preview), VideoSync.cpp (the frame-position arithmetic), VideoOutput.cpp (scaling,
// encoding, the drain), KeyFrames.cpp (forced key-frame times), PassLog.cpp (the encoders'
// own statistics files), FrameHook.cpp (vhook).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EngineRecords.h"
#include "FFPtr.h"
#include "audio/Audio.h" // TFramePtr, TPacketPtr

class TCustomFFmpeg;

// What a video output stream keeps between pictures (EngineOutputStream::videoWork).
struct TVideoStreamWork {
    TFramePtr scaled;  // the scaler's target in the encoder's geometry (scaledPicture)
    TFramePtr encoded; // the reference handed to the encoder, with its own fields
    TPacketPtr packet; // receives the encoder's packets
};

// What a task keeps for its video path during a run (TCustomFFmpeg::VideoWork).
struct TVideoTaskWork {
    TFramePtr hookPicture;   // the working copy of a decoded picture (deinterlacing, hooks)
    TFramePtr outputPicture; // the copy the output hook works on
    TFramePtr filtered;      // the picture last taken from the filter chain
    std::vector<TFilterGraphPtr> graphs; // filter chains besides the task's FilterGraph
    bool inputHookOn = true;             // cleared by StopHook or a failed conversion
    bool outputHookOn = true;            // likewise for the output hook
    bool previewWindowOn = true;
    bool previewBitmapOn = true;
};

TVideoStreamWork& VideoStreamWork(EngineOutputStream& ost);

// Makes `frame` a writable picture of the given geometry; keeps it when it fits already.
// False when memory runs out.
bool EnsurePicture(TFramePtr& frame, int width, int height, AVPixelFormat format);

// The number of frames to write for one picture at wanted position `position` (in encoder
// frames) of an output whose clock is `syncOpts`, by vsync `method` (-1 automatic, 0 none,
// 1 constant, 2 variable rate) and whether the muxer allows variable rates; `syncOpts` may
// jump forward. Before the frame limit.
int VideoFrameCount(int method, bool variableRate, double position, int64_t& syncOpts);

// The key-frame times of "force_key_frames" (comma-separated durations) in `timeBase`.
// Raises "Invalid duration specification for force_key_frames: ..." for a bad item.
std::vector<int64_t> ParseForcedKeyFrames(const std::string& text, AVRational timeBase);

// Encoders that keep their two-pass statistics themselves (a private "stats" option, as
// libx264's) keep them in the pass log `name`.
void NameEncoderPassLog(AVCodecContext* enc, const std::string& name);

// The scaler flags of the task: the "sws_flags" value of its option store, else SwsFlags.
int TaskScalerFlags(const TCustomFFmpeg& task);
