// The forced key-frame times of option "force_key_frames".
#include <algorithm>
#include <new>
#include <stdexcept>

#include "options/OptionValues.h"
#include "video/Video.h"

std::vector<int64_t> ParseForcedKeyFrames(const std::string& text, AVRational timeBase) {
    std::vector<int64_t> times;
    try {
        times.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), ',')) + 1);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Could not allocate forced key frames array.");
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        const int64_t t = OptionDuration("force_key_frames", text.substr(start, comma - start));
        times.push_back(ff::av_rescale_q(t, AVRational{1, AV_TIME_BASE}, timeBase));
        start = comma + 1;
    }
    return times;
}
