#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GuiTestEnv.h"
#include "Main.h"
#include "SecondaryWindows.h"
#include "SkinTitleBar.h"
#include "settings/IniFile.h"
#include "settings/UtilFuncs.h"

using namespace guitest;

namespace {

class HelpCommands : public TGuiTest {
protected:
    HelpCommands() { Brand("Onsby Audio Converter"); }
    ~HelpCommands() override { SecondaryWindows() = TSecondaryWindows{}; }

    std::unique_ptr<TFormMain> Open() {
        auto form = std::make_unique<TFormMain>(ProgramPath());
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }
};

TEST_F(HelpCommands, F1OnEveryStepAndTheMenuEntriesOpenTheBrandsLinks) {
    const auto form = Open();
    ASSERT_FALSE(Vars.HelpLink.empty());
    for (int page = 0; page < 4; ++page) {
        form->PageControlMain->setCurrentIndex(page);
        form->ApplyPageTexts();
        QTest::keyClick(form->NextGrid, Qt::Key_F1);
    }
    EXPECT_EQ(Services.Opened, std::vector<std::string>(4, Vars.HelpLink));

    // The menu's entries in order, with its separators.
    std::vector<std::string> entries;
    for (const QAction* action : form->PopupMenuHelp->actions())
        entries.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    EXPECT_EQ(entries,
              (std::vector<std::string>{"Help Content", "-", "Home Page", "Check for Updates...",
                                        "Contact Technical Support...", "-", "About"}));

    Services.Opened.clear();
    for (QAction* action : form->PopupMenuHelp->actions())
        if (action != form->ActionAbout)
            action->trigger();
    EXPECT_EQ(Services.Opened,
              (std::vector<std::string>{Vars.HelpLink, Vars.HomePageLink, Vars.UpdatesLink,
                                        "mailto:" + Vars.SupportMail}));
}

TEST_F(HelpCommands, TheMenuOpensJustBelowTheHelpButtonWhereverTheWindowIs) {
    const auto form = Open();
    // Positions that leave room for the menu below the button on the offscreen screen.
    for (const QPoint at : {QPoint(10, -330), QPoint(90, -280)}) {
        form->move(at);
        QCoreApplication::processEvents();
        form->ButtonHelp->click();
        QCoreApplication::processEvents();
        SCOPED_TRACE(at.x());
        EXPECT_TRUE(form->PopupMenuHelp->isVisible());
        const QPoint button = form->ButtonHelp->mapTo(form.get(), QPoint(0, 0));
        const QPoint expected =
            form->geometry().topLeft() + button + QPoint(0, form->ButtonHelp->height());
        EXPECT_EQ(form->HelpMenuPoint(), expected);
        EXPECT_EQ(form->PopupMenuHelp->pos(), expected);
        form->PopupMenuHelp->close();
    }
}

TEST_F(HelpCommands, LogAndAboutOpenTheirWindowsOverTheMainWindow) {
    const auto form = Open();
    std::vector<std::pair<std::string, QWidget*>> opened;
    // An empty table opens nothing.
    form->ButtonLog->click();
    form->ActionAbout->trigger();
    QCoreApplication::processEvents();
    SecondaryWindows().Log = [&opened](QWidget* owner) { opened.emplace_back("log", owner); };
    SecondaryWindows().About = [&opened](QWidget* owner) { opened.emplace_back("about", owner); };
    form->ButtonLog->click();
    form->ActionAbout->trigger();
    EXPECT_TRUE(opened.empty()) << "the windows open after the command has returned";
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, (std::vector<std::pair<std::string, QWidget*>>{{"log", form.get()},
                                                                     {"about", form.get()}}));
    EXPECT_TRUE(Services.Opened.empty());
}

TEST_F(HelpCommands, AltF4IsTheExitCommand) {
    const auto form = Open();
    int exits = 0;
    QObject::connect(form->ActionExit, &QAction::triggered, [&exits] { ++exits; });
    QTest::keyClick(form->NextGrid, Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(exits, 1);
}

TEST_F(HelpCommands, TheSkinsCloseButtonAndTheWindowManagerAskExitsQuestionOnEveryStep) {
    const std::pair<const char*, std::function<void(TFormMain&)>> closers[] = {
        {"skin", [](TFormMain& form) { form.TitleBar()->CloseButton()->click(); }},
        {"window manager", [](TFormMain& form) { form.windowHandle()->close(); }},
    };
    // Step 3 asks the cancel question, the others the quit question.
    const char* questions[] = {"Are you sure to quit now?", "Are you sure to quit now?",
                               "Do you really want to cancel the conversion?",
                               "Are you sure to quit now?"};
    for (const auto& [name, closeIt] : closers) {
        for (int page = 0; page < 4; ++page) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(page));
            Services.Messages.clear();
            const auto form = Open();
            form->PageControlMain->setCurrentIndex(page);
            form->ApplyPageTexts();
            Vars.OutputFormat = static_cast<uint8_t>(page + 2);
            // No: the window stays and nothing is saved.
            Services.Answer = TMessageResult::mrNo;
            closeIt(*form);
            EXPECT_TRUE(form->isVisible());
            EXPECT_EQ(Services.TextsOf(TMessageKind::mkQuestion),
                      std::vector<std::string>{questions[page]});
            // Yes: closed the way every close goes, the settings saved.
            Services.Answer = TMessageResult::mrYes;
            closeIt(*form);
            EXPECT_FALSE(form->isVisible());
            EXPECT_EQ(Services.TextsOf(TMessageKind::mkQuestion).size(), 2u);
            EXPECT_EQ(TIniFile(Vars.DataFolder + SettingsFileName)
                          .ReadInteger(SystemSection, "OutputFormat", -1),
                      page + 2);
        }
    }
}

} // namespace
