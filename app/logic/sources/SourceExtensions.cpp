#include "SourceExtensions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> Extensions = {
    ".mp3", ".aac", ".wav",  ".wma", ".cda", ".flac", ".m4a", ".mid", ".mka", ".mp2", ".mpa",
    ".mpc", ".ape", ".ofr",  ".ogg", ".ra",  ".wv",   ".tta", ".ac3", ".dts", ".avi", ".avm",
    ".asf", ".wmv", ".avs",  ".flv", ".mkv", ".mov",  ".3gp", ".mp4", ".mpg", ".dat", ".ogm",
    ".vob", ".rm",  ".rmvb", ".ts",  ".tp",  ".ifo",  ".nsv", ".swf",
};

// What this desktop's players open besides: Ogg, AIFF, Core Audio, Sun, Wave64, audio
// books and ring tones, WebM, AMR, 3GPP2, DSD and a few more containers.
const std::vector<std::string> DesktopExtensions = {
    ".oga", ".opus", ".spx",  ".aif",  ".aiff", ".aifc", ".caf",  ".au",   ".snd", ".w64",
    ".m4b", ".m4r",  ".m4v",  ".webm", ".weba", ".amr",  ".awb",  ".3g2",  ".dsf", ".dff",
    ".tak", ".ogv",  ".mpeg", ".mts",  ".m2ts", ".voc",  ".mk3d", ".eac3",
};

bool IsOneOf(const std::vector<std::string>& list, const std::string& ext) {
    return std::find(list.begin(), list.end(), ext) != list.end();
}

} // namespace

const std::vector<std::string>& AcceptedSourceExtensions() {
    return Extensions;
}

std::string LowerFileExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        return "";
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool HasAcceptedSourceExtension(const std::string& path) {
    return IsOneOf(Extensions, LowerFileExtension(path));
}

const std::vector<std::string>& DesktopSourceExtensions() {
    return DesktopExtensions;
}

bool HasPlayableExtension(const std::string& path) {
    const std::string ext = LowerFileExtension(path);
    return IsOneOf(Extensions, ext) || IsOneOf(DesktopExtensions, ext);
}

bool IsAcceptedDroppedFile(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return false;
    return HasAcceptedSourceExtension(path);
}

std::vector<std::string> FindSourceFiles(const std::string& folder, std::string* error,
                                         const std::string& skipFolder) {
    std::vector<std::string> found;
    std::error_code ec;
    std::error_code skipError;
    const fs::path skip = skipFolder.empty() ? fs::path() : fs::canonical(skipFolder, skipError);
    // Folder links are not followed, so a link back up the tree cannot loop.
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::string path = it->path().string();
        if (!skip.empty() && !skipError && it->is_directory(typeError) &&
            fs::equivalent(it->path(), skip, typeError)) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(typeError) && HasPlayableExtension(path))
            found.push_back(path);
    }
    if (ec && error)
        *error = ec.message();
    std::sort(found.begin(), found.end());
    return found;
}
