#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <ostream>

#include "OutputFormats.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string FormatNames() {
    std::string names;
    for (const TOutputFormatInfo& format : OutputFormats())
        names += (names.empty() ? "" : ", ") + Lower(format.Name);
    return names;
}

int UsageError(std::ostream& err, const std::string& message) {
    err << "audioconv-cli: " << message << "\nRun with --help for more information.\n";
    return ExitBadUsage;
}

} // namespace

int FormatIndexOf(const std::string& name) {
    const std::string wanted = Lower(name);
    const auto& formats = OutputFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        if (Lower(formats[i].Name) == wanted)
            return static_cast<int>(i);
    return -1;
}

int ParseCliOptions(int argc, const char* const* argv, TCliOptions& options, std::ostream& out,
                    std::ostream& err) {
    options = TCliOptions();
    CLI::App app{"Converts audio and video files into audio files of one format and preset.\n"
                 "Folders are searched with their subfolders for the files of known types.",
                 "audioconv-cli"};
    bool list = false;
    bool info = false;
    std::string format = "mp3";
    int jobs = 0;

    CLI::Option* listFlag = app.add_flag(
        "--list", list, "List the output formats and their presets with their indices");
    CLI::Option* infoFlag =
        app.add_flag("--info", info, "Show the facts of each FILE as the source list shows them");
    listFlag->excludes(infoFlag);
    app.add_option("-f,--format", format, "Output format: " + FormatNames() + " (any case)")
        ->capture_default_str();
    app.add_option("-p,--preset", options.Preset, "Index of the format's preset (see --list)")
        ->capture_default_str();
    app.add_option("-o,--output", options.OutputDir,
                   "Output folder, created when missing (default: the current folder)");
    app.add_option("-j,--jobs", jobs, "Conversions at a time (default: the number of cores)")
        ->check(CLI::PositiveNumber);
    app.add_flag("-q,--quiet", options.Quiet, "Print error messages only");
    app.add_flag("--log", options.Log,
                 "Print the log lines of the converter and the media libraries");
    app.add_option("--log-level", options.LogLevel,
                   "Level of the media libraries' log lines: quiet, panic, fatal, error, warning, "
                   "info, verbose or debug (default: info)");
    app.add_option("paths", options.Paths, "Files and folders")->type_name("FILE|DIR");
    app.set_version_flag("--version", std::string("audioconv-cli ") + AUDIOCONV_VERSION);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? 0 : ExitBadUsage;
    }

    options.Mode = list ? TCliMode::List : info ? TCliMode::Info : TCliMode::Convert;
    options.Jobs = jobs;
    switch (options.Mode) {
    case TCliMode::List:
        if (!options.Paths.empty())
            return UsageError(err, "--list takes no files");
        return -1;
    case TCliMode::Info:
        if (options.Paths.empty())
            return UsageError(err, "--info needs at least one FILE");
        return -1;
    case TCliMode::Convert:
        break;
    }
    if (options.Paths.empty())
        return UsageError(err, "no FILE or DIR to convert");
    options.Format = FormatIndexOf(format);
    if (options.Format < 0)
        return UsageError(err, "unknown format \"" + format + "\" (one of " + FormatNames() + ")");
    const TOutputFormatInfo& chosen = OutputFormats()[options.Format];
    const int count = static_cast<int>(chosen.Presets.size());
    if (options.Preset < 0 || options.Preset >= count)
        return UsageError(err, "format " + std::string(chosen.Name) + " has no preset " +
                                   std::to_string(options.Preset) + " (0 to " +
                                   std::to_string(count - 1) + ", see --list)");
    return -1;
}
