#include "PlatformServices.h"

namespace {

TPlatformServices* Installed = nullptr;

} // namespace

TPlatformServices* PlatformServices() {
    return Installed;
}

void InstallPlatformServices(TPlatformServices* services) {
    Installed = services;
}

bool PickFolder(std::string& path, const std::string& title, const std::string& rootPath) {
    return Installed && Installed->PickFolder(path, title, rootPath);
}

void OpenWithShell(const std::string& target) {
    if (Installed)
        Installed->OpenWithShell(target);
}
