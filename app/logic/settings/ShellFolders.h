// The user's special folders and small path helpers.
#pragma once

#include <string>

// One of the user's special folders, found through the XDG conventions:
//   "AppData":  $XDG_CONFIG_HOME, else ~/.config
//   "Personal": $XDG_DOCUMENTS_DIR, else the XDG_DOCUMENTS_DIR line of the configuration
//               folder's "user-dirs.dirs", else ~/Documents, else the home folder; the
//               first of these that is an existing folder
// "/" when nothing is found or the name is unknown.
std::string GetShellFolder(const std::string& folderName);

// `path` unchanged when it ends with "/", otherwise `path` + "/".
std::string EnsureTrailingSeparator(const std::string& path);

// The per-user data folder and what went wrong while making it.
struct TDataFolder {
    std::string Folder;  // ends with "/"
    std::string Problem; // empty, or why the configuration folder could not be made
};
// The per-user data folder: `appDataFolder` + `title` + "/", created when missing, one
// level and without parents. The configuration folder it lies in is this platform's
// "AppData", which the XDG rules ask to be created when missing (mode 0700): that is done
// first, with the folders above it. When the title is empty or the data folder cannot be
// created, the configuration folder itself; when that cannot be created either, `Problem`
// says so with the reason.
TDataFolder MakeDataFolder(const std::string& appDataFolder, const std::string& title);
