#include "SiblingNames.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "OutputFormats.h"
#include "sources/SourceExtensions.h"

namespace fs = std::filesystem;

namespace {

// The playable files of one folder by their names without extension, each list sorted.
struct TFolderListing {
    std::string Folder;
    std::map<std::string, std::vector<std::string>> ByStem;
};

const TFolderListing& ListingOf(const std::string& folder) {
    static TFolderListing listing;
    static bool made = false;
    if (made && listing.Folder == folder)
        return listing;
    listing = TFolderListing{folder, {}};
    made = true;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (HasPlayableExtension(name) && it->is_regular_file(typeError))
            listing.ByStem[ReplaceExtension(name, "")].push_back(name);
    }
    for (auto& [stem, names] : listing.ByStem)
        std::sort(names.begin(), names.end());
    return listing;
}

} // namespace

std::string SiblingNameTag(const std::string& sourcePath) {
    const fs::path path(sourcePath);
    const std::string name = path.filename().string();
    const TFolderListing& listing = ListingOf(path.parent_path().string());
    const auto found = listing.ByStem.find(ReplaceExtension(name, ""));
    if (found == listing.ByStem.end() || found->second.empty() || found->second.front() >= name)
        return "";
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? "" : " (" + name.substr(dot + 1) + ")";
}
