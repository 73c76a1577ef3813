// The runtime records of a task's files and streams. The input opening, output creation and
// transcode code fill them in; the task object owns them and releases them with its files.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "FFPtr.h"
#include "MediaOpen.h"

using TBitstreamFilterChain = std::vector<TBitstreamFilterPtr>;

// One opened input file.
struct EngineInputFile {
    TInputContextPtr Container;
    int64_t TsOffset = 0;
    std::vector<double> TsScales;
};

// One stream of an input file, during a run.
struct EngineInputStream {
    int fileIndex = 0;
    int streamIndex = 0;
    AVStream* stream = nullptr;
    int decodingNeeded = 0;
    TCodecContextPtr decoder; // open while the stream is registered in OpenDecoders
};

// One stream of an output file.
struct EngineOutputStream {
    int fileIndex = 0;
    int streamIndex = 0;
    AVStream* stream = nullptr;
    int encodingNeeded = 0;
    TCodecContextPtr encoder; // open while the stream is registered in OpenEncoders
    TBitstreamFilterChain bitstreamFilters;
};
