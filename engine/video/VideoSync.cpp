// The frame-position arithmetic of the video output: how many frames one picture becomes so
// that the output keeps its frame rate against the input clock.
#include <cmath>

#include "video/Video.h"

int VideoFrameCount(int method, bool variableRate, double position, int64_t& syncOpts) {
    if (method == 0) {
        syncOpts = std::llround(position);
        return 1;
    }
    const double delta = position - static_cast<double>(syncOpts);
    if (delta < -1.1)
        return 0;
    if (method == 2 || (method < 0 && variableRate)) {
        // A variable rate never duplicates: a picture far behind moves the clock instead.
        if (delta <= -0.6)
            return 0;
        if (delta > 0.6)
            syncOpts = std::llround(position);
        return 1;
    }
    if (delta <= 1.1)
        return 1;
    return static_cast<int>(std::lround(delta));
}
