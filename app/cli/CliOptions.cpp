#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <ostream>

#include "CliNaming.h"
#include "CliSettings.h"
#include "files/UnicodeProtocol.h"
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
    "      the facts of every file found there\n"
    "  audioconv-cli -f mp3 -- *.wav\n"
    "      file names that may begin with a dash go after \"--\"\n"
    "\n"
    "Options that load code:\n"
    "  -x vhook=LIB.so[ ARGS]\n"
    "      loads the shared library LIB.so into the converter and runs its code on every\n"
    "      decoded video picture (a frame hook, with ARGS as its arguments); name only\n"
    "      libraries you trust\n";

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

// The first argument before "--" that begins with "-" and is the name of an existing file
// (a shell glob's doing: "-x vhook=evil.so.wav"); empty when there is none.
std::string OptionLikeFileName(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        struct stat st {};
        if (arg.size() > 1 && arg[0] == '-' && lstat(arg.c_str(), &st) == 0)
            return arg;
    }
    return "";
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

// --sync turns on its parts, and newer replacing unless --existing says otherwise.
std::string ReadSyncOptions(const CLI::App& app, TOutputTreeTexts& tree, TCliOptions& options) {
    TSyncOptions& sync = options.Sync;
    if (sync.Sync) {
        sync.DeleteOrphans = true;
        sync.CopyCompanions = true;
        if (app.count("--existing") == 0)
            tree.Existing = "newer";
    }
    if (sync.DryRun && !sync.Manifest())
        return "--dry-run goes with --sync, --delete-orphans or --copy-companions";
    if (sync.Manifest() && tree.Flat)
        return "--sync, --delete-orphans and --copy-companions keep the folders: no --flat";
    if (sync.Manifest() && !options.Engine.To.empty())
        return "--to names one output: no --sync, --delete-orphans or --copy-companions";
    return "";
}

std::string NetworkSchemeNames() {
    std::string names;
    for (const std::string& scheme : NetworkSchemes())
        names += (names.empty() ? "" : ", ") + scheme;
    return names;
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
    app.add_flag("--loudness", options.Loudness,
                 "With --info or --json: measure each file's loudness (EBU R128: integrated, "
                 "range, true peak) and its ReplayGain; decodes the whole file");
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
    TJobListTexts listTexts;
    AddJobListOptions(app, options.Lists, listTexts);
    AddSyncOptions(app, options.Sync);
    app.add_flag("--strict", options.Strict,
                 "Fail a source that decodes well short of its length (damaged or cut short); "
                 "without it the file is converted with a warning and counted as Short");
    app.add_option("--url", options.Urls,
                   "A network source to convert, scheme://... with one of the protocols " +
                       NetworkSchemeNames() +
                       " (may be given more than once); every FILE is a local file")
        ->type_name("URL");
    app.add_option("paths", options.Paths,
                   "Files and folders (local files whatever their names; after \"--\" when a "
                   "name begins with \"-\")")
        ->type_name("FILE|DIR");
    app.set_version_flag("--version", std::string(Program) + " " + AUDIOCONV_VERSION);

    if (const std::string name = OptionLikeFileName(argc, argv); !name.empty())
        return UsageError(err, "\"" + name +
                                   "\" is the name of a file, not an option; put file "
                                   "names that begin with \"-\" after \"--\" (" +
                                   Program + " [OPTIONS] -- FILE...)");
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
        if (!options.Paths.empty() || !options.Urls.empty())
            return UsageError(err, "--list takes no files");
        return -1;
    case TCliMode::Info:
        if (!options.Lists.FilesFrom.empty())
            return UsageError(err, "--files-from is for conversions, not --info");
        if (!options.Urls.empty())
            return UsageError(err, "--url is for converting, not for --info");
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
    if (options.Loudness)
        return UsageError(err, "--loudness goes with --info or --json");
    for (const std::string& url : options.Urls)
        if (!IsNetworkURL(url))
            return UsageError(err, "--url takes scheme://... with one of the protocols " +
                                       NetworkSchemeNames() + ", not \"" + url + "\"");
    if (options.Paths.empty() && options.Urls.empty() && options.Lists.FilesFrom.empty())
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
    if (!options.Engine.To.empty() && !options.Lists.FilesFrom.empty())
        return UsageError(err, "--to converts one FILE: no --files-from");
    if (const std::string problem = ReadSyncOptions(app, tree, options); !problem.empty())
        return UsageError(err, problem);
    for (const std::string& problem :
         {ReadOutputTree(tree, options.Naming), ReadDirectSettings(direct, options.Direct),
          ReadJobListOptions(listTexts, options.Lists)})
        if (!problem.empty())
            return UsageError(err, problem);
    return -1;
}
