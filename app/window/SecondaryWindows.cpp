#include "SecondaryWindows.h"

#include "brand/ShutdownCountdown.h"

TSecondaryWindows& SecondaryWindows() {
    static TSecondaryWindows windows;
    return windows;
}

bool ShutdownAfterCountdown(QWidget* owner) {
    const auto& countdown = SecondaryWindows().ShutdownCountdown;
    if (!countdown || !countdown(owner))
        return false;
    ShutdownSystem();
    return true;
}
