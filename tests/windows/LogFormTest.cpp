#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "GuiTestEnv.h"
#include "LogForm.h"
#include "brand/StartUp.h"

using namespace guitest;
namespace fs = std::filesystem;

namespace {

class LogWindow : public TGuiTest {
protected:
    LogWindow() { Vars.LogLines = {"#3000000000.3: x", "File load error: broken.mp3"}; }

    // Runs `answer` on the save dialog once the window's button has opened it.
    void SaveThroughDialog(TFormLog& form, std::function<void(QFileDialog&)> answer) {
        QTimer::singleShot(0, &form, [&form, answer] {
            ASSERT_TRUE(form.SaveDialog1->isVisible());
            answer(*form.SaveDialog1);
        });
        form.ButtonSave->click();
    }

    static std::vector<int> ButtonLefts(const TFormLog& form) {
        return {form.ButtonOK->x(), form.ButtonDelete->x(), form.ButtonSave->x()};
    }
};

TEST_F(LogWindow, ShowsTheLogWithItsSizesAndCentredButtons) {
    TFormLog form(Vars.LogLines);
    form.show();
    QCoreApplication::processEvents();

    EXPECT_EQ(form.windowTitle(), "Log");
    EXPECT_EQ(form.size(), QSize(483, 226));
    EXPECT_EQ(form.minimumSize(), QSize(265, 125));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.MemoLog->isReadOnly());
    EXPECT_EQ(form.MemoLog->toPlainText(), "#3000000000.3: x\nFile load error: broken.mp3");
    EXPECT_EQ(form.MemoLog->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.MemoLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.PanelBottom->height(), 40);
    EXPECT_EQ(form.MemoLog->geometry().bottom() + 1, form.PanelBottom->y());
    EXPECT_EQ(form.ButtonOK->text(), "&OK");
    EXPECT_EQ(form.ButtonDelete->text(), "&Delete Log");
    EXPECT_EQ(form.ButtonSave->text(), "&Save Log...");
    EXPECT_TRUE(form.ButtonOK->isDefault());
    for (const QPushButton* b : {form.ButtonOK, form.ButtonDelete, form.ButtonSave}) {
        EXPECT_EQ(b->size(), QSize(75, 25)) << b->objectName().toStdString();
        // The caption is not cut short.
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text().remove('&')), b->width() - 4)
            << b->objectName().toStdString();
    }

    // W / 2 - G / 2 with the group 241 wide, then 8-pixel gaps, at every size.
    const struct {
        int Width;
        std::vector<int> Lefts;
    } sizes[] = {{483, {121, 204, 287}}, {600, {180, 263, 346}}, {265, {12, 95, 178}}};
    for (const auto& s : sizes) {
        form.resize(s.Width, 226);
        QCoreApplication::processEvents();
        SCOPED_TRACE(s.Width);
        EXPECT_EQ(form.PanelBottom->width(), s.Width);
        EXPECT_EQ(ButtonLefts(form), s.Lefts);
    }

    // The save dialog's settings.
    EXPECT_EQ(form.SaveDialog1->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(form.SaveDialog1->defaultSuffix(), "log");
    EXPECT_EQ(form.SaveDialog1->nameFilters(),
              QStringList({"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*)"}));
    EXPECT_FALSE(form.SaveDialog1->testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(LogWindow, DeleteEmptiesTheLogOnlyOnYes) {
    const std::vector<std::string> before = Vars.LogLines;
    struct TCase {
        TMessageResult Answer;
        bool Deleted;
    };
    const TCase cases[] = {
        {TMessageResult::mrNo, false},
        {TMessageResult::mrCancel, false},
        {TMessageResult::mrYes, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Answer));
        Vars.LogLines = before;
        Services.Dialogs.clear();
        Services.DialogAnswer = c.Answer;
        TFormLog form(Vars.LogLines);
        form.ButtonDelete->click();

        ASSERT_EQ(Services.Dialogs.size(), 1u);
        EXPECT_EQ(Services.Dialogs[0].Text, "Really delete log file?");
        EXPECT_EQ(Services.Dialogs[0].Caption, "Delete log?");
        EXPECT_EQ(Services.Dialogs[0].Type, TMsgDlgType::mtConfirmation);
        EXPECT_EQ(Services.Dialogs[0].Buttons, mbYes | mbNo | mbCancel);
        EXPECT_EQ(Vars.LogLines.empty(), c.Deleted);
        EXPECT_EQ(form.MemoLog->toPlainText().isEmpty(), c.Deleted);
        EXPECT_EQ(form.ButtonSave->isEnabled(), !c.Deleted);
        if (!c.Deleted) {
            EXPECT_EQ(Vars.LogLines, before);
        }
    }
}

TEST_F(LogWindow, TheOldLogFileSeedsTheLogAndOutlivesDelete) {
    const std::string oldLog = OldLogFileName(ProgramPath());
    apptest::WriteFile(oldLog, "from the last session\r\nsecond line\r\n");
    LoadOldLog(oldLog, Vars.LogLines);
    Services.DialogAnswer = TMessageResult::mrYes;
    {
        TFormLog form(Vars.LogLines);
        EXPECT_EQ(form.MemoLog->toPlainText(), "from the last session\nsecond line");
        form.ButtonDelete->click();
        EXPECT_FALSE(form.ButtonSave->isEnabled());
    }
    EXPECT_TRUE(Vars.LogLines.empty());
    EXPECT_EQ(apptest::ReadFile(oldLog), "from the last session\r\nsecond line\r\n");

    // The next opening shows what was added since and can save again.
    Vars.LogLines.push_back("File has been added to convert list.");
    TFormLog again(Vars.LogLines);
    EXPECT_EQ(again.MemoLog->toPlainText(), "File has been added to convert list.");
    EXPECT_TRUE(again.ButtonSave->isEnabled());
}

TEST_F(LogWindow, SaveWritesTheChosenFile) {
    const std::string dir = apptest::FreshDir("saved");
    const std::string file = dir + "session.log";
    Vars.LogLines.push_back("Gr\xc3\xbc\xc3\x9f\x65");
    const std::vector<std::string> before = Vars.LogLines;
    TFormLog form(Vars.LogLines);
    form.show();
    SaveThroughDialog(form, [&file](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(file));
        // As the dialog's Save button does, with the dialog's own checks.
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    EXPECT_EQ(apptest::ReadFile(file),
              "#3000000000.3: x\r\nFile load error: broken.mp3\r\nGr\xc3\xbc\xc3\x9f\x65\r\n");
    EXPECT_EQ(Vars.LogLines, before);
    EXPECT_TRUE(Services.Messages.empty());

    // Cancelling the dialog writes nothing.
    fs::remove(file);
    SaveThroughDialog(form, [](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(Services.Messages.empty());
}

TEST_F(LogWindow, SaveErrorIsShownAndKeepsTheLog) {
    const std::string dir = apptest::FreshDir("unwritable");
    fs::create_directory(dir + "taken.log");
    const std::vector<std::string> before = Vars.LogLines;
    TFormLog form(Vars.LogLines);
    EXPECT_FALSE(form.SaveLogTo(dir + "taken.log"));
    ASSERT_EQ(Services.Messages.size(), 1u);
    EXPECT_EQ(Services.Messages[0].Kind, TMessageKind::mkError);
    EXPECT_EQ(Services.Messages[0].Text,
              "Cannot create file \"" + dir + "taken.log\". Is a directory");
    EXPECT_EQ(Vars.LogLines, before);
    EXPECT_EQ(form.MemoLog->toPlainText(), "#3000000000.3: x\nFile load error: broken.mp3");
    EXPECT_TRUE(form.ButtonSave->isEnabled());
}

TEST_F(LogWindow, OpensCentredOverItsOwnerAndEscapeClosesWithOk) {
    QWidget owner;
    owner.setGeometry(100, 50, 701, 571);
    owner.show();
    int result = -1;
    QRect shown;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TFormLog*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        shown = form->frameGeometry();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(form->ButtonOK, &escape);
        result = form->result();
    });
    TFormLog::Execute(&owner, Vars.LogLines);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(shown.x(), 100 + (701 - shown.width()) / 2);
    EXPECT_EQ(shown.y(), 50 + (571 - shown.height()) / 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
