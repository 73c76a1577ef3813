// The settings file and the window placement, plus the shared shell helpers (special
// folders, trailing separators, folder picker, shell open).
#pragma once

#include <string>

#include "PlatformServices.h"
#include "ShellFolders.h"
#include "globals.h"

// The settings file in the per-user data folder.
inline constexpr const char* SettingsFileName = "~system3.dat";
inline constexpr const char* SystemSection = "System";
inline constexpr const char* FormSection = "Form";

// The most conversions that run side by side: the number of cores (at least 1).
int32_t SimultaneousConversionsLimit();
// `count` limited to 1 to SimultaneousConversionsLimit().
int32_t ClampSimultaneousConversions(int64_t count);

// `DataFolder` + the settings file name.
std::string SettingsFilePath(const TGlobalVars& vars);

// Reads section "System" into `vars`, each key with the field's current value as its
// default. When the file does not exist, writes the current values instead and returns
// false (a write failure is not raised here: start-up goes on and closing reports it).
bool LoadSettings(TGlobalVars& vars);
// Writes section "System" from `vars`. Raises EIniFileException when the file cannot be
// written.
void SaveSettings(const TGlobalVars& vars);

// A window's outer bounds and state, as the window code reads and applies them.
struct TWindowPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
};

// The primary screen's rectangle in pixels.
struct TScreenRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// Reads the placement stored in `section` (the window's current values are the defaults),
// fits it onto `screen` and stores it in `window`. Always true.
bool LoadPlacement(const TGlobalVars& vars, const std::string& section, TWindowPlacement& window,
                   const TScreenRect& screen);
// Writes "x", "y", "height", "width" and "maximized" of `window` into `section`. Raises
// EIniFileException when the file cannot be written.
void SavePlacement(const TGlobalVars& vars, const std::string& section,
                   const TWindowPlacement& window);

// Moves `window` to the middle of `screen` (divisions truncating toward zero).
void CentreWindow(TWindowPlacement& window, const TScreenRect& screen);
