#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "GuiTestEnv.h"
#include "QtPlatform.h"

using namespace guitest;

namespace {

struct TSeen {
    std::string Caption;
    std::string Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    std::vector<std::string> Buttons;
};

// Shows the desktop's message dialog and answers it with `answer` once it is up.
TMessageResult Ask(TSeen& seen, TMsgDlgType type, TMsgDlgButtons buttons,
                   const std::vector<std::string>& captions,
                   std::function<void(QMessageBox&)> answer) {
    App();
    QTimer::singleShot(0, [&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.Caption = box->windowTitle().toStdString();
        seen.Text = box->text().toStdString();
        seen.Icon = box->icon();
        for (QAbstractButton* button : box->buttons())
            seen.Buttons.push_back(button->text().remove('&').toStdString());
        std::sort(seen.Buttons.begin(), seen.Buttons.end());
        answer(*box);
    });
    TQtPlatformServices services;
    return services.ShowMessageDialog("Really delete log file?", "Delete log?", type, buttons,
                                      captions);
}

QAbstractButton* ButtonNamed(QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons())
        if (button->text().remove('&') == text)
            return button;
    return nullptr;
}

TEST(MessageDialog, ShowsTheQuestionAndReturnsTheChosenButton) {
    struct TCase {
        const char* Click;
        TMessageResult Result;
    };
    for (const TCase& c : {TCase{"Yes", TMessageResult::mrYes}, TCase{"No", TMessageResult::mrNo},
                           TCase{"Cancel", TMessageResult::mrCancel}}) {
        SCOPED_TRACE(c.Click);
        TSeen seen;
        const TMessageResult result = Ask(seen, TMsgDlgType::mtConfirmation,
                                          mbYes | mbNo | mbCancel, {}, [&c](QMessageBox& box) {
                                              QAbstractButton* button = ButtonNamed(box, c.Click);
                                              ASSERT_NE(button, nullptr);
                                              button->click();
                                          });
        EXPECT_EQ(result, c.Result);
        EXPECT_EQ(seen.Caption, "Delete log?");
        EXPECT_EQ(seen.Text, "Really delete log file?");
        EXPECT_EQ(seen.Icon, QMessageBox::Question);
        EXPECT_EQ(seen.Buttons, (std::vector<std::string>{"Cancel", "No", "Yes"}));
    }
}

TEST(MessageDialog, EscapeReadsAsCancelAndCaptionsCanBeReplaced) {
    TSeen seen;
    const TMessageResult result =
        Ask(seen, TMsgDlgType::mtWarning, mbYes | mbCancel, {"Keep going"}, [](QMessageBox& box) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&box, &escape);
        });
    EXPECT_EQ(result, TMessageResult::mrCancel);
    EXPECT_EQ(seen.Icon, QMessageBox::Warning);
    // The first button (Yes) carries the replacement; the rest keep theirs.
    EXPECT_EQ(seen.Buttons, (std::vector<std::string>{"Cancel", "Keep going"}));
}

} // namespace

// A splash closes and frees itself on its own timer; a question asked while it is the active
// window must not belong to it, and a box whose owner is freed while it runs must not be
// freed twice.
TEST(MessageDialog, NeverBelongsToTheSplashAndSurvivesItsOwnerClosing) {
    App();
    auto* owner = new QWidget;
    owner->setAttribute(Qt::WA_DeleteOnClose);
    owner->show();
    auto* splash = new QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    splash->activateWindow();
    QApplication::processEvents();

    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&parent, splash] {
        parent = QApplication::activeModalWidget()->parentWidget();
        splash->close();
    });
    QTimer::singleShot(50, [&parent] {
        // The box is still up after the splash went: its owner now closes under it.
        ASSERT_NE(QApplication::activeModalWidget(), nullptr);
        parent->close();
    });
    QPointer<QWidget> watched(owner);
    TQtPlatformServices services;
    const TMessageResult result =
        services.ShowMessage("Are you sure to quit now?", TMessageKind::mkQuestion);
    EXPECT_EQ(parent, owner);
    EXPECT_EQ(result, TMessageResult::mrNo);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());
}
