// Loudness by EBU R128 / ITU-R BS.1770 (libebur128): integrated loudness, loudness range,
// sample and true peak of decoded audio, one meter per track; an album's loudness is measured
// over the meters of its tracks together. The values ReplayGain 2.0 (reference -18 LUFS) and
// R128 gain tags (reference -23 LUFS, Q7.8) are made of.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TMeterState; // the library's measurement state

struct TLoudness {
    bool Measured = false;
    double IntegratedLufs = 0; // -inf for silence
    double RangeLu = 0;
    double TruePeak = 0;   // linear, 1.0 = full scale
    double SamplePeak = 0; // linear
};

class TLoudnessMeter {
public:
    // A meter for `channels` interleaved channels at `sampleRate`. Mono counts as both sides
    // of a stereo pair (played on two speakers), 5.1 and 7.1 in their usual order with the LFE
    // left out, as BS.1770 weighs channels.
    TLoudnessMeter(int channels, int sampleRate);
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    bool Valid() const { return state_ != nullptr; }
    // Adds `frames` frames of interleaved samples in [-1, 1].
    void Add(const double* samples, size_t frames);
    TLoudness Result() const;
    // The integrated loudness of `meters` taken as one programme (an album).
    static TLoudness Together(const std::vector<const TLoudnessMeter*>& meters);

private:
    TMeterState* state_ = nullptr;
    int channels_ = 0;
};

// Decodes the audio of `path` and measures it into `meter` (made for the file's own format).
// False with the reason in `error`.
bool MeasureFileLoudness(const std::string& path, std::unique_ptr<TLoudnessMeter>& meter,
                         std::string& error);

// ReplayGain 2.0: the gain to -18 LUFS as its tags write it, "-6.20 dB".
std::string ReplayGainText(double lufs);
// A peak as ReplayGain writes it, "0.988553".
std::string ReplayPeakText(double peak);
// R128_TRACK_GAIN / R128_ALBUM_GAIN: the gain to -23 LUFS in 1/256 dB (Q7.8), clamped to
// the 16 bits the field has.
int R128GainValue(double lufs);
