// Settings given directly instead of through a preset: the bit rate, the encoder's quality,
// the sample rate and the channels, each replacing the chosen preset's value. The command
// line sets them; the job builder applies them to every job of the run.
#pragma once

#include <string>

struct TOutputOptions;

// SampleRate or Channels of a run that keeps each source's own value.
constexpr int KeepSourceValue = -3;

struct TDirectSettings {
    int BitRate = -1;        // bits per second; -1: the preset's
    bool HasQuality = false; // Quality replaces the preset's quality or bit rate
    double Quality = 0;      // on the encoder's own scale (VBR for MP3 and OGG)
    int SampleRate = -1;     // Hz; -1: the preset's; KeepSourceValue: the source's
    int Channels = -1;       // -1: the preset's; KeepSourceValue: the source's
};

// Puts `direct` into an output description built from a preset: a bit rate replaces the
// preset's bit rate and quality, a quality both as well; the rate and the channels replace the
// preset's or, kept, leave the source's to the engine.
void ApplyDirectSettings(const TDirectSettings& direct, TOutputOptions& options);

// Empty when the output format `format` (an index of AllOutputFormats) with its preset
// `preset` can take `direct`; else the reason, naming what the format's encoder accepts
// ("mp2 does not support 11025 Hz; it supports 16000, 22050, 24000, 32000, 44100, 48000").
// The media libraries must be loaded.
std::string DirectSettingsProblem(int format, int preset, const TDirectSettings& direct);
