#include "CliSearch.h"

#include <filesystem>
#include <set>
#include <system_error>

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

} // namespace

std::vector<TCliSource> CollectSources(const std::vector<std::string>& paths,
                                       std::vector<TSourceProblem>& problems,
                                       const std::string& outputFolder) {
    std::vector<TCliSource> sources;
    std::set<std::string> seen; // the files taken, by their real paths
    auto take = [&](const std::string& file, const std::string& subFolder, const std::string& key) {
        std::error_code ec;
        const fs::path real = fs::weakly_canonical(file, ec);
        if (seen.insert(ec ? file : real.string()).second)
            sources.push_back({file, subFolder, key});
    };
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) {
            std::string error;
            for (const std::string& file : FindSourceFiles(path, &error, outputFolder))
                take(file, SubFolderOf(file, path), KeyOf(file, path));
            if (!error.empty())
                problems.push_back({path, "cannot read the folder: " + error});
        } else if (fs::exists(status)) {
            take(path, "", fs::path(path).lexically_normal().generic_string());
        } else {
            problems.push_back({path, status.type() == fs::file_type::not_found || !ec
                                          ? "No such file or directory"
                                          : ec.message()});
        }
    }
    return sources;
}
