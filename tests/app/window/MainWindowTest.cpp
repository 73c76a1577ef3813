#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "FFLoad.h"
#include "GuiTestEnv.h"
#include "Main.h"
#include "SkinTitleBar.h"
#include "log/FFLog.h"
#include "settings/IniFile.h"
#include "settings/UtilFuncs.h"

using namespace guitest;

namespace {

class MainWindow : public TGuiTest {
protected:
    std::unique_ptr<TFormMain> Open() {
        auto form = std::make_unique<TFormMain>(ProgramPath());
        form->show();
        QCoreApplication::processEvents();
        return form;
    }
    std::string SettingsFile() const { return Vars.DataFolder + SettingsFileName; }
};

TEST_F(MainWindow, BrandedFirstStartIsSkinnedCentredAndWritesTheDefaults) {
    Brand("Fenwary Converter");
    CopyShippedSkins();
    const auto form = Open();

    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->ClientArea()->size(), QSize(MainClientWidth, MainClientHeight));
    EXPECT_TRUE(form->windowTitle().isEmpty());
    EXPECT_EQ(form->TitleBar()->Caption()->text(), "Fenwary Converter");
    EXPECT_EQ(form->SkinFileName(), Program + "sounds/skin5/skin.ini");
    EXPECT_EQ(form->LabelFinishTitle1->text(), "Fenwary Converter has finished the conversion.");
    EXPECT_EQ(form->LabelFinishTitle2->text(),
              "To convert other files, click \"Finish\". Click \"Exit\" to quit Fenwary "
              "Converter.");
    EXPECT_EQ(Vars.HomePageLink, "https://fenwary.example/");
    EXPECT_EQ(Vars.SupportMail, "support@fenwary.example");

    // The settings live in the brand's own folder and were written with the defaults.
    EXPECT_EQ(Vars.DataFolder, Config + "Fenwary Converter/");
    const TIniFile settings(SettingsFile());
    EXPECT_EQ(settings.ReadInteger(SystemSection, "OutputFormat", -1), 1);
    EXPECT_EQ(settings.ReadString(SystemSection, "OutputFileDir", ""),
              Documents.substr(0, Documents.size() - 1));
    EXPECT_EQ(settings.ReadInteger(SystemSection, "PlayASoundWhenFinished", -1), 0);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form->x(), screen.x() + (screen.width() - form->width()) / 2);
    EXPECT_EQ(form->y(), screen.y() + (screen.height() - form->height()) / 2);

    // The libraries loaded: the steps change only by command now.
    EXPECT_FALSE(form->PageControlMain->tabBar()->isVisible());
    EXPECT_EQ(form->PageControlMain->currentIndex(), 0);
    EXPECT_EQ(form->PageControlMain->count(), 4);
    EXPECT_TRUE(Services.Messages.empty());
}

TEST_F(MainWindow, WithoutBrandFileNothingIsBrandedAndSettingsLieInTheConfigurationFolder) {
    CopyShippedSkins();
    const auto form = Open();
    EXPECT_EQ(form->SkinFileName(), "");
    EXPECT_EQ(form->TitleBar()->Caption()->text(), "");
    EXPECT_EQ(form->LabelFinishTitle1->text(), " has finished the conversion.");
    EXPECT_EQ(Vars.HelpLink, "");
    EXPECT_EQ(Vars.DataFolder, Config);
    EXPECT_TRUE(std::filesystem::exists(Config + SettingsFileName));
}

struct TPageCase {
    int Page;
    const char* Title;
    bool BackEnabled;
    const char* Next;
    bool NextEnabled;
    const char* Exit;
};

