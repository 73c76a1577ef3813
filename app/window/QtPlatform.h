// The desktop services of the Qt shell, and the hand-over of worker calls to the GUI thread.
#pragma once

#include <memory>

#include "MyUtils.h"
#include "PlatformServices.h"

class QIcon;
class QSoundEffect;
class TDesktopNotices;
class QWidget;

// The window a message box or dialog of the services goes over: the modal or active window,
// never the splash (which frees itself on its own timer); null when none shows.
QWidget* DialogOwner();

class TQtPlatformServices final : public TPlatformServices {
public:
    TQtPlatformServices();
    ~TQtPlatformServices() override;

    // A modal message box over DialogOwner() with the application title as caption.
    TMessageResult ShowMessage(const std::string& text, TMessageKind kind) override;
    // Files and folders open with their default application, addresses in the browser.
    void OpenWithShell(const std::string& target) override;
    // The toolkit's folder dialog cannot be limited to a subtree: a root path only serves
    // as the starting folder when `path` is empty.
    bool PickFolder(std::string& path, const std::string& title,
                    const std::string& rootPath) override;
    void PlaySoundFile(const std::string& fileName) override;
    // Asks systemd-logind over the system bus to power the machine off.
    bool PowerOff() override;
    // A modal message box over DialogOwner(); the types sound alike on this desktop.
    TMessageResult ShowMessageDialog(const std::string& text, const std::string& caption,
                                     TMsgDlgType type, TMsgDlgButtons buttons,
                                     const std::vector<std::string>& buttonCaptions) override;

    // A desktop notification over the session bus (org.freedesktop.Notifications); a click
    // on it raises the main window.
    void Notify(const std::string& title, const std::string& text) override;

private:
    std::unique_ptr<QSoundEffect> FSound;
    std::unique_ptr<TDesktopNotices> FNotices;
};

// Queued calls run on the GUI thread's event loop; a main thread that waits for workers
// runs them through Pump.
class TQtMainThreadDispatcher final : public TMainThreadDispatcher {
public:
    void Post(std::function<void()> call) override;
    void Pump() override;
};

// Makes the compiled-in pictures (the brand icons and the audio picture) available.
void InitAppResources();

// The compiled-in icon resource `name` ("a0" to "a3", any case); a null icon when there is
// no such resource.
QIcon BrandIcon(const std::string& name);
