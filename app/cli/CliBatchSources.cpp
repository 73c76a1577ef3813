#include "CliBatchSources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <system_error>

#include "files/UnicodeProtocol.h"
#include "sources/SourceExtensions.h"

namespace fs = std::filesystem;

namespace {

std::string RealPathOf(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(path, ec);
    return ec ? path : real.string();
}

} // namespace

bool CollectBatchSources(const std::vector<std::string>& paths, const TJobListOptions& lists,
                         const std::string& outputFolder, const std::string& outputExtension,
                         std::vector<TCliSource>& sources, std::vector<TSourceProblem>& problems,
                         std::string& error) {
    const TShard& shard = lists.Shard;
    sources = CollectSources(paths, problems, outputFolder, outputExtension);
    std::erase_if(sources, [&](const TCliSource& s) { return !InShard(s.Key, shard); });
    std::erase_if(problems,
                  [&](const TSourceProblem& p) { return !InShard(PathKey(p.Path), shard); });
    if (lists.FilesFrom.empty())
        return true;

    std::set<std::string> seen;
    for (const TCliSource& source : sources)
        seen.insert(RealPathOf(source.Path));
    for (const std::string& list : lists.FilesFrom) {
        std::ifstream file;
        if (list != "-") {
            file.open(list, std::ios::binary);
            if (!file) {
                error = "cannot read the list " + list + ": " + std::strerror(errno);
                return false;
            }
        }
        std::istream& in = list == "-" ? std::cin : file;
        ReadJobList(in, lists.NullSeparated, ListBaseFolder(list), [&](const TListEntry& entry) {
            if (!InShard(entry.Key, shard))
                return;
            std::string problem = MissingPathProblem(entry.Path);
            if (problem.empty())
                problem = NotRegularFileProblem(entry.Path);
            if (!problem.empty()) {
                problems.push_back({entry.Path, problem});
                return;
            }
            // A relative entry keeps its folders below the output folder, as a file found by
            // searching the list's folder would.
            const bool relative = !fs::path(entry.Key).is_absolute();
            const std::string subFolder =
                relative ? fs::path(entry.Key).parent_path().generic_string() : "";
            if (seen.insert(RealPathOf(entry.Path)).second)
                sources.push_back({LocalFileName(entry.Path), subFolder, entry.Key});
        });
        if (in.bad()) {
            error = "cannot read the list " + list + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void RebaseSources(std::vector<TCliSource>& sources, const std::string& base,
                   std::vector<TSourceProblem>& problems) {
    if (base.empty())
        return;
    const fs::path root = fs::absolute(base).lexically_normal();
    std::erase_if(sources, [&](TCliSource& source) {
        const fs::path folder = fs::absolute(source.Path).lexically_normal().parent_path();
        const fs::path relative = folder.lexically_relative(root);
        if (relative.empty() || *relative.begin() == "..") {
            problems.push_back({source.Path, "not below --base " + base});
            return true;
        }
        source.SubFolder = relative == "." ? "" : relative.string();
        return false;
    });
}
