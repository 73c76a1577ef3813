#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "FFDecodeAudio.h"

struct TMeterState {
    ebur128_state* St = nullptr;
};

namespace {

constexpr int Mode =
    EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK;

// BS.1770's channels of the usual layouts; the LFE (index 3 of 5.1 and 7.1) does not count.
void MapChannels(ebur128_state* state, int channels) {
    if (channels == 1) {
        ebur128_set_channel(state, 0, EBUR128_DUAL_MONO);
        return;
    }
    if (channels == 6 || channels == 8) {
        const int map6[] = {EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
                            EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
        for (int i = 0; i < 6; ++i)
            ebur128_set_channel(state, i, map6[i]);
        if (channels == 8) {
            ebur128_set_channel(state, 6, EBUR128_LEFT_SURROUND);
            ebur128_set_channel(state, 7, EBUR128_RIGHT_SURROUND);
        }
    }
}

double Peak(ebur128_state* state, int channels,
            int (*read)(ebur128_state*, unsigned int, double*)) {
    double peak = 0;
    for (int c = 0; c < channels; ++c) {
        double value = 0;
        if (read(state, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
            peak = std::max(peak, value);
    }
    return peak;
}

} // namespace

TLoudnessMeter::TLoudnessMeter(int channels, int sampleRate) : channels_(channels) {
    if (channels <= 0 || sampleRate <= 0)
        return;
    ebur128_state* st =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), Mode);
    if (!st)
        return;
    MapChannels(st, channels);
    state_ = new TMeterState{st};
}

TLoudnessMeter::~TLoudnessMeter() {
    if (state_) {
        ebur128_destroy(&state_->St);
        delete state_;
    }
}

void TLoudnessMeter::Add(const double* samples, size_t frames) {
    if (state_ && frames > 0)
        ebur128_add_frames_double(state_->St, samples, frames);
}

TLoudness TLoudnessMeter::Result() const {
    TLoudness result;
    if (!state_)
        return result;
    result.Measured =
        ebur128_loudness_global(state_->St, &result.IntegratedLufs) == EBUR128_SUCCESS;
    if (ebur128_loudness_range(state_->St, &result.RangeLu) != EBUR128_SUCCESS)
        result.RangeLu = 0;
    result.SamplePeak = Peak(state_->St, channels_, ebur128_sample_peak);
    result.TruePeak = Peak(state_->St, channels_, ebur128_true_peak);
    return result;
}

TLoudness TLoudnessMeter::Together(const std::vector<const TLoudnessMeter*>& meters) {
    std::vector<ebur128_state*> states;
    TLoudness result;
    for (const TLoudnessMeter* meter : meters) {
        if (!meter || !meter->state_)
            continue;
        states.push_back(meter->state_->St);
        const TLoudness track = meter->Result();
        result.TruePeak = std::max(result.TruePeak, track.TruePeak);
        result.SamplePeak = std::max(result.SamplePeak, track.SamplePeak);
    }
    if (states.empty())
        return result;
    result.Measured = ebur128_loudness_global_multiple(states.data(), states.size(),
                                                       &result.IntegratedLufs) == EBUR128_SUCCESS;
    if (ebur128_loudness_range_multiple(states.data(), states.size(), &result.RangeLu) !=
        EBUR128_SUCCESS)
        result.RangeLu = 0;
    return result;
}

bool MeasureFileLoudness(const std::string& path, std::unique_ptr<TLoudnessMeter>& meter,
                         std::string& error) {
    TAudioDecodeReader reader;
    if (!reader.Open(path)) {
        error = reader.LastErrMsg();
        return false;
    }
    TAudioFormat target = reader.SourceFormat();
    target.Format = AV_SAMPLE_FMT_DBL;
    if (!reader.SetTarget(target)) {
        error = reader.LastErrMsg();
        return false;
    }
    meter = std::make_unique<TLoudnessMeter>(target.Channels, target.SampleRate);
    if (!meter->Valid()) {
        error = "cannot measure " + std::to_string(target.Channels) + " channels at " +
                std::to_string(target.SampleRate) + " Hz";
        return false;
    }
    std::vector<double> samples;
    for (;;) {
        samples.clear();
        const int64_t frames = reader.Read(samples, 65536);
        if (frames < 0) {
            error = reader.LastErrMsg();
            return false;
        }
        if (frames == 0)
            return true;
        meter->Add(samples.data(), static_cast<size_t>(frames));
    }
}

std::string ReplayGainText(double lufs) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", -18.0 - lufs);
    return text;
}

std::string ReplayPeakText(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

int R128GainValue(double lufs) {
    const double q78 = std::round((-23.0 - lufs) * 256.0);
    return static_cast<int>(std::clamp(q78, -32768.0, 32767.0));
}
