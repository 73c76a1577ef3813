// Verifying a lossless output: its decoded samples compared with the decoded source's, after
// the conversion the output went through (rate, channels, sample format). A conversion that
// changes nothing but the container or the coding is compared bit for bit; any other gets the
// peak difference, which must stay within what a second pass through the same resampler
// differs by.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// True for the formats whose outputs can be verified: WAV and FLAC.
bool IsVerifiableFormat(int format);

// The largest peak difference (of full scale) a verified conversion that is not compared bit
// for bit may show: -60 dB.
inline constexpr double VerifyPeakTolerance = 0.001;
// The largest difference in length (seconds) it may show: the resampler's start and end.
inline constexpr double VerifyLengthTolerance = 0.02;

struct TVerifyResult {
    bool Passed = false;
    bool Exact = false;           // compared bit for bit
    int64_t SourceFrames = 0;     // frames of the converted source
    int64_t OutputFrames = 0;     // frames of the decoded output
    int64_t FirstDifference = -1; // the first frame that differs, -1 when none does
    double PeakDifference = 0;    // of full scale, over the frames both have
    std::string Message;          // the verdict in words
};

// Compares two streams of interleaved samples (each divided by its full scale) as they come,
// holding only what one side has ahead of the other.
class TSampleCompare {
public:
    explicit TSampleCompare(int channels);
    void AddSource(const std::vector<double>& samples);
    void AddOutput(const std::vector<double>& samples);
    // The side has no more samples: what the other side adds from now on is only counted.
    void EndSource();
    void EndOutput();
    // Frames one side has that the other has not reached yet.
    int64_t SourceAhead() const;
    int64_t OutputAhead() const;

    int64_t SourceFrames() const { return sourceSamples_ / channels_; }
    int64_t OutputFrames() const { return outputSamples_ / channels_; }
    int64_t FirstDifference() const { return firstDifference_; }
    double PeakDifference() const { return peak_; }

private:
    void Compare();

    int channels_;
    std::deque<double> source_;
    std::deque<double> output_;
    int64_t sourceSamples_ = 0;
    int64_t outputSamples_ = 0;
    bool sourceEnded_ = false;
    bool outputEnded_ = false;
    int64_t compared_ = 0; // samples
    int64_t firstDifference_ = -1;
    double peak_ = 0;
};

// The verdict on compared samples: bit for bit (`exact`) every sample and the length must
// agree; otherwise the peak difference and the length must stay within the tolerances.
// `sampleRate` gives times in the message.
TVerifyResult JudgeComparison(const TSampleCompare& compare, bool exact, int sampleRate,
                              const std::string& outputName);

// Decodes `output` and `source`, the source converted to the output's rate, channels and
// sample format, and judges them. A conversion is compared bit for bit when rate and channels
// agree and the output's integer samples are at least as wide as the source's.
TVerifyResult VerifyOutput(const std::string& source, const std::string& output,
                           const std::string& outputName);
