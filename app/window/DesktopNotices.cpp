#include "DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "brand/StartUp.h"

namespace {

constexpr const char* NoticeService = "org.freedesktop.Notifications";
constexpr const char* NoticePath = "/org/freedesktop/Notifications";
constexpr const char* NoticeInterface = "org.freedesktop.Notifications";

} // namespace

TDesktopNotices::TDesktopNotices() {
    QDBusConnection::sessionBus().connect(NoticeService, NoticePath, NoticeInterface,
                                          "ActionInvoked", this,
                                          SLOT(ActionInvoked(uint, QString)));
}

void TDesktopNotices::Notify(const std::string& title, const std::string& text, QWidget* window) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    FWindow = window;
    QDBusMessage call =
        QDBusMessage::createMethodCall(NoticeService, NoticePath, NoticeInterface, "Notify");
    QVariantMap hints;
    hints.insert("desktop-entry", QString(DesktopId));
    call << QString::fromStdString(ApplicationTitle())
         << FLastId            // replaces the previous notice of this program
         << QString(DesktopId) // app_icon: the icon installed under the id
         << QString::fromStdString(title) << QString::fromStdString(text)
         << QStringList{"default", "Show"} << hints << -1;
    // Not waited for: a missing or slow notification server holds nothing up.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> reply = *done;
                if (!reply.isError())
                    FLastId = reply.value();
                done->deleteLater();
            });
}

void TDesktopNotices::ActionInvoked(uint id, const QString& action) {
    if (id != FLastId || action != "default" || !FWindow)
        return;
    FWindow->showNormal();
    FWindow->raise();
    FWindow->activateWindow();
}

void ShowDockProgress(double share, bool visible) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QString("/") + QString(DesktopId).replace('.', '/'),
                                   "com.canonical.Unity.LauncherEntry", "Update");
    QVariantMap properties;
    properties.insert("progress", share < 0 ? 0.0 : (share > 1 ? 1.0 : share));
    properties.insert("progress-visible", visible);
    signal << QString("application://") + DesktopId + ".desktop" << properties;
    bus.send(signal);
}
