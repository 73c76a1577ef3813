#include "SourceExtensions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

// The kinds of files that are no sources, by their names for the user.
const struct {
    mode_t Mode;
    const char* Name;
} FileKindNames[] = {
    {S_IFIFO, "a FIFO (named pipe)"},
    {S_IFCHR, "a character device"},
    {S_IFBLK, "a block device"},
    {S_IFSOCK, "a socket"},
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

std::string NotRegularFileProblem(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        return "";
    for (const auto& kind : FileKindNames)
        if ((st.st_mode & S_IFMT) == kind.Mode)
            return std::string("is ") + kind.Name + ", not a regular file";
    return "is not a regular file";
}

std::vector<std::string> FindSourceFiles(const std::string& folder, std::string* error,
                                         const std::string& skipFolder,
                                         std::vector<TSearchProblem>* unreadable) {
    std::vector<std::string> found;
    std::error_code skipError;
    const fs::path skip = skipFolder.empty() ? fs::path() : fs::canonical(skipFolder, skipError);
    // Folder links are not followed, so a link back up the tree cannot loop.
    std::vector<fs::path> pending = {fs::path(folder)};
    bool top = true;
    while (!pending.empty()) {
        const fs::path dir = pending.back();
        pending.pop_back();
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            const std::string path = it->path().string();
            if (it->is_symlink(typeError) ? false : it->is_directory(typeError)) {
                if (!skip.empty() && !skipError && fs::equivalent(it->path(), skip, typeError))
                    continue;
                pending.push_back(it->path());
                continue;
            }
            if (!it->is_regular_file(typeError) || !HasPlayableExtension(path))
                continue;
            if (access(path.c_str(), R_OK) != 0) {
                if (unreadable)
                    unreadable->push_back({path, std::strerror(errno)});
                continue;
            }
            found.push_back(path);
        }
        if (ec && top && error)
            *error = ec.message();
        else if (ec && unreadable)
            unreadable->push_back({dir.string(), ec.message()});
        top = false;
    }
    std::sort(found.begin(), found.end());
    if (unreadable)
        std::sort(unreadable->begin(), unreadable->end(),
                  [](const TSearchProblem& a, const TSearchProblem& b) { return a.Path < b.Path; });
    return found;
}
