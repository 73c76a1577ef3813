#include "CliNaming.h"

#include <CLI/CLI.hpp>

namespace {

constexpr const char* Group = "Output names";

} // namespace

void AddOutputTreeOptions(CLI::App& app, TOutputTreeTexts& texts) {
    app.add_flag("--flat", texts.Flat,
                 "Write every output into the output folder itself (default: files found in a "
                 "folder keep their subfolders below it)")
        ->group(Group);
    app.add_option("--existing", texts.Existing,
                   "An output that exists: increment (number the new one), skip, overwrite, or "
                   "newer (overwrite when the source is newer)")
        ->type_name("POLICY")
        ->capture_default_str()
        ->group(Group);
    app.add_option("--name", texts.Pattern,
                   "Name outputs from tags, e.g. \"{artist}/{album}/{track} {title}\" (fields: "
                   "{artist} {albumartist} {album} {title} {track} {disc} {year} {genre} "
                   "{filename}); a source without a used tag keeps its own name")
        ->type_name("PATTERN")
        ->group(Group);
}

std::string ReadOutputTree(const TOutputTreeTexts& texts, TOutputNaming& naming) {
    naming = TOutputNaming();
    if (!ExistingOutputsOf(texts.Existing, naming.Existing))
        return "--existing takes increment, skip, overwrite or newer, not \"" + texts.Existing +
               "\"";
    if (!texts.Pattern.empty()) {
        const std::string problem = NamePatternProblem(texts.Pattern);
        if (!problem.empty())
            return "--name: " + problem;
        naming.Pattern = texts.Pattern;
    }
    return "";
}
