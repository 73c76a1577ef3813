// Building the job of one source: the output description a format and preset give it, the
// input description, and the check of the output folder. The GUI and the command-line
// program build their jobs here.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "DirectSettings.h"
#include "OutputNaming.h"
#include "input/Input.h"
#include "output/Output.h"
#include "settings/globals.h"

class TFFDecoder;

// What a run converts to: the format (0 to 7), that format's preset (an index outside the
// format's list sets no preset columns) and the output folder.
struct TJobSettings {
    int OutputFormat = ofMP3;
    int PresetIndex = 0;
    std::string OutputFileDir;
    // What a job stopped by a cancel leaves: its partial output under the final name (true,
    // the application's choice) or nothing (false, the command-line converter's).
    bool KeepStoppedOutputs = true;
    // How outputs are named and what becomes of existing ones (the application's defaults:
    // the source's name, numbered past existing files).
    TOutputNaming Naming{};
    // Settings that replace the preset's (none by default).
    TDirectSettings Direct{};
    // Whether a job converted to much less than its source's length is warned about (not
    // when the job's own options cut the source).
    bool WarnShortOutputs = true;
    // Called on each job's descriptions once they are built (the command line adds the
    // engine options it was given); none leaves them as built.
    std::function<void(TInputOptions& input, TOutputOptions& output)> AdjustJob = nullptr;
    // Whether each finished output gets the source's tags through TagWriter (the muxer's own
    // stay otherwise), and what becomes of its pictures: left out, or scaled down to fit a
    // square of CoverMaxPixels (0: as they are).
    bool WriteTags = true;
    bool NoCover = false;
    int CoverMaxPixels = 0;
    // Whether each finished output is decoded and compared with its source before it takes
    // its final name (OutputVerify); a difference fails the job.
    bool VerifyOutputs = false;
};

// The settings of the shell's state: its format, that format's preset and its folder.
TJobSettings JobSettingsOf(const TGlobalVars& vars);

// The output description of the source `prober` has open. The output file is named after the
// source with the format's extension (or by the settings' name pattern), in the settings'
// folder (in its `subFolder`, a relative path, when the pattern makes none), numbered past the
// files that exist there and past `claimed` (full paths given to earlier jobs of the same
// run), or, as the settings' existing-output policy says, skipping or replacing the output of
// an earlier run; never one of `sources`. Returns where the output goes.
TOutputPlan BuildOutputOptions(TFFDecoder& prober, const TJobSettings& settings,
                               const std::set<std::string>& claimed, TOutputOptions& options,
                               const std::string& subFolder = "",
                               const std::set<TFileId>& sources = {});

// The output's path below the output folder, with the format's extension: the settings'
// pattern filled from the source's tags, else (no pattern, or a tag the pattern uses is
// missing) `subFolder` and the source's own name.
std::string OutputRelativeName(TFFDecoder& prober, const TJobSettings& settings,
                               const std::string& subFolder);

// The input description of the source `prober` has open: its name, the format it was opened
// with, and no video decoding.
void BuildInputOptions(TFFDecoder& prober, TInputOptions& options);

// The message shown when the output folder can neither be found nor created.
inline constexpr const char* OutputFolderFailedMessage =
    "Fail to create directory! Please check if output folder have the right format!";

// True when `folder` is an existing folder or could be created with all its missing parents.
bool CheckOutputFolder(const std::string& folder);

// Makes `folder` with its missing parents; empty when it is a folder then, else the system's
// reason ("Permission denied", "Not a directory").
std::string MakeOutputFolder(const std::string& folder);
