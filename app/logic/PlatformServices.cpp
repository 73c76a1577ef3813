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

TMessageResult TPlatformServices::ShowMessageDialog(const std::string&, const std::string&,
                                                    TMsgDlgType, TMsgDlgButtons buttons,
                                                    const std::vector<std::string>&) {
    return ClosedDialogResult(buttons);
}

TMessageResult ShowMessageDialog(const std::string& text, const std::string& caption,
                                 TMsgDlgType type, TMsgDlgButtons buttons,
                                 const std::vector<std::string>& buttonCaptions) {
    if (Installed)
        return Installed->ShowMessageDialog(text, caption, type, buttons, buttonCaptions);
    return ClosedDialogResult(buttons);
}

TMessageResult ClosedDialogResult(TMsgDlgButtons buttons) {
    if (buttons & mbCancel)
        return TMessageResult::mrCancel;
    if (buttons & mbNo)
        return TMessageResult::mrNo;
    return TMessageResult::mrOk;
}

bool PickFolder(std::string& path, const std::string& title, const std::string& rootPath) {
    return Installed && Installed->PickFolder(path, title, rootPath);
}

void OpenWithShell(const std::string& target) {
    if (Installed)
        Installed->OpenWithShell(target);
}
