#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
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
