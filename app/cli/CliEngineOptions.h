// The engine's option vocabulary on the command line: "-x NAME=VALUE" (an output option),
// "-X NAME=VALUE" (an input option), a bare NAME for a flag, and "--to FILE", one source
// converted to an explicitly named output whose container comes from the file's extension.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "input/Input.h"
#include "output/Output.h"

namespace CLI {
class App;
}
class TFFDecoder;
class TJobQueue;
enum class TQueueOutcome;
struct TCliOptions;
struct TJobSettings;

struct TCliEngineOptions {
    std::vector<std::string> Output; // -x, in the order given
    std::vector<std::string> Input;  // -X, in the order given
    std::string To;                  // --to: the output file of the one source
    bool FormatGiven = false;        // -f named a format (else --to takes the muxer's codecs)
    bool PresetGiven = false;
};

// Adds -x, -X and --to to the command line.
void AddEngineOptions(CLI::App& app, TCliEngineOptions& options);
// After the parse: notes whether -f and -p were given, and checks how --to combines with the
// rest. -1 when the program goes on, else ExitBadUsage with the reason on `err`.
int CheckEngineUsage(const CLI::App& app, TCliOptions& options, std::ostream& err);

// The -X and -x lines read once: what the engine gets of them and what the job's description
// takes from them. Every job of the run is adjusted with the same one.
struct TEngineAdjustment {
    std::string InputLines;  // every -X line, for the input's option lines
    std::string OutputLines; // the -x lines the engine still gets
    // The description's fields that -x lines set: applied after the format's and preset's
    // settings, so that the line wins over the field.
    std::vector<std::function<void(TOutputOptions&)>> Fields;
    bool CutsSource = false; // a start or length ("ss", "t") among them

    bool Empty() const { return InputLines.empty() && OutputLines.empty() && Fields.empty(); }
    // The -X lines after the input description's own, the -x lines after the output's.
    void Apply(TInputOptions& input, TOutputOptions& output) const;
};

// Parses every -X and -x line once and tries each on a task of the engine, in order, as a job
// applies them (the codecs, then the presets, then the rest). Returns the engine's own error
// text for the first bad name or value ("Unrecognized option ..."), else "" with `adjustment`
// filled: a name that the description holds in a field (codec, preset, frame size, filters;
// bit rate, channels, sample rate, stream switches; sync methods, languages, input sync) takes
// the field's place with the value the engine read. The media libraries must be loaded.
std::string ReadEngineOptions(const TCliEngineOptions& options, TEngineAdjustment& adjustment);

// The job settings of the command line's engine options: every job's descriptions get the
// adjustment; with --to the output folder is the named file's; a start or length among them
// silences the warning about outputs shorter than their sources.
void ApplyEngineSettings(const TCliEngineOptions& options, const TEngineAdjustment& adjustment,
                         TJobSettings& settings);

// --to: queues `source` with its output `options.To`: with -f the format's and preset's
// description, else only the file name; then the adjustment. An existing output is
// numbered past, kept or replaced as --existing says (TJobQueue::QueueNamedOutput); the reason
// is in `error` when the source cannot be opened, the output is the source itself, or the
// encoder refuses the job.
TQueueOutcome QueueExplicitOutput(TJobQueue& queue, TFFDecoder& prober, const std::string& source,
                                  const TCliOptions& options, const TEngineAdjustment& adjustment,
                                  std::string& error);
