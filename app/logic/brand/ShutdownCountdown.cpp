#include "ShutdownCountdown.h"

#include "PageTexts.h"
#include "PlatformServices.h"

std::string ShutdownDescription(const std::string& title) {
    return SubstituteTitle(ShutdownDescriptionTemplate, title);
}

bool TShutdownCountdown::Tick() {
    if (FCounter < 0)
        return true;
    --FCounter;
    return FCounter < 0;
}

std::string TShutdownCountdown::TimeOutText() const {
    return "Time left: " + std::to_string(FCounter < 0 ? 0 : FCounter);
}

void ShutdownSystem() {
    if (TPlatformServices* services = PlatformServices())
        (void)services->PowerOff();
}
