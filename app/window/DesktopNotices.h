// The desktop's notices over the session bus: a notification through
// org.freedesktop.Notifications (clicking it raises the window that sent it) and the dock's
// progress through the com.canonical.Unity.LauncherEntry signal, which GNOME's and KDE's docks
// follow. Without a session bus, or without a notification server, nothing is shown.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <string>

// The desktop id of the program: the desktop file's name without ".desktop".
inline constexpr const char* DesktopId = "org.example.audioconv";

class TDesktopNotices final : public QObject {
    Q_OBJECT
public:
    TDesktopNotices();
    // Sends a notification; its default action (a click on it) raises `window`.
    void Notify(const std::string& title, const std::string& text, QWidget* window);

private slots:
    void ActionInvoked(uint id, const QString& action);

private:
    uint FLastId = 0;
    QPointer<QWidget> FWindow;
};

// The dock's progress bar of the program's icon: `share` 0 to 1, shown while `visible`.
void ShowDockProgress(double share, bool visible);
