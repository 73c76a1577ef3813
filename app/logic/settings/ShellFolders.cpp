#include "ShellFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::string NothingFound = "/";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    return home;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string ConfigFolder() {
    // Relative values are to be ignored, as the XDG base directory rules say.
    const std::string config = Env("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/')
        return config;
    const std::string home = HomeFolder();
    return home.empty() ? "" : EnsureTrailingSeparator(home) + ".config";
}

// The value of a line `XDG_DOCUMENTS_DIR="$HOME/..."` or `XDG_DOCUMENTS_DIR="/..."`.
std::string UserDirsDocuments(const std::string& configFolder) {
    if (configFolder.empty())
        return "";
    std::ifstream in(EnsureTrailingSeparator(configFolder) + "user-dirs.dirs");
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = HomeFolder() + value.substr(5);
        return value.empty() || value.front() != '/' ? "" : value;
    }
    return "";
}

// Without a documents folder the home folder serves: the default output folder must be one
// the user can write to.
std::string DocumentsFolder() {
    const std::string home = HomeFolder();
    for (const std::string& candidate :
         {Env("XDG_DOCUMENTS_DIR"), UserDirsDocuments(ConfigFolder()),
          home.empty() ? std::string() : EnsureTrailingSeparator(home) + "Documents", home})
        if (IsFolder(candidate))
            return candidate;
    return "";
}

} // namespace

std::string GetShellFolder(const std::string& folderName) {
    std::string folder;
    if (folderName == "AppData")
        folder = ConfigFolder();
    else if (folderName == "Personal")
        folder = DocumentsFolder();
    return folder.empty() ? NothingFound : folder;
}

std::string EnsureTrailingSeparator(const std::string& path) {
    return !path.empty() && path.back() == '/' ? path : path + "/";
}

TDataFolder MakeDataFolder(const std::string& appDataFolder, const std::string& title) {
    TDataFolder result;
    const std::string base = EnsureTrailingSeparator(appDataFolder);
    result.Folder = base;
    std::error_code ec;
    if (!IsFolder(base)) {
        if (fs::create_directories(base, ec))
            fs::permissions(base, fs::perms::owner_all, ec);
        if (!IsFolder(base)) {
            result.Problem = "Cannot create the configuration folder " + base + ": " +
                             (ec ? ec.message() : "it is no folder");
            return result;
        }
    }
    if (title.empty())
        return result;
    const std::string folder = EnsureTrailingSeparator(base + title);
    fs::create_directory(folder, ec);
    if (IsFolder(folder))
        result.Folder = folder;
    return result;
}
