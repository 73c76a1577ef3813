// The toolkit-free part of starting the shell: brand, data folder, default settings, the
// settings file, the old log and the skin file's kind.
#pragma once

#include <string>
#include <vector>

#include "settings/globals.h"

// The application title: the brand file's "Name", the caption of every message box. Set once
// by the program entry; empty until then.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// The icon resource of the brand `title`; empty when no brand matches (the program keeps
// its default icon).
std::string BrandIconName(const std::string& title);

// On a brand match sets the four links of `vars` and returns the brand's skin file in
// `programFolder`; otherwise changes nothing and returns an empty text.
std::string ApplyBrand(TGlobalVars& vars, const std::string& title,
                       const std::string& programFolder);

// The defaults that the settings file may override: both folders the documents folder,
// MP3, every preset 0, both post-run options off.
void SetDefaultSettings(TGlobalVars& vars);

struct TShellStart {
    std::string SkinFile;         // empty: no skin to load
    bool SettingsExisted = false; // false: the settings were just written, centre the window
};
// The toolkit-free steps of the main window's creation, in their order: applies the brand,
// sets `DataFolder` (in the "AppData" folder), the defaults, reads the settings file (a
// first start writes it) and seeds the log from `oldLogFile` (none when empty). When the
// configuration folder cannot be made, a line saying so ends the log.
TShellStart StartShell(TGlobalVars& vars, const std::string& title,
                       const std::string& programFolder, const std::string& oldLogFile = "");

// The program's own path with its extension replaced by ".log".
std::string OldLogFileName(const std::string& programPath);
// When `fileName` exists, its lines replace `lines`; when reading it fails, `lines` is
// emptied.
void LoadOldLog(const std::string& fileName, std::vector<std::string>& lines);

// How a skin file is read, decided by its extension in lower case.
enum class TSkinKind { skNone, skPlain, skCompressed };
TSkinKind SkinKindOf(const std::string& fileName);
