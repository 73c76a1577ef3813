// The small windows (failed files, log, about, shutdown countdown) live in windows/, a layer
// above the main window. The main window opens them through this table, which the program
// fills at start-up; tests fill it with their own. An entry left empty does nothing (the
// countdown then reads as cancelled).
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

struct TSecondaryWindows {
    // The failed-files window, modal and centred over `owner`, one row per entry.
    std::function<void(QWidget* owner, const std::vector<std::string>& failedFiles)>
        FailedAddFiles;
    // The log window, modal over `owner`.
    std::function<void(QWidget* owner)> Log;
    // The About window, modal over `owner`.
    std::function<void(QWidget* owner)> About;
    // The shutdown countdown, modal over `owner`: true when it ran out or was confirmed (the
    // machine is to be powered off), false when it was cancelled.
    std::function<bool(QWidget* owner)> ShutdownCountdown;
};

// The table in use, one per process.
TSecondaryWindows& SecondaryWindows();

// Runs the shutdown countdown of the table over `owner`; when it ran out, asks the system to
// power off (once). True when the power-off was asked for.
bool ShutdownAfterCountdown(QWidget* owner);
