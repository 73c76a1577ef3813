// The main window used without a mouse and by the desktop's tools: the Tab order of every
// step, the grid's single Tab stop and its Enter, the guard around every handler, and the
// placement a new start takes.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <stdexcept>

#include "GuiTestEnv.h"
#include "Main.h"
#include "MediaFixture.h"
#include "settings/IniFile.h"

using namespace guitest;

namespace {

class WindowKeyboard : public TGuiTest {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        const std::string dir = testmedia::TempDir("app/window-keyboard");
        for (int i = 0; i < 2; ++i) {
            Sources.push_back(
                testmedia::Make(dir + "/tone" + std::to_string(i) + ".mp3",
                                "-f lavfi -i sine=frequency=" + std::to_string(400 + 100 * i) +
                                    ":duration=1 -ac 1 -ar 22050 -c:a libmp3lame -b:a 64k"));
            ASSERT_FALSE(Sources.back().empty());
        }
    }

    std::unique_ptr<TFormMain> Open() {
        auto form = std::make_unique<TFormMain>(ProgramPath());
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }

    void AddRows(TFormMain& form) {
        form.AddSourceFiles(Sources);
        while (form.SourceBatchRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(form.SourceFilePaths().size(), Sources.size());
    }

    // The object names of the focus stops Tab reaches from `first` until it comes back to
    // it (at most 40 presses).
    static std::vector<std::string> TabStops(QWidget* first) {
        first->setFocus(Qt::TabFocusReason);
        std::vector<std::string> stops;
        for (int i = 0; i < 40; ++i) {
            QWidget* focused = QApplication::focusWidget();
            if (!focused)
                break;
            if (!stops.empty() && focused == first)
                break;
            EXPECT_TRUE(focused->isVisible()) << focused->objectName().toStdString();
            stops.push_back(focused->objectName().toStdString());
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        return stops;
    }

    std::vector<std::string> Sources;
};

TEST_F(WindowKeyboard, TabVisitsEachStepsControlsInVisualOrderAndNeverAHiddenOne) {
    const auto form = Open();
    AddRows(*form);
    form->NextGrid->selectRow(0);
    // Step 1: the grid once, the list's buttons that can act, the bottom row.
    EXPECT_EQ(TabStops(form->NextGrid),
              (std::vector<std::string>{"NextGrid", "ButtonAdd", "ButtonDelete", "ButtonClear",
                                        "ButtonMoveDown", "ButtonPlay", "ButtonHelp", "ButtonLog",
                                        "ButtonNext", "ButtonExit"}));
    // Shift+Tab goes the other way.
    form->NextGrid->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form->NextGrid, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonExit);

    // Step 2: folder, picker, the formats (the chosen one is disabled), its presets, the count.
    form->ActionNext->trigger();
    ASSERT_EQ(form->PageControlMain->currentIndex(), 1);
    // The formats are one group and one Tab stop (the arrows move inside it), entered at its
    // first button that can be pressed.
    std::vector<std::string> step2{"EditOutputDir", "ButtonSelectDir"};
    for (QPushButton* b : form->FormatButtons)
        if (b->isEnabled()) {
            step2.push_back(b->objectName().toStdString());
            break;
        }
    const int chosen = form->PresetStack->currentIndex();
    step2.insert(step2.end(), {form->PresetLists[chosen]->objectName().toStdString(),
                               "SpinSimultaneousConversions", "ButtonHelp", "ButtonLog",
                               "ButtonBack", "ButtonNext", "ButtonExit"});
    EXPECT_EQ(TabStops(form->EditOutputDir), step2);

    // Steps 3 and 4 as the run and the summary show them.
    form->PageControlMain->setCurrentIndex(2);
    form->ApplyPageTexts();
    EXPECT_EQ(
        TabStops(form->ListViewConverting),
        (std::vector<std::string>{"ListViewConverting", "CheckBoxPlayASound", "CheckBoxShutdown",
                                  "ButtonHelp", "ButtonLog", "ButtonExit"}));
    form->PageControlMain->setCurrentIndex(3);
    form->ApplyPageTexts();
    EXPECT_EQ(TabStops(form->LabelOpenFolder),
              (std::vector<std::string>{"LabelOpenFolder", "ButtonHelp", "ButtonLog", "ButtonNext",
                                        "ButtonExit"}));
    EXPECT_EQ(form->PageControlMain->tabBar()->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowKeyboard, ArrowsMoveInsideTheGridAndEnterPlaysTheRow) {
    const auto form = Open();
    AddRows(*form);
    form->NextGrid->setFocus(Qt::TabFocusReason);
    form->NextGrid->selectRow(0);
    QTest::keyClick(form->NextGrid, Qt::Key_Down);
    EXPECT_EQ(form->NextGrid->currentIndex().row(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form->NextGrid);
    QTest::keyClick(form->NextGrid, Qt::Key_Return);
    EXPECT_EQ(Services.Opened, std::vector<std::string>{Sources[1]});
}

TEST_F(WindowKeyboard, ChoosingAFormatWithSpaceLeavesTheFocusOnItsPresets) {
    const auto form = Open();
    AddRows(*form);
    form->ActionNext->trigger();
    QPushButton* flac = form->FormatButtons[6];
    ASSERT_TRUE(flac->isEnabled());
    flac->setFocus(Qt::TabFocusReason);
    QTest::keyClick(flac, Qt::Key_Space);
    EXPECT_EQ(Vars.OutputFormat, 6);
    EXPECT_EQ(QApplication::focusWidget(), form->PresetLists[6]);
}

TEST_F(WindowKeyboard, AThrowingHandlerIsReportedAndLoggedInsteadOfAborting) {
    QPushButton button("Throw");
    QObject::connect(&button, &QPushButton::clicked,
                     [] { throw std::logic_error("Cannot SetOpenOnStart while working."); });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(Services.TextsOf(TMessageKind::mkError),
              std::vector<std::string>{"Cannot SetOpenOnStart while working."});
    ASSERT_FALSE(Vars.LogLines.empty());
    EXPECT_NE(Vars.LogLines.back().find("Cannot SetOpenOnStart while working."), std::string::npos);
    // A queued call is guarded the same way.
    QMetaObject::invokeMethod(
        &button, [] { throw std::runtime_error("queued"); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkError).size(), 2u);
}

TEST_F(WindowKeyboard, APlacementOffEveryScreenIsCentredAndAMaximisedOneRestoresItsSize) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct TCase {
        const char* Name;
        int X, Y;
        bool Maximized;
        bool Kept; // the stored position is used as it stands
    };
    const TCase cases[] = {
        {"on the screen", screen.x() + 20, screen.y() + 10, false, true},
        {"off every screen", screen.right() + 5000, screen.bottom() + 5000, false, false},
        {"maximised", screen.x() + 30, screen.y() + 15, true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        {
            const auto first = Open(); // writes the settings file
        }
        TIniFile(SettingsFilePath(Vars))
            .WriteValues({{FormSection, "x", std::to_string(c.X)},
                          {FormSection, "y", std::to_string(c.Y)},
                          {FormSection, "width", "600"},
                          {FormSection, "height", "500"},
                          {FormSection, "maximized", c.Maximized ? "1" : "0"}});
        const auto form = Open();
        EXPECT_EQ(form->isMaximized(), c.Maximized);
        const QRect normal = c.Maximized ? form->normalGeometry() : form->geometry();
        EXPECT_EQ(normal.size(), QSize(600, 500));
        EXPECT_TRUE(screen.intersects(normal));
        if (c.Kept)
            EXPECT_EQ(normal.topLeft(), QPoint(c.X, c.Y));
        else
            EXPECT_EQ(normal.center(), screen.center()) << "centred";
        // Closed maximised, it stores the size it restores to.
        Services.Answer = TMessageResult::mrYes;
        form->close();
        const TIniFile stored(SettingsFilePath(Vars));
        EXPECT_EQ(stored.ReadInteger(FormSection, "width", -1), 600);
        EXPECT_EQ(stored.ReadInteger(FormSection, "maximized", -1), c.Maximized ? 1 : 0);
    }
}

} // namespace
