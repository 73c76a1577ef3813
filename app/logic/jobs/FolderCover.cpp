#include "FolderCover.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace {

// The cover names in the order they are looked for; a name with a star takes any ending.
const char* const CoverStems[] = {"cover", "folder", "front", "albumart*"};
const char* const CoverExtensions[] = {".jpg", ".jpeg", ".png"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsCoverExtension(const std::string& extension) {
    for (const char* known : CoverExtensions)
        if (strcasecmp(known, extension.c_str()) == 0)
            return true;
    return false;
}

bool StemMatches(const std::string& stem, const std::string& wanted) {
    if (!wanted.empty() && wanted.back() == '*')
        return stem.compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0;
    return stem == wanted;
}

} // namespace

std::string FindFolderCover(const std::string& sourcePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path folder = fs::path(sourcePath).parent_path();
    if (folder.empty())
        folder = ".";
    std::vector<fs::path> pictures;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && IsCoverExtension(it->path().extension().string()))
            pictures.push_back(it->path());
    }
    std::sort(pictures.begin(), pictures.end());
    for (const char* wanted : CoverStems)
        for (const fs::path& picture : pictures)
            if (StemMatches(Lower(picture.stem().string()), wanted))
                return picture.string();
    return "";
}

bool ReadFolderCover(const std::string& sourcePath, TCoverPicture& picture) {
    const std::string path = FindFolderCover(sourcePath);
    if (path.empty())
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string mime = PictureMimeOf(data);
    if (!in.good() && !in.eof())
        return false;
    if (mime.empty())
        return false;
    picture = TCoverPicture{data, mime, "", 3};
    return true;
}
