// The countdown before the machine is powered off at the end of a run, and the power-off
// request itself.
#pragma once

#include <cstdint>
#include <string>

// The seconds the user has to cancel.
inline constexpr int32_t ShutdownSeconds = 30;

// The description under "Warning!", with the application title put in for the "%s".
inline constexpr const char* ShutdownDescriptionTemplate =
    "If you don't press cancel now, \n%s will\nshutdown the computer.";
std::string ShutdownDescription(const std::string& title);

// Counts 30, 29, ..., 0, one step per tick; the tick after 0 ends the countdown.
class TShutdownCountdown {
public:
    // One second passed. True when the countdown has run out (the machine is to be
    // powered off).
    bool Tick();
    int32_t SecondsLeft() const { return FCounter; }
    // "Time left: %d" with the seconds left.
    std::string TimeOutText() const;

private:
    int32_t FCounter = ShutdownSeconds;
};

// Asks the system to power off through the installed platform services, without further
// questions; the outcome is not reported (the program goes on to show the summary).
void ShutdownSystem();
