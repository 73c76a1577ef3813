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

TMessageResult ShowMessage(const std::string& text, TMessageKind kind) {
    if (Installed)
        return Installed->ShowMessage(text, kind);
    return kind == TMessageKind::mkQuestion ? TMessageResult::mrNo : TMessageResult::mrOk;
}

bool PickFolder(std::string& path, const std::string& title, const std::string& rootPath) {
    return Installed && Installed->PickFolder(path, title, rootPath);
}

void OpenWithShell(const std::string& target) {
    if (Installed)
        Installed->OpenWithShell(target);
}
