#include "OutputVerify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FFDecodeAudio.h"
#include "settings/globals.h"
#include "sources/FileFacts.h"

namespace {

// Frames read from a side at a time.
constexpr int64_t ReadFrames = 8192;

// Bytes of an integer sample format, 0 for the others.
int IntegerWidth(AVSampleFormat format) {
    switch (format) {
    case AV_SAMPLE_FMT_U8:
        return 1;
    case AV_SAMPLE_FMT_S16:
        return 2;
    case AV_SAMPLE_FMT_S32:
        return 4;
    case AV_SAMPLE_FMT_S64:
        return 8;
    default:
        return 0;
    }
}

// True when converting `from` into `to` loses nothing.
bool IsLosslessStep(const TAudioFormat& from, const TAudioFormat& to) {
    if (from.SampleRate != to.SampleRate || from.Channels != to.Channels)
        return false;
    if (from.Format == to.Format)
        return true;
    return IntegerWidth(from.Format) > 0 && IntegerWidth(to.Format) >= IntegerWidth(from.Format);
}

std::string FrameTime(int64_t frame, int sampleRate) {
    if (sampleRate <= 0)
        return "frame " + std::to_string(frame);
    return FormatDurationUs(frame * 1000000 / sampleRate) + " (frame " + std::to_string(frame) +
           ")";
}

std::string Decibels(double peak) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f dB", 20 * std::log10(peak));
    return text;
}

TVerifyResult Failure(const std::string& outputName, const std::string& reason) {
    TVerifyResult result;
    result.Message = "verify failed: " + outputName + ": " + reason;
    return result;
}

} // namespace

bool IsVerifiableFormat(int format) {
    return format == ofWAV || format == ofFLAC;
}

TSampleCompare::TSampleCompare(int channels) : channels_(std::max(1, channels)) {}

void TSampleCompare::AddSource(const std::vector<double>& samples) {
    sourceSamples_ += static_cast<int64_t>(samples.size());
    if (outputEnded_)
        return;
    source_.insert(source_.end(), samples.begin(), samples.end());
    Compare();
}

void TSampleCompare::AddOutput(const std::vector<double>& samples) {
    outputSamples_ += static_cast<int64_t>(samples.size());
    if (sourceEnded_)
        return;
    output_.insert(output_.end(), samples.begin(), samples.end());
    Compare();
}

void TSampleCompare::EndSource() {
    sourceEnded_ = true;
    output_.clear();
}

void TSampleCompare::EndOutput() {
    outputEnded_ = true;
    source_.clear();
}

int64_t TSampleCompare::SourceAhead() const {
    return static_cast<int64_t>(source_.size()) / channels_;
}

int64_t TSampleCompare::OutputAhead() const {
    return static_cast<int64_t>(output_.size()) / channels_;
}

void TSampleCompare::Compare() {
    const size_t count = std::min(source_.size(), output_.size());
    for (size_t i = 0; i < count; ++i) {
        const double difference = std::fabs(source_[i] - output_[i]);
        if (difference != 0 && firstDifference_ < 0)
            firstDifference_ = (compared_ + static_cast<int64_t>(i)) / channels_;
        peak_ = std::max(peak_, difference);
    }
    source_.erase(source_.begin(), source_.begin() + static_cast<std::ptrdiff_t>(count));
    output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(count));
    compared_ += static_cast<int64_t>(count);
}

TVerifyResult JudgeComparison(const TSampleCompare& compare, bool exact, int sampleRate,
                              const std::string& outputName) {
    TVerifyResult result;
    result.Exact = exact;
    result.SourceFrames = compare.SourceFrames();
    result.OutputFrames = compare.OutputFrames();
    result.FirstDifference = compare.FirstDifference();
    result.PeakDifference = compare.PeakDifference();
    const int64_t lengthSlack =
        exact ? 0 : static_cast<int64_t>(std::llround(VerifyLengthTolerance * sampleRate));
    const bool lengthAgrees = std::llabs(result.SourceFrames - result.OutputFrames) <= lengthSlack;
    const bool samplesAgree =
        exact ? result.FirstDifference < 0 : result.PeakDifference <= VerifyPeakTolerance;
    result.Passed = lengthAgrees && samplesAgree && result.OutputFrames > 0;

    std::string reason;
    if (result.OutputFrames == 0)
        reason = "the output holds no samples";
    else if (!samplesAgree)
        reason = "samples differ from the source's from " +
                 FrameTime(result.FirstDifference, sampleRate) + " on, peak difference " +
                 Decibels(result.PeakDifference);
    else if (!lengthAgrees)
        reason = "the output has " + std::to_string(result.OutputFrames) +
                 " frames where the source has " + std::to_string(result.SourceFrames);
    if (!result.Passed)
        result.Message = "verify failed: " + outputName + ": " + reason;
    else if (exact)
        result.Message = "verified: " + outputName + ": identical to the source, bit for bit (" +
                         std::to_string(result.OutputFrames) + " frames)";
    else if (result.PeakDifference == 0)
        result.Message = "verified: " + outputName +
                         ": the same samples as the converted source (" +
                         std::to_string(result.OutputFrames) + " frames)";
    else
        result.Message =
            "verified: " + outputName + ": peak difference from the converted source " +
            Decibels(result.PeakDifference) + " (" + std::to_string(result.OutputFrames) +
            " frames, the source " + std::to_string(result.SourceFrames) + ")";
    return result;
}

TVerifyResult VerifyOutput(const std::string& source, const std::string& output,
                           const std::string& outputName) {
    TAudioDecodeReader written;
    if (!written.Open(output))
        return Failure(outputName, written.LastErrMsg());
    TAudioDecodeReader original;
    if (!original.Open(source))
        return Failure(outputName, original.LastErrMsg());
    const TAudioFormat target = written.SourceFormat();
    const bool exact = IsLosslessStep(original.SourceFormat(), target);
    if (!original.SetTarget(target))
        return Failure(outputName, original.LastErrMsg());

    TSampleCompare compare(target.Channels);
    bool sourceEnded = false;
    bool outputEnded = false;
    std::vector<double> samples;
    while (!sourceEnded || !outputEnded) {
        // The side that is behind reads next, so that neither runs far ahead.
        const bool readSource =
            !sourceEnded && (outputEnded || compare.SourceAhead() <= compare.OutputAhead());
        TAudioDecodeReader& reader = readSource ? original : written;
        samples.clear();
        const int64_t got = reader.Read(samples, ReadFrames);
        if (got < 0)
            return Failure(outputName, reader.LastErrMsg());
        if (got == 0 && readSource) {
            sourceEnded = true;
            compare.EndSource();
        } else if (got == 0) {
            outputEnded = true;
            compare.EndOutput();
        } else if (readSource)
            compare.AddSource(samples);
        else
            compare.AddOutput(samples);
    }
    return JudgeComparison(compare, exact, target.SampleRate, outputName);
}
