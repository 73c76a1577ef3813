#include "QtPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSoundEffect>
#include <QUrl>

#include "DesktopNotices.h"
#include "brand/StartUp.h"

QWidget* DialogOwner() {
    // The splash closes and frees itself on its own timer: a box it owned would be freed
    // under the box's own event loop. Boxes go over the active window unless that is the
    // splash, else over the first visible window that is not one.
    const auto usable = [](QWidget* w) {
        return w != nullptr && w->isVisible() && w->windowType() != Qt::SplashScreen;
    };
    if (QWidget* modal = QApplication::activeModalWidget(); usable(modal))
        return modal;
    if (QWidget* active = QApplication::activeWindow(); usable(active))
        return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (usable(w) && w->isWindow())
            return w;
    return nullptr;
}

namespace {

// A message box on the heap, guarded: if its owner is freed while the box runs, the box
// goes with it and nothing is freed twice.
class TGuardedBox {
public:
    TGuardedBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                QMessageBox::StandardButtons buttons)
        : FBox(new QMessageBox(icon, caption, text, buttons, DialogOwner())) {}
    ~TGuardedBox() { delete FBox.data(); }
    TGuardedBox(const TGuardedBox&) = delete;
    TGuardedBox& operator=(const TGuardedBox&) = delete;
    QMessageBox* operator->() const { return FBox.data(); }
    // Runs the box; Cancel's code when it was freed while it ran.
    int Exec() { return FBox ? FBox->exec() : QMessageBox::Cancel; }
    bool Alive() const { return !FBox.isNull(); }

private:
    QPointer<QMessageBox> FBox;
};

} // namespace

TQtPlatformServices::TQtPlatformServices() = default;
TQtPlatformServices::~TQtPlatformServices() = default;

TMessageResult TQtPlatformServices::ShowMessage(const std::string& text, TMessageKind kind) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
    case TMessageKind::mkInformation:
        break;
    case TMessageKind::mkQuestion:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case TMessageKind::mkWarning:
        icon = QMessageBox::Warning;
        break;
    case TMessageKind::mkError:
        icon = QMessageBox::Critical;
        break;
    }
    TGuardedBox box(icon, QString::fromStdString(ApplicationTitle()), QString::fromStdString(text),
                    buttons);
    switch (box.Exec()) {
    case QMessageBox::Yes:
        return TMessageResult::mrYes;
    case QMessageBox::No:
        return TMessageResult::mrNo;
    default:
        return kind == TMessageKind::mkQuestion ? TMessageResult::mrNo : TMessageResult::mrOk;
    }
}

void TQtPlatformServices::OpenWithShell(const std::string& target) {
    if (target.empty())
        return;
    const QUrl url = QUrl::fromUserInput(QString::fromStdString(target), QDir::currentPath(),
                                         QUrl::AssumeLocalFile);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

bool TQtPlatformServices::PickFolder(std::string& path, const std::string& title,
                                     const std::string& rootPath) {
    const std::string start = path.empty() ? rootPath : path;
    const QString chosen =
        QFileDialog::getExistingDirectory(DialogOwner(), QString::fromStdString(title),
                                          QString::fromStdString(start), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    path = QDir::toNativeSeparators(chosen).toStdString();
    return true;
}

void TQtPlatformServices::PlaySoundFile(const std::string& fileName) {
    if (!FSound)
        FSound = std::make_unique<QSoundEffect>();
    FSound->stop();
    FSound->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    FSound->play();
}

bool TQtPlatformServices::PowerOff() {
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "PowerOff");
    call << false; // not interactive: no authentication prompt
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    return reply.type() != QDBusMessage::ErrorMessage;
}

namespace {

QMessageBox::Icon DialogIcon(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

// The dialog's buttons in the order they stand and their captions are replaced.
struct TDialogButton {
    TMsgDlgButton Button;
    QMessageBox::StandardButton Standard;
    TMessageResult Result;
};
constexpr TDialogButton DialogButtons[] = {
    {mbYes, QMessageBox::Yes, TMessageResult::mrYes},
    {mbNo, QMessageBox::No, TMessageResult::mrNo},
    {mbOK, QMessageBox::Ok, TMessageResult::mrOk},
    {mbCancel, QMessageBox::Cancel, TMessageResult::mrCancel},
};

} // namespace

TMessageResult
TQtPlatformServices::ShowMessageDialog(const std::string& text, const std::string& caption,
                                       TMsgDlgType type, TMsgDlgButtons buttons,
                                       const std::vector<std::string>& buttonCaptions) {
    TGuardedBox box(DialogIcon(type), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton);
    size_t replaced = 0;
    for (const TDialogButton& b : DialogButtons) {
        if (!(buttons & b.Button))
            continue;
        QPushButton* button = box->addButton(b.Standard);
        button->setObjectName(QString("DialogButton%1").arg(static_cast<int>(b.Button)));
        if (replaced < buttonCaptions.size())
            button->setText(QString::fromStdString(buttonCaptions[replaced++]));
    }
    QApplication::beep();
    box.Exec();
    if (!box.Alive())
        return ClosedDialogResult(buttons);
    for (const TDialogButton& b : DialogButtons)
        if (box->clickedButton() && box->clickedButton() == box->button(b.Standard))
            return b.Result;
    return ClosedDialogResult(buttons);
}

void TQtPlatformServices::Notify(const std::string& title, const std::string& text) {
    if (!FNotices)
        FNotices = std::make_unique<TDesktopNotices>();
    // A click on the notice brings back the window the run belongs to.
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() != Qt::SplashScreen && !w->parentWidget()) {
            window = w;
            break;
        }
    FNotices->Notify(title, text, window);
}

void TQtMainThreadDispatcher::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

void TQtMainThreadDispatcher::Pump() {
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
}

// Q_INIT_RESOURCE may not stand inside a namespace.
static void InitResourcesOnce() {
    Q_INIT_RESOURCE(resources);
}

void InitAppResources() {
    static const bool done = (InitResourcesOnce(), true);
    (void)done;
}

QIcon BrandIcon(const std::string& name) {
    InitAppResources();
    const QString file = ":/icons/" + QString::fromStdString(name).toLower() + ".png";
    return QFile::exists(file) ? QIcon(file) : QIcon();
}
