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

// The per-user data folder: `appDataFolder` + `title` + "/", created (with its parents) when
// missing. When the title is empty or the folder cannot be created, `appDataFolder` itself.
// Both results end with "/".
std::string MakeDataFolder(const std::string& appDataFolder, const std::string& title);
