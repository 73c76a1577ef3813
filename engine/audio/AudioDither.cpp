// Dither of the last conversion to fewer bits: the library's method names, and the rule that
// decides when samples lose bits (then they are dithered, once, by the converting context).
#include <string_view>

#include "FFmpeg.h"
#include "audio/Audio.h"

namespace {

struct TDitherName {
    std::string_view Name;
    int Method;
};

// libswresample's dither methods by the names its "dither_method" option gives them.
constexpr TDitherName DitherNames[] = {
    {"none", SWR_DITHER_NONE},
    {"rectangular", SWR_DITHER_RECTANGULAR},
    {"triangular", SWR_DITHER_TRIANGULAR},
    {"triangular_hp", SWR_DITHER_TRIANGULAR_HIGHPASS},
    {"lipshitz", SWR_DITHER_NS_LIPSHITZ},
    {"shibata", SWR_DITHER_NS_SHIBATA},
    {"low_shibata", SWR_DITHER_NS_LOW_SHIBATA},
    {"high_shibata", SWR_DITHER_NS_HIGH_SHIBATA},
    {"f_weighted", SWR_DITHER_NS_F_WEIGHTED},
    {"improved_e_weighted", SWR_DITHER_NS_IMPROVED_E_WEIGHTED},
    {"modified_e_weighted", SWR_DITHER_NS_MODIFIED_E_WEIGHTED},
};

} // namespace

int DitherMethodByName(const std::string& name) {
    for (const TDitherName& row : DitherNames)
        if (row.Name == name)
            return row.Method;
    return -1;
}

int SignificantBits(AVSampleFormat format, int rawBits) {
    const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
    if (packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL)
        return 0;
    const int bits = ff::av_get_bytes_per_sample(format) * 8;
    return rawBits > 0 && rawBits < bits ? rawBits : bits;
}

bool LosesBits(int inBits, int outBits) {
    if (outBits == 0)
        return false; // floating point holds every integer sample
    return inBits == 0 || inBits > outBits;
}
