#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdlib>
#include <ostream>

#include "CliNaming.h"
#include "CliSettings.h"
#include "jobs/OutputFormats.h"
#include "jobs/OutputVerify.h"

namespace {

constexpr const char* Program = "audioconv-cli";

constexpr const char* Examples =
    "Examples:\n"
    "  audioconv-cli -f flac -o ~/Music/flac ~/Recordings\n"
    "      convert a folder, its subfolders mirrored below ~/Music/flac\n"
    "  audioconv-cli -f mp3 -q 2 --existing newer -o ~/Player ~/Music\n"
    "      keep a player's copy of a library in step (VBR quality 2)\n"
    "  audioconv-cli -f opus -b 96k --name \"{artist}/{album}/{track} {title}\" -o out lib\n"
    "      Opus at 96 kbps, named from the tags\n"
    "  audioconv-cli -f wav -r keep -c mono talk.m4a\n"
    "      a mono WAV at the source's own rate, into the current folder\n"
    "  audioconv-cli -f flac -x compression_level=8 -X ss=30 -x t=60 talk.wav\n"
    "      engine options: FLAC level 8, one minute from 0:30\n"
    "  audioconv-cli --to clip.mkv film.mp4\n"
    "      one file to a named output with Matroska's own codecs\n"
    "  audioconv-cli --to clip.avi -x vcodec=mpeg4 -x b=800k clip.mp4\n"
    "      MPEG-4 Part 2 video at 800 kbps in AVI\n"
    "  audioconv-cli --existing newer --to talk.ogg -f ogg talk.wav\n"
    "      convert again only when talk.wav changed since\n"
    "  audioconv-cli --list      the formats and their presets\n"
    "  audioconv-cli --info ~/Music/album\n"
    "      the facts of every file found there\n";

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string FormatNames() {
    std::string names;
    for (const TOutputFormatInfo& format : AllOutputFormats())
        names += (names.empty() ? "" : ", ") + Lower(format.Name);
    return names;
}

int UsageError(std::ostream& err, const std::string& message) {
    err << Program << ": " << message << "\nRun with --help for more information.\n";
    return ExitBadUsage;
}

// The parser's message in plain words: "--jobs: 1 required N missing" says that --jobs needs a
// value.
std::string PlainParseMessage(const std::string& message) {
    const std::string missing = " missing";
    const size_t colon = message.find(": 1 required ");
    if (colon == std::string::npos || message.size() < missing.size() ||
        message.compare(message.size() - missing.size(), missing.size(), missing) != 0)
        return message;
    const size_t type = colon + std::string(": 1 required ").size();
    return message.substr(0, colon) + " needs a value (" +
           message.substr(type, message.size() - missing.size() - type) + ")";
}

// A whole number in `text`; false when it is none.
bool ParseWhole(const std::string& text, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < -1000000 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

int FormatIndexOf(const std::string& name) {
    const std::string wanted = Lower(name);
    const auto& formats = AllOutputFormats();
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
                 Program};
    app.footer(Examples);
    bool list = false;
    bool info = false;
    std::string format = "mp3";
    std::string preset = "0";
    std::string jobs;

    CLI::Option* listFlag = app.add_flag(
        "--list", list, "List the output formats and their presets with their indices");
    CLI::Option* infoFlag = app.add_flag(
        "--info", info, "Show the facts of each FILE (and of the files found in each DIR)");
    listFlag->excludes(infoFlag);
    CLI::Option* jsonFlag = app.add_flag(
        "--json", options.Json,
        "With --info (implied): print the facts as JSON, one object per line and file");
    listFlag->excludes(jsonFlag);
    CLI::Option* verifyFlag = app.add_flag(
        "--verify", options.Verify,
        "Decode each output (wav or flac) and compare it with its source; a difference "
        "fails the file");
    verifyFlag->excludes(listFlag)->excludes(infoFlag)->excludes(jsonFlag);
    app.add_option("-f,--format", format, "Output format: " + FormatNames() + " (any case)")
        ->type_name("FORMAT")
        ->capture_default_str();
    app.add_option("-p,--preset", preset, "Index of the format's preset (see --list)")
        ->type_name("INDEX")
        ->capture_default_str();
    app.add_option("-o,--output", options.OutputDir,
                   "Output folder, created when missing (default: the current folder)")
        ->type_name("DIR");
    app.add_option("-j,--jobs", jobs, "Conversions at a time (default: the number of cores)")
        ->type_name("N");
    app.add_flag("--no-cover", options.NoCover, "Leave pictures out of the outputs");
    std::string coverMax;
    app.add_option("--cover-max", coverMax,
                   "Scale down covers larger than PIXELS in width or height (JPEG of quality "
                   "90) for players with limits")
        ->type_name("PIXELS");
    app.add_flag("--quiet", options.Quiet, "Print error messages only");
    app.add_flag("--log", options.Log,
                 "Print the log lines of the converter and the media libraries");
    app.add_option("--log-level", options.LogLevel,
                   "Level of the media libraries' log lines: quiet, panic, fatal, error, warning, "
                   "info, verbose or debug (default: info)")
        ->type_name("LEVEL");
    TOutputTreeTexts tree;
    AddOutputTreeOptions(app, tree);
    TDirectSettingTexts direct;
    AddDirectSettingOptions(app, direct);
    AddEngineOptions(app, options.Engine);
    app.add_option("paths", options.Paths, "Files and folders")->type_name("FILE|DIR");
    app.set_version_flag("--version", std::string(Program) + " " + AUDIOCONV_VERSION);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e, out, err);
        return UsageError(err, PlainParseMessage(e.what()));
    }

    options.Mode = list                   ? TCliMode::List
                   : info || options.Json ? TCliMode::Info
                                          : TCliMode::Convert;
    switch (options.Mode) {
    case TCliMode::List:
        if (!options.Paths.empty())
            return UsageError(err, "--list takes no files");
        return -1;
    case TCliMode::Info:
        if (options.Paths.empty())
            return UsageError(err, "--info needs at least one FILE or DIR");
        // With a format, the JSON report names the tags that format cannot hold.
        if (app.count("--format") > 0) {
            options.Format = FormatIndexOf(format);
            if (options.Format < 0)
                return UsageError(err, "unknown format \"" + format + "\" (one of " +
                                           FormatNames() + ")");
            options.FormatGiven = true;
        }
        return -1;
    case TCliMode::Convert:
        break;
    }
    if (options.Paths.empty())
        return UsageError(err, "no FILE or DIR to convert");
    if (!jobs.empty()) {
        if (!ParseWhole(jobs, options.Jobs))
            return UsageError(err, "--jobs takes a whole number, not \"" + jobs + "\"");
        if (options.Jobs < 1)
            return UsageError(err, "--jobs must be at least 1");
    }
    if (!coverMax.empty() && (!ParseWhole(coverMax, options.CoverMax) || options.CoverMax < 1))
        return UsageError(err, "--cover-max takes a number of pixels, at least 1, not \"" +
                                   coverMax + "\"");
    if (const int status = CheckEngineUsage(app, options, err); status >= 0)
        return status;
    options.Format = FormatIndexOf(format);
    if (options.Format < 0)
        return UsageError(err, "unknown format \"" + format + "\" (one of " + FormatNames() + ")");
    const TOutputFormatInfo& chosen = AllOutputFormats()[options.Format];
    if (options.Verify && !IsVerifiableFormat(options.Format))
        return UsageError(err, "--verify needs a lossless format (wav or flac), not " +
                                   Lower(chosen.Name));
    const int count = static_cast<int>(chosen.Presets.size());
    if (!ParseWhole(preset, options.Preset))
        return UsageError(err, "--preset takes the index of a preset (see --list), not \"" +
                                   preset + "\"");
    if (options.Preset < 0 || options.Preset >= count)
        return UsageError(err, "format " + std::string(chosen.Name) + " has no preset " +
                                   std::to_string(options.Preset) + " (0 to " +
                                   std::to_string(count - 1) + ", see --list)");
    options.Flat = tree.Flat;
    for (const std::string& problem :
         {ReadOutputTree(tree, options.Naming), ReadDirectSettings(direct, options.Direct)})
        if (!problem.empty())
            return UsageError(err, problem);
    return -1;
}
