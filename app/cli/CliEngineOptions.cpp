#include "CliEngineOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "CliOptions.h"
#include "FFDecode.h"
#include "FFmpeg.h"
#include "jobs/JobBuilder.h"
#include "jobs/JobQueue.h"
#include "options/OptionLines.h"

namespace fs = std::filesystem;

namespace {

// Output option names whose value the output description holds in a field. The description's
// fields are applied after its option lines, so a -x line of such a name must set the field
// (or clear it) to have its effect. `Take` gets the line's value and the task the lines were
// tried on, which holds the value as the engine read it, and gives what is done to each job's
// description.
using TFieldSet = std::function<void(TOutputOptions&)>;
using TFieldTake = TFieldSet (*)(const TCustomFFmpeg& read, const std::string& value);

struct TFieldOption {
    std::string_view Name;
    TFieldTake Take;
    bool KeepLine; // the line still goes to the engine (the field is only cleared or set alike)
};

// The field takes the line's text.
template <auto Field> TFieldSet Text(const TCustomFFmpeg&, const std::string& value) {
    return [value](TOutputOptions& o) { o.*Field = value; };
}
// The field is cleared (it is applied only when set): the line decides.
template <auto Field, auto Cleared> TFieldSet Clear(const TCustomFFmpeg&, const std::string&) {
    return [](TOutputOptions& o) { o.*Field = Cleared; };
}
// The field is always applied: it takes the value the engine read from the line.
template <auto Read, auto Field> TFieldSet AsRead(const TCustomFFmpeg& read, const std::string&) {
    return [value = read.*Read](TOutputOptions& o) { o.*Field = value; };
}

using O = TOutputOptions;
using S = TOptionState;

const TFieldOption FieldOptions[] = {
    // Fields that give the defaults of the codecs, presets, frame size and filters.
    {"acodec", Text<&O::AudioCodec>, false},
    {"vcodec", Text<&O::VideoCodec>, false},
    {"scodec", Text<&O::SubtitleCodec>, false},
    {"apre", Text<&O::AudioPreset>, false},
    {"vpre", Text<&O::VideoPreset>, false},
    {"spre", Text<&O::SubtitlePreset>, false},
    {"s", Text<&O::FrameSize>, false},
    {"vf", Text<&O::VideoFilters>, false},
    {"vfilters", Text<&O::VideoFilters>, false},
    // Fields a format or preset sets.
    {"ab", Clear<&O::AudioBitrate, -1>, true},
    {"ac", Clear<&O::AudioChannels, -1>, true},
    {"ar", Clear<&O::AudioSampleRate, -1>, true},
    {"vn", Clear<&O::DisableVideo, false>, true},
    {"sn", Clear<&O::DisableSubtitle, false>, true},
    // Fields the description always applies.
    {"async", AsRead<&S::AudioSyncMethod, &O::AudioSyncMethod>, true},
    {"vsync", AsRead<&S::VideoSyncMethod, &O::VideoSyncMethod>, true},
    {"alang", AsRead<&S::AudioLanguage, &O::AudioLanguage>, true},
    {"vlang", AsRead<&S::VideoLanguage, &O::VideoLanguage>, true},
    {"slang", AsRead<&S::SubtitleLanguage, &O::SubtitleLanguage>, true},
    {"isync", AsRead<&S::InputSync, &O::InputSync>, true},
};

const TFieldOption* FieldOption(const std::string& name) {
    for (const TFieldOption& option : FieldOptions)
        if (option.Name == name)
            return &option;
    return nullptr;
}

void AppendLine(std::string& lines, const std::string& line) {
    if (!lines.empty())
        lines += "\n";
    lines += line;
}

// A parsed line as the engine's option text holds it.
std::string LineText(const TOptionLine& line) {
    return line.Value.empty() ? line.Name : line.Name + "=" + line.Value;
}

// The extra streams of an output need the output itself: they are checked when it is made.
bool NeedsAnOutput(const std::string& name) {
    return name == "newvideo" || name == "newaudio" || name == "newsubtitle";
}

// 0 for the codec names, 1 for the presets, 2 for every other name.
int CheckRound(const std::string& name) {
    if (name == "acodec" || name == "vcodec" || name == "scodec")
        return 0;
    if (name == "apre" || name == "vpre" || name == "spre")
        return 1;
    return 2;
}

// Every line of every text, in order.
std::vector<TOptionLine> ParsedLines(const std::vector<std::string>& texts) {
    std::vector<TOptionLine> lines;
    for (const std::string& text : texts)
        for (TOptionLine& line : ParseOptionLines(text))
            lines.push_back(std::move(line));
    return lines;
}

bool CutsSource(const std::vector<TOptionLine>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const TOptionLine& line) {
        return line.Name == "ss" || line.Name == "t";
    });
}

} // namespace

