// The runtime records of a task's files and streams. The input opening, output creation and
// transcode code fill them in; the task object owns them and releases them with its files.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
}

#include "FFPtr.h"
#include "files/MediaOpen.h"
#include "input/Input.h"
#include "utils/PtsCorrection.h"

using TBitstreamFilterChain = std::vector<TBitstreamFilterPtr>;

// One opened input file. Every stream of the container has its decoder context, filled from
// the stream's parameters when the file was opened (index = stream index); the run opens the
// ones it decodes.
struct EngineInputFile {
    TInputContextPtr Container;
    int64_t TsOffset = 0; // microseconds added to the file's time stamps
    std::vector<double> TsScales;
    std::vector<TCodecContextPtr> Decoders;
    TInputOptions Options; // the description the input was opened with, kept as given
    std::string FileName;  // the name it was opened by
    bool Loop = false;     // read again from its start at its end ("loop_input")
};

// Run state of one input file.
struct InputFileState {
    int eofReached = 0;
    int firstStreamIndex = 0;
    int nbStreams = 0;
    int64_t packetsThisPass = 0; // packets read since the file was opened or looped
};

// One stream of an input file, during a run.
struct EngineInputStream {
    int fileIndex = 0;
    int streamIndex = 0;
    AVStream* stream = nullptr;
    TCodecContextPtr decoder; // taken from the input file at set-up; open while in OpenDecoders
    int discard = 1;
    int decodingNeeded = 0;
    int pictureCount = 0;
    int64_t start = 0;
    int64_t nextPts = AV_NOPTS_VALUE; // microseconds
    int64_t pts = 0;                  // microseconds
    // The decode time of the packet the last decoded audio frame came from (stream time base):
    // a decoder with frame threads returns a frame some packets after its own.
    int64_t lastFramePacketDts = AV_NOPTS_VALUE;
    PtsCorrection ptsCorrection{};
    int isStart = 1;
    int showedMultiPacketWarning = 0;
    int isPastRecordingTime = 0;
    int flushed = 0;
    AVFilterContext* outputVideoFilter = nullptr;
    AVFilterContext* inputVideoFilter = nullptr;
    AVFrame* filteredPicture = nullptr;
    // The stream's deinterlacer ("deinterlace"), made at its first picture; it keeps its filter
    // graph from picture to picture.
    std::shared_ptr<class TDeinterlacer> deinterlacer;
};

// A time one thread writes while another reads it: an atomic that copies like a value, so
// the records holding it stay copyable.
class TSharedTime {
public:
    TSharedTime(int64_t value = 0) : value_(value) {}
    TSharedTime(const TSharedTime& other) : value_(other.load()) {}
    TSharedTime& operator=(const TSharedTime& other) {
        value_.store(other.load(), std::memory_order_relaxed);
        return *this;
    }
    TSharedTime& operator=(int64_t value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator int64_t() const { return load(); }
    int64_t load() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<int64_t> value_;
};

// One stream of an output file. Created with its encoder context when the output is made;
// the run completes it.
struct EngineOutputStream {
    int fileIndex = 0;
    int streamIndex = 0;
    int sourceIndex = 0;
    AVStream* stream = nullptr;
    TCodecContextPtr encoder; // opened while the stream is registered in OpenEncoders
    int encodingNeeded = 0;
    int frameNumber = 0;
    EngineInputStream* syncInput = nullptr;
    int64_t syncOpts = 0; // samples (audio) or frames (video)
    TBitstreamFilterChain bitstreamFilters;
    // End of the last packet written (pts + duration, stream time base); the muxer's clock of
    // this stream. AV_NOPTS_VALUE before the first packet.
    // Written by the stream's encoder thread when one runs, read by the run's thread.
    TSharedTime lastEndTime{AV_NOPTS_VALUE};
    int savedCodecId = 0;
    int active = 0;
    int streamCopy = 0; // created as a stream copy (codec name "copy")
    FILE* passLogFile = nullptr;

    // Video.
    int videoResample = 0;
    TScalerContextPtr scaler;
    int resampleHeight = 0, resampleWidth = 0, resamplePixFmt = 0;
    int originalHeight = 0, originalWidth = 0;
    std::vector<int64_t> forcedKeyFramePts;
    int forcedKeyFrameIndex = 0;
    int codedQuality = 0;        // last encoded packet's quality (lambda), see KeepCodedFrameStats
    int codedPictType = 0;       // its AVPictureType
    uint64_t codedError[4] = {}; // its squared error per plane (encoder computing PSNR)
    std::shared_ptr<struct TVideoStreamWork> videoWork; // video/Video.h: pictures and packets

    // Audio.
    int audioResample = 0;
    TResamplerPtr resampler;
    int resampleSampleFmt = 0, resampleChannels = 0, resampleSampleRate = 0;
    int reformatPair = 0;
    TResamplerPtr reformatter; // sample-format converter (a resampler that only converts)
    TAudioFifoPtr fifo;        // samples already in the encoder's format
    std::shared_ptr<struct TOutputStreamWork> work; // audio/Audio.h: frames and packets reused
    int bitstreamFiltersReady = 0;                  // run/PacketWrite.cpp: the chain is initialised
};
