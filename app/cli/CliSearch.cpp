#include "CliSearch.h"
#include "CliJobList.h"

#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "files/UnicodeProtocol.h"
#include "sources/SourceExtensions.h"

namespace fs = std::filesystem;

namespace {

// `folder` as a base of relative paths: "music/" is "music".
fs::path BaseOf(const std::string& folder) {
    fs::path base = fs::path(folder).lexically_normal();
    if (!base.has_filename() && base.has_parent_path() && base != base.root_path())
        base = base.parent_path();
    return base;
}

// The folder of `file` relative to `folder`, "" when it is `folder` itself.
std::string SubFolderOf(const std::string& file, const std::string& folder) {
    const fs::path relative =
        fs::path(file).parent_path().lexically_normal().lexically_relative(BaseOf(folder));
    const std::string text = relative.string();
    return text == "." ? "" : text;
}

// The path of `file` relative to `folder`.
std::string KeyOf(const std::string& file, const std::string& folder) {
    return fs::path(file).lexically_normal().lexically_relative(BaseOf(folder)).generic_string();
}

bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

std::string LowerText(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "x" for "x" and "x(12)"; the stem an output name was numbered from.
std::string UnnumberedStem(const std::string& stem) {
    if (stem.size() < 3 || stem.back() != ')')
        return stem;
    const size_t open = stem.find_last_of('(');
    if (open == std::string::npos || open == 0 || open + 2 >= stem.size())
        return stem;
    for (size_t i = open + 1; i + 1 < stem.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(stem[i])))
            return stem;
    return stem.substr(0, open);
}

// Drops from `files` (of one searched folder that is the output folder) the outputs of earlier
// runs: files with `extension` whose name, without a number, is the stem of another file in
// the same folder with another extension.
std::vector<std::string> WithoutOutputs(const std::vector<std::string>& files,
                                        const std::string& extension) {
    std::set<std::pair<std::string, std::string>> sourceStems; // (folder, stem)
    for (const std::string& file : files) {
        const fs::path path(file);
        if (LowerText(path.extension().string()) != LowerText(extension))
            sourceStems.insert({path.parent_path().string(), path.stem().string()});
    }
    std::vector<std::string> kept;
    for (const std::string& file : files) {
        const fs::path path(file);
        const bool output = LowerText(path.extension().string()) == LowerText(extension) &&
                            sourceStems.count({path.parent_path().string(),
                                               UnnumberedStem(path.stem().string())}) > 0;
        if (!output)
            kept.push_back(file);
    }
    return kept;
}

} // namespace

std::string MissingPathProblem(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status))
        return "";
    return status.type() == fs::file_type::not_found || !ec ? "No such file or directory"
                                                            : ec.message();
}

std::vector<TCliSource> CollectSources(const std::vector<std::string>& paths,
                                       std::vector<TSourceProblem>& problems,
                                       const std::string& outputFolder,
                                       const std::string& outputExtension) {
    std::vector<TCliSource> sources;
    std::set<std::string> seen; // the files taken, by their real paths
    auto take = [&](const std::string& file, const std::string& subFolder, const std::string& key) {
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(file, ec);
        if (seen.insert(ec ? file : real.string()).second)
            sources.push_back({LocalFileName(file), subFolder, key});
    };
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) {
            std::string error;
            std::vector<TSearchProblem> unreadable;
            std::vector<std::string> files =
                FindSourceFiles(path, &error, outputFolder, &unreadable);
            if (!outputExtension.empty() && SameFolder(path, outputFolder))
                files = WithoutOutputs(files, outputExtension);
            for (const std::string& file : files)
                take(file, SubFolderOf(file, path), KeyOf(file, path));
            if (!error.empty())
                problems.push_back({path, "cannot read the folder: " + error});
            for (const TSearchProblem& problem : unreadable)
                problems.push_back({problem.Path, "cannot be read: " + problem.Reason});
        } else if (fs::exists(status)) {
            const std::string kind = NotRegularFileProblem(path);
            if (kind.empty())
                take(path, "", PathKey(path));
            else
                problems.push_back({path, kind});
        } else {
            problems.push_back({path, MissingPathProblem(path)});
        }
    }
    return sources;
}
