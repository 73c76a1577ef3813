#include "ModalWindow.h"

#include <QDialog>
#include <QEvent>

#include "settings/UtilFuncs.h"

namespace {

// The frame of a window is known only once it is shown: centres the window again then, with
// its outer size, and goes away.
class TCentreOnShow final : public QObject {
public:
    TCentreOnShow(QDialog& dialog, const QWidget* owner)
        : QObject(&dialog), FDialog(dialog), FOwner(owner) {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &FDialog && event->type() == QEvent::Show) {
            CentreOver(FDialog, FOwner);
            FDialog.removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QDialog& FDialog;
    const QWidget* FOwner;
};

} // namespace

void CentreOver(QDialog& dialog, const QWidget* owner) {
    if (!owner)
        return;
    const QRect area = owner->frameGeometry();
    const QRect frame = dialog.frameGeometry();
    TWindowPlacement window{frame.x(), frame.y(), frame.width(), frame.height(), false};
    CentreWindow(window, {area.x(), area.y(), area.width(), area.height()});
    dialog.move(window.Left, window.Top);
}

int ShowModalCentred(QDialog& dialog, const QWidget* owner) {
    CentreOver(dialog, owner);
    if (owner)
        new TCentreOnShow(dialog, owner);
    return dialog.exec();
}
