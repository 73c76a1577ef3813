// Choice of the time stamp of a decoded video picture: whichever kind of stamp (reordered
// presentation stamp or decode stamp) has gone backwards or stood still less often wins.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

// One per decoded video input stream.
struct PtsCorrection {
    int64_t FaultyPtsCount = 0; // reordered stamps not larger than the previous one
    int64_t FaultyDtsCount = 0; // decode stamps not larger than the previous one
    int64_t LastPts = AV_NOPTS_VALUE;
    int64_t LastDts = AV_NOPTS_VALUE;
};

void InitPtsCorrection(PtsCorrection& ctx);

// Counts the faulty stamps and returns the stamp to use: the decode stamp when it has been
// faulty less often than the reordered one, else the reordered one, else the decode one.
// AV_NOPTS_VALUE marks an absent stamp; the result is absent when both are.
int64_t GuessCorrectPts(PtsCorrection& ctx, int64_t reorderedPts, int64_t dts);