TEST_F(MainWindow, EachPageShowsItsTextsOnTheBottomRow) {
    const TPageCase cases[] = {
        {0,
         "Select the audios/videos you want to convert. Use \"Move Up\" and \"Move Down\" to "
         "change the order.",
         false, "&Next", true, "E&xit"},
        {1, "Select an output mode and specify a path for the output files.", true, "Con&vert",
         true, "&Cancel"},
        {2, "Conversion information.", false, "&Next", false, "&Cancel"},
        {3, "The conversion is finished.", false, "&Finish", true, "E&xit"},
    };
    const auto form = Open();
    // The captions carry their mnemonics (Alt and the underlined letter).
    EXPECT_EQ(form->ButtonHelp->text(), "&Help");
    EXPECT_EQ(form->ButtonLog->text(), "&Log");
    // Visit the pages out of order so that every state is set, not left over.
    for (const int order : {3, 1, 2, 0, 1, 3}) {
        const TPageCase& c = cases[order];
        form->PageControlMain->setCurrentIndex(c.Page);
        form->ApplyPageTexts();
        SCOPED_TRACE(c.Page);
        EXPECT_EQ(form->LabelTitle->text(), c.Title);
        EXPECT_EQ(form->ButtonBack->text(), "&Back");
        EXPECT_EQ(form->ButtonBack->isEnabled(), c.BackEnabled);
        EXPECT_EQ(form->ButtonNext->text(), c.Next);
        EXPECT_EQ(form->ButtonNext->isEnabled(), c.NextEnabled);
        EXPECT_EQ(form->ButtonExit->text(), c.Exit);
        EXPECT_TRUE(form->ButtonExit->isEnabled());
        EXPECT_EQ(form->ActionNext->text(), c.Next);
    }
    EXPECT_EQ(form->ActionExit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    EXPECT_EQ(form->ActionHelpContent->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST_F(MainWindow, StartWithoutUsableLibrariesKeepsTheTabsAndLogsTheLoaderError) {
    // A library file that is no library: loading stops at the first one.
    FFLoader->Unload(AllLibraries);
    std::filesystem::create_directories(Program + "lib");
    const std::string broken = Program + "lib/" + FFLoader->LibraryFileName(LibSwResample);
    apptest::WriteFile(broken, "not a shared object");
    Vars.LogLines.push_back("kept");

    const auto form = Open();
    EXPECT_TRUE(form->PageControlMain->tabBar()->isVisible());
    EXPECT_EQ(form->PageControlMain->currentIndex(), 0);
    EXPECT_EQ(form->ButtonNext->text(), "&Next");
    EXPECT_FALSE(form->ButtonBack->isEnabled());
    ASSERT_FALSE(Vars.LogLines.empty());
    EXPECT_EQ(Vars.LogLines.back(), FFLoader->LastErrMsg());
    EXPECT_EQ(Vars.LogLines.back().rfind("Load library " + broken + " error: ", 0), 0u)
        << Vars.LogLines.back();
    EXPECT_TRUE(Services.Messages.empty());
    FFLoader->Unload(AllLibraries);
}

TEST_F(MainWindow, OldLogAndLoggerLinesFillTheApplicationLog) {
    apptest::WriteFile(ProgramPath() + ".log", "first\r\nsecond\r\n");
    const auto form = Open();
    ASSERT_GE(Vars.LogLines.size(), 2u);
    EXPECT_EQ(Vars.LogLines[0], "first");
    EXPECT_EQ(Vars.LogLines[1], "second");
    FFLogger()->Log(nullptr, llError, "from the logger");
    EXPECT_EQ(Vars.LogLines.back(),
              "#" + std::to_string(CurrentThreadID()) + ".3: from the logger");
}

TEST_F(MainWindow, ClosingSavesSettingsAndPlacementForTheNextStart) {
    {
        const auto form = Open();
        Vars.OutputFormat = 6;
        Vars.PresetIndex[5] = 2;
        Vars.PlayASoundWhenFinished = true;
        Vars.OutputFileDir = Documents + "out/";
        form->move(30, 20);
        form->resize(700, 560);
        QCoreApplication::processEvents();
        Services.Answer = TMessageResult::mrYes; // the quit question
        EXPECT_TRUE(form->close());
        Services.Messages.clear();
    }
    const TIniFile settings(Vars.DataFolder + SettingsFileName);
    EXPECT_EQ(settings.ReadInteger(SystemSection, "OutputFormat", -1), 6);
    EXPECT_EQ(settings.ReadInteger(SystemSection, "OutputM4APreset", -1), 2);
    EXPECT_EQ(settings.ReadInteger(FormSection, "x", -1), 30);
    EXPECT_EQ(settings.ReadInteger(FormSection, "y", -1), 20);
    EXPECT_EQ(settings.ReadInteger(FormSection, "width", -1), 700);
    EXPECT_EQ(settings.ReadInteger(FormSection, "height", -1), 560);
    EXPECT_EQ(settings.ReadInteger(FormSection, "maximized", -1), 0);

    // The next start reads them back.
    TGlobalVars next;
    GlobalVars = &next;
    const auto again = Open();
    EXPECT_EQ(next.OutputFormat, 6);
    EXPECT_EQ(next.PresetIndex[5], 2);
    EXPECT_TRUE(next.PlayASoundWhenFinished);
    EXPECT_EQ(next.OutputFileDir, Documents + "out/");
    EXPECT_EQ(again->geometry(), QRect(30, 20, 700, 560));
    EXPECT_TRUE(Services.Messages.empty());
    GlobalVars = &Vars;
}

TEST_F(MainWindow, SaveErrorIsShownAndTheWindowClosesAnyway) {
    const auto form = Open();
    // The settings file cannot be written when a folder stands in its place.
    std::filesystem::remove(SettingsFile());
    std::filesystem::create_directory(SettingsFile());
    Services.Answer = TMessageResult::mrYes; // the quit question
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(Services.Messages.size(), 2u);
    EXPECT_EQ(Services.Messages[0].Kind, TMessageKind::mkQuestion);
    EXPECT_EQ(Services.Messages[1].Kind, TMessageKind::mkError);
    EXPECT_NE(Services.Messages[1].Text.find(SettingsFile()), std::string::npos)
        << Services.Messages[1].Text;
}

} // namespace