void AddEngineOptions(CLI::App& app, TCliEngineOptions& options) {
    app.add_option("-x", options.Output,
                   "An output option of the engine, after the format's and preset's (repeatable; "
                   "NAME alone for a flag), e.g. -x ab=192k")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    app.add_option("-X", options.Input,
                   "An input option of the engine (repeatable; NAME alone for a flag), "
                   "e.g. -X ss=10")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    app.add_option("--to", options.To,
                   "Convert the one source to FILE, its container from the extension (without "
                   "-f: the container's own codecs); a FILE that exists is numbered past, kept "
                   "or replaced as --existing says (default: increment), never the source")
        ->type_name("FILE");
}

int CheckEngineUsage(const CLI::App& app, TCliOptions& options, std::ostream& err) {
    TCliEngineOptions& engine = options.Engine;
    engine.FormatGiven = app.count("-f") > 0;
    engine.PresetGiven = app.count("-p") > 0;
    auto usage = [&err](const std::string& message) {
        err << "audioconv-cli: " << message << "\nRun with --help for more information.\n";
        return ExitBadUsage;
    };
    for (const auto* lines : {&engine.Output, &engine.Input})
        for (const std::string& line : *lines)
            if (line.empty() || line.front() == '=')
                return usage("option \"" + line + "\" has no NAME (NAME=VALUE or NAME)");
    if (engine.To.empty())
        return -1;
    if (options.Paths.size() != 1)
        return usage("--to takes exactly one source FILE");
    if (!options.OutputDir.empty())
        return usage("--to names the output itself: no -o");
    if (engine.PresetGiven && !engine.FormatGiven)
        return usage("--to takes -p only with -f");
    return -1;
}

void TEngineAdjustment::Apply(TInputOptions& input, TOutputOptions& output) const {
    if (!InputLines.empty())
        AppendLine(input.ExtOptions, InputLines);
    for (const auto& field : Fields)
        field(output);
    if (!OutputLines.empty())
        AppendLine(output.ExtOptions, OutputLines);
}

std::string ReadEngineOptions(const TCliEngineOptions& options, TEngineAdjustment& adjustment) {
    const std::vector<TOptionLine> input = ParsedLines(options.Input);
    const std::vector<TOptionLine> output = ParsedLines(options.Output);
    adjustment = TEngineAdjustment{};
    try {
        TCustomFFmpeg task(1);
        task.RaiseOptionErrors = true;
        for (const TOptionLine& line : input) {
            if (IsOutputPhaseOption(line.Name))
                return "-X " + line.Name + ": an option of an output (-x)";
            task.ParseOption(line.Name, line.Value);
        }
        // As an output applies them: the codecs, then the presets, then the rest in order.
        for (int round = 0; round < 3; ++round)
            for (const TOptionLine& line : output)
                if (CheckRound(line.Name) == round && !NeedsAnOutput(line.Name))
                    task.ParseOption(line.Name, line.Value);
        for (const TOptionLine& line : input)
            AppendLine(adjustment.InputLines, LineText(line));
        for (const TOptionLine& line : output) {
            const TFieldOption* field = FieldOption(line.Name);
            if (field != nullptr)
                adjustment.Fields.push_back(field->Take(task, line.Value));
            if (field == nullptr || field->KeepLine)
                AppendLine(adjustment.OutputLines, LineText(line));
        }
    } catch (const std::exception& e) {
        adjustment = TEngineAdjustment{};
        return e.what();
    }
    adjustment.CutsSource = CutsSource(input) || CutsSource(output);
    return "";
}

void ApplyEngineSettings(const TCliEngineOptions& options, const TEngineAdjustment& adjustment,
                         TJobSettings& settings) {
    if (!options.To.empty()) {
        const fs::path folder = fs::path(options.To).parent_path();
        std::error_code ec;
        settings.OutputFileDir = folder.empty() ? fs::current_path(ec).string() : folder.string();
    }
    if (adjustment.Empty())
        return;
    // A start or a length given here cuts the source on purpose.
    if (adjustment.CutsSource)
        settings.WarnShortOutputs = false;
    settings.AdjustJob = [adjustment](TInputOptions& input, TOutputOptions& output) {
        adjustment.Apply(input, output);
    };
}

TQueueOutcome QueueExplicitOutput(TJobQueue& queue, TFFDecoder& prober, const std::string& source,
                                  const TCliOptions& options, const TEngineAdjustment& adjustment,
                                  std::string& error) {
    const TCliEngineOptions& engine = options.Engine;
    if (!prober.LoadFile(source, "")) {
        error = FileLoadErrorPrefix + prober.LastErrMsg();
        return TQueueOutcome::Failed;
    }
    TInputOptions input;
    TOutputOptions output;
    if (engine.FormatGiven) {
        BuildOutputOptions(prober, queue.Settings(), queue.ClaimedNames(), output);
        BuildInputOptions(prober, input);
    } else {
        input.FileName = prober.FileName();
        input.ForceFormat = prober.ForcedFormat();
    }
    output.FileName = engine.To;
    output.Extension = fs::path(engine.To).extension().string();
    adjustment.Apply(input, output);
    const TQueueOutcome outcome = queue.QueueNamedOutput(input, output);
    prober.CloseFile();
    if (outcome == TQueueOutcome::Failed)
        error = queue.LastError();
    return outcome;
}
