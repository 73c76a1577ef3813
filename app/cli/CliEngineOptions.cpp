#include "CliEngineOptions.h"

#include <CLI/CLI.hpp>

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

// Output option names whose value the output description holds in a field: the field is
// applied after the option lines, so a -x line of that name takes the field's place.
struct TFieldOption {
    std::string_view Name;
    std::function<void(TOutputOptions&, const std::string& value)> Take;
    bool KeepLine; // the line still goes to the engine (the field is only cleared)
};

const TFieldOption FieldOptions[] = {
    // Fields that give the defaults of the codecs, presets, frame size and filters.
    {"acodec", [](TOutputOptions& o, const std::string& v) { o.AudioCodec = v; }, false},
    {"vcodec", [](TOutputOptions& o, const std::string& v) { o.VideoCodec = v; }, false},
    {"scodec", [](TOutputOptions& o, const std::string& v) { o.SubtitleCodec = v; }, false},
    {"apre", [](TOutputOptions& o, const std::string& v) { o.AudioPreset = v; }, false},
    {"vpre", [](TOutputOptions& o, const std::string& v) { o.VideoPreset = v; }, false},
    {"spre", [](TOutputOptions& o, const std::string& v) { o.SubtitlePreset = v; }, false},
    {"s", [](TOutputOptions& o, const std::string& v) { o.FrameSize = v; }, false},
    {"vf", [](TOutputOptions& o, const std::string& v) { o.VideoFilters = v; }, false},
    {"vfilters", [](TOutputOptions& o, const std::string& v) { o.VideoFilters = v; }, false},
    // Fields a format or preset sets, applied after the lines.
    {"ab", [](TOutputOptions& o, const std::string&) { o.AudioBitrate = -1; }, true},
    {"ac", [](TOutputOptions& o, const std::string&) { o.AudioChannels = -1; }, true},
    {"ar", [](TOutputOptions& o, const std::string&) { o.AudioSampleRate = -1; }, true},
    {"vn", [](TOutputOptions& o, const std::string&) { o.DisableVideo = false; }, true},
    {"sn", [](TOutputOptions& o, const std::string&) { o.DisableSubtitle = false; }, true},
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

std::string CheckEngineVocabulary(const TCliEngineOptions& options) {
    try {
        TCustomFFmpeg task(1);
        task.RaiseOptionErrors = true;
        for (const std::string& text : options.Input)
            for (const TOptionLine& line : ParseOptionLines(text)) {
                if (IsOutputPhaseOption(line.Name))
                    return "-X " + line.Name + ": an option of an output (-x)";
                task.ParseOption(line.Name, line.Value);
            }
        // As an output applies them: the codecs, then the presets, then the rest in order.
        for (int round = 0; round < 3; ++round)
            for (const std::string& text : options.Output)
                for (const TOptionLine& line : ParseOptionLines(text))
                    if (CheckRound(line.Name) == round && !NeedsAnOutput(line.Name))
                        task.ParseOption(line.Name, line.Value);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

void ApplyEngineOptions(const TCliEngineOptions& options, TInputOptions& input,
                        TOutputOptions& output) {
    for (const std::string& text : options.Input)
        AppendLine(input.ExtOptions, text);
    for (const std::string& text : options.Output) {
        bool keep = false;
        for (const TOptionLine& line : ParseOptionLines(text)) {
            const TFieldOption* field = FieldOption(line.Name);
            if (field != nullptr)
                field->Take(output, line.Value);
            keep = keep || field == nullptr || field->KeepLine;
        }
        if (keep)
            AppendLine(output.ExtOptions, text);
    }
}

void ApplyEngineSettings(const TCliEngineOptions& options, TJobSettings& settings) {
    if (!options.To.empty()) {
        const fs::path folder = fs::path(options.To).parent_path();
        std::error_code ec;
        settings.OutputFileDir = folder.empty() ? fs::current_path(ec).string() : folder.string();
    }
    if (options.Input.empty() && options.Output.empty())
        return;
    // A start or a length given here cuts the source on purpose.
    for (const auto* lines : {&options.Input, &options.Output})
        for (const std::string& text : *lines)
            for (const TOptionLine& line : ParseOptionLines(text))
                if (line.Name == "ss" || line.Name == "t")
                    settings.WarnShortOutputs = false;
    settings.AdjustJob = [options](TInputOptions& input, TOutputOptions& output) {
        ApplyEngineOptions(options, input, output);
    };
}

TQueueOutcome QueueExplicitOutput(TJobQueue& queue, TFFDecoder& prober, const std::string& source,
                                  const TCliOptions& options, std::string& error) {
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
    ApplyEngineOptions(engine, input, output);
    const TQueueOutcome outcome = queue.QueueNamedOutput(input, output);
    prober.CloseFile();
    if (outcome == TQueueOutcome::Failed)
        error = queue.LastError();
    return outcome;
}
