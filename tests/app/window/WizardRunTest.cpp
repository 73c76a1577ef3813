// Steps 2 to 4 of the main window and the wizard's commands: the output page, the questions
// and notices of Next, Back and Exit, real runs with a failing job, a cancel and no job at
// all, the summary, the sounds, the shutdown countdown and the reset.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestEnv.h"
#include "Main.h"
#include "MediaFixture.h"
#include "ProbedOutput.h"
#include "SecondaryWindows.h"
#include "settings/IniFile.h"
#include "settings/UtilFuncs.h"

using namespace guitest;

namespace {

// Adds `paths` to the source list as step 1 does, and waits until the batch is in.
void AddSourceRows(TFormMain& form, const std::vector<std::string>& paths) {
    form.AddSourceFiles(paths);
    while (form.SourceBatchRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class WizardRun : public TGuiTest {
protected:
    void SetUp() override {
        testmedia::LoadLibraries();
        const std::string dir = testmedia::TempDir("app/wizard-run");
        for (int i = 0; i < 2; ++i) {
            Good.push_back(
                testmedia::Make(dir + "/good" + std::to_string(i) + ".mp3",
                                "-f lavfi -i sine=frequency=" + std::to_string(500 + 200 * i) +
                                    ":duration=2 -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k"));
            ASSERT_FALSE(Good.back().empty());
        }
        // Below the bit rate the WMA encoder accepts: with the preset that takes the
        // source's bit rate, its job fails once it runs.
        Low = testmedia::Make(dir + "/low.mp3", "-f lavfi -i sine=frequency=440:duration=2 -ac 1 "
                                                "-ar 8000 -c:a libmp3lame -b:a 8k");
        ASSERT_FALSE(Low.empty());
        Out = apptest::FreshDir("out");
        SecondaryWindows().ShutdownCountdown = nullptr;
        // Workers reach the window's thread through its event loop, as in the program.
        InstallMainThreadDispatcher(&Dispatcher);
    }
    void TearDown() override {
        InstallMainThreadDispatcher(nullptr);
        SecondaryWindows().ShutdownCountdown = nullptr;
    }

    std::unique_ptr<TFormMain> Open() {
        auto form = std::make_unique<TFormMain>(ProgramPath());
        form->show();
        QCoreApplication::processEvents();
        return form;
    }

    // Runs the event loop until `done` holds or a minute has passed.
    static bool Until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // From step 1 with `sources` through step 2 with `format` and `preset`, into the run.
    void Convert(TFormMain& form, const std::vector<std::string>& sources, int format, int preset) {
        AddSourceRows(form, sources);
        ConvertListed(form, format, preset);
    }

    // A source that was readable when it was added to the list and is plain text when the run
    // opens it again, so that no job can be queued for it.
    std::string AddSpoiledSource(TFormMain& form) {
        const std::string path = Out + "not-audio.mp3";
        fs::copy_file(Good[0], path, fs::copy_options::overwrite_existing);
        AddSourceRows(form, {path});
        apptest::WriteFile(path, "plain text");
        return path;
    }

    // From step 1 with the rows it has through step 2 with `format` and `preset`, into the run.
    void ConvertListed(TFormMain& form, int format, int preset) {
        form.ActionNext->trigger();
        ASSERT_EQ(form.PageControlMain->currentIndex(), 1);
        form.EditOutputDir->setText(QString::fromStdString(Out));
        form.FormatButtons[format]->click();
        form.PresetLists[format]->setCurrentIndex(preset);
        form.ActionNext->trigger();
        ASSERT_EQ(form.PageControlMain->currentIndex(), 2);
    }

    // Three sources long enough for a run to be under way when the test acts on it.
    std::vector<std::string> LongSources(int seconds) {
        const std::string dir = testmedia::TempDir("app/wizard-run");
        std::vector<std::string> paths;
        for (int i = 0; i < 3; ++i) {
            paths.push_back(testmedia::Make(
                dir + "/long" + std::to_string(i) + "-" + std::to_string(seconds) + ".wav",
                "-f lavfi -i sine=frequency=" + std::to_string(300 + i) +
                    ":duration=" + std::to_string(seconds) + " -ac 2 -ar 48000"));
            EXPECT_FALSE(paths.back().empty());
        }
        return paths;
    }

    // A click on `button` queued behind whatever input is already waiting: two of them in a
    // row are two clicks within a millisecond, both waiting before the first is handled.
    static void QueueClick(QWidget* button) {
        const QPointF at(button->width() / 2.0, button->height() / 2.0);
        const QPointF global = button->mapToGlobal(at);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                button,
                new QMouseEvent(type, at, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
    }

    static std::string Cell(const TFormMain& form, int row, int column) {
        return form.ListViewConverting->topLevelItem(row)->text(column).toStdString();
    }

    TQtMainThreadDispatcher Dispatcher;
    std::vector<std::string> Good;
    std::string Low;
    std::string Out;
};

TEST_F(WizardRun, OutputStepShowsTheSettingsAndKeepsTheChoices) {
    const auto form = Open();
    AddSourceRows(*form, {Good[0]});
    form->ActionNext->trigger();
    ASSERT_EQ(form->PageControlMain->currentIndex(), 1);

    // The page's captions.
    std::vector<std::string> captions;
    for (const QLabel* label : form->TabSheetStep2->findChildren<QLabel*>())
        captions.push_back(label->text().toStdString());
    for (const char* caption : {"Output directory:", "Convert to:", "Presets:"})
        EXPECT_NE(std::find(captions.begin(), captions.end(), caption), captions.end()) << caption;
    EXPECT_EQ(form->ButtonSelectDir->text(), "Select...");
    EXPECT_TRUE(form->EditOutputDir->isReadOnly());
    EXPECT_EQ(form->EditOutputDir->text().toStdString(), Vars.OutputFileDir);

    // The defaults: MP3 with its first preset; the chosen button is the disabled one.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(form->FormatButtons[i]->isEnabled(), i != 1) << i;
    EXPECT_EQ(form->PresetStack->currentIndex(), 1);
    EXPECT_EQ(form->PresetLists[1]->currentText(), "For Mobile - MP3: 44100 Hz, Stereo, 112 kbps");
    EXPECT_EQ(form->SpinSimultaneousConversions->minimum(), 1);
    EXPECT_EQ(form->SpinSimultaneousConversions->maximum(), SimultaneousConversionsLimit());
    EXPECT_EQ(form->SpinSimultaneousConversions->value(), SimultaneousConversionsLimit());

    // A format is stored when chosen; the folder through the picker.
    form->FormatButtons[6]->click();
    EXPECT_EQ(Vars.OutputFormat, 6);
    EXPECT_FALSE(form->FormatButtons[6]->isEnabled());
    EXPECT_TRUE(form->FormatButtons[1]->isEnabled());
    EXPECT_EQ(form->PresetStack->currentIndex(), 6);
    // A screen reader's toggle action checks a button without clicking it.
    form->FormatButtons[3]->toggle();
    EXPECT_EQ(Vars.OutputFormat, 3);
    EXPECT_EQ(form->PresetStack->currentIndex(), 3);
    EXPECT_FALSE(form->FormatButtons[3]->isEnabled());
    form->FormatButtons[6]->click();
    EXPECT_EQ(Vars.OutputFormat, 6);
    Services.PickedFolder = Out.substr(0, Out.size() - 1);
    form->ButtonSelectDir->click();
    EXPECT_EQ(Services.PickerTitles, std::vector<std::string>{"Please select a folder"});
    EXPECT_EQ(form->EditOutputDir->text().toStdString(), Out);
    EXPECT_EQ(Vars.OutputFileDir, Out);

    // Back keeps the list and the format; preset selections are stored only by Next.
    form->PresetLists[6]->setCurrentIndex(8);
    form->ActionBack->trigger();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 0);
    EXPECT_EQ(form->SourceFilePaths(), std::vector<std::string>{Good[0]});
    EXPECT_EQ(Vars.PresetIndex[6], 0);
    form->ActionNext->trigger();
    EXPECT_FALSE(form->FormatButtons[6]->isEnabled());
    EXPECT_EQ(form->PresetLists[6]->currentIndex(), 0);

    // Closing saves the choices.
    form->PresetLists[6]->setCurrentIndex(3);
    form->SpinSimultaneousConversions->setValue(1);
    form->StoreOutputStep();
    Services.Answer = TMessageResult::mrYes; // the quit question
    form->close();
    const TIniFile settings(Vars.DataFolder + SettingsFileName);
    EXPECT_EQ(settings.ReadInteger(SystemSection, "OutputFormat", -1), 6);
    EXPECT_EQ(settings.ReadInteger(SystemSection, "OutputFLACPreset", -1), 3);
    EXPECT_EQ(settings.ReadString(SystemSection, "OutputFileDir", ""), Out);
    EXPECT_EQ(settings.ReadInteger(SystemSection, "SimultaneousConversions", -1), 1);
}

TEST_F(WizardRun, AnUnusableOutputFolderKeepsStepTwo) {
    const auto form = Open();
    apptest::WriteFile(Out + "plain-file", "x");
    AddSourceRows(*form, {Good[0]});
    form->ActionNext->trigger();
    form->EditOutputDir->setText(QString::fromStdString(Out + "plain-file/sub"));
    form->ActionNext->trigger();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 1);
    EXPECT_EQ(
        Services.TextsOf(TMessageKind::mkInformation),
        std::vector<std::string>{
            "Fail to create directory! Please check if output folder have the right format!"});
    EXPECT_EQ(form->ListViewConverting->topLevelItemCount(), 0);
}

TEST_F(WizardRun, QuestionsAnsweredNoChangeNothingAndYesActs) {
    const struct {
        int Step; // where Exit is pressed
        const char* Question;
    } cases[] = {
        {0, "Are you sure to quit now?"},
        {1, "Are you sure to cancel?"},
    };
    for (const auto& c : cases) {
        for (const TMessageResult answer : {TMessageResult::mrNo, TMessageResult::mrYes}) {
            SCOPED_TRACE(std::string(c.Question) + (answer == TMessageResult::mrYes ? " yes" : ""));
            Services.Messages.clear();
            Services.Answer = answer;
            const auto form = Open();
            AddSourceRows(*form, {Good[0]});
            if (c.Step == 1)
                form->ActionNext->trigger();
            form->ActionExit->trigger();
            ASSERT_EQ(Services.Messages.size(), 1u);
            EXPECT_EQ(Services.Messages[0].Text, c.Question);
            EXPECT_EQ(Services.Messages[0].Kind, TMessageKind::mkQuestion);
            const bool yes = answer == TMessageResult::mrYes;
            if (c.Step == 0) {
                EXPECT_EQ(form->isVisible(), !yes);
            } else {
                EXPECT_EQ(form->PageControlMain->currentIndex(), yes ? 0 : 1);
                EXPECT_EQ(form->SourceFilePaths().size(), yes ? 0u : 1u);
                EXPECT_EQ(form->ButtonExit->text(), yes ? "E&xit" : "&Cancel");
            }
        }
    }
    // Next on an empty list: the notice, and step 1 stays.
    Services.Messages.clear();
    const auto form = Open();
    form->ActionNext->trigger();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 0);
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkInformation),
              std::vector<std::string>{"Please add the audio/video files you want to convert!"});
}

TEST_F(WizardRun, ThreeSourcesWithTheSecondFailingEndAtTheSummary) {
    const auto form = Open();
    Vars.PlayASoundWhenFinished = true;
    // Another window is the active one: the end of the run is told on the desktop.
    QWidget other;
    other.show();
    other.activateWindow();
    QCoreApplication::processEvents();
    Convert(*form, {Good[0], Low, Good[1]}, 2, 4);
    EXPECT_TRUE(form->CheckBoxPlayASound->isChecked());
    EXPECT_FALSE(form->ButtonNext->isEnabled());
    EXPECT_EQ(form->ButtonExit->text(), "&Cancel");
    ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));

    EXPECT_EQ(form->LabelFinishTotalFiles->text(), "3");
    EXPECT_EQ(form->LabelFinishSuccessed->text(), "2");
    EXPECT_EQ(form->LabelFinishFailed->text(), "1");
    EXPECT_EQ(form->ButtonNext->text(), "&Finish");
    EXPECT_FALSE(form->LabelFinishCancelled->isVisible()) << "nothing was cancelled";
    ASSERT_EQ(form->ListViewConverting->topLevelItemCount(), 3);
    EXPECT_EQ(Cell(*form, 0, 0), "good0.mp3");
    EXPECT_EQ(Cell(*form, 0, 4), fs::path(Good[0]).parent_path().string() + "/");
    EXPECT_EQ(Cell(*form, 0, 1).substr(0, 8), "00:00:02");
    const char* statuses[] = {"Finish", "Failed", "Finish"};
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Cell(*form, row, 2), statuses[row]) << row;
    EXPECT_EQ(Cell(*form, 0, 3), "100%");
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkWarning).size(), 1u);
    EXPECT_EQ(Services.Sounds, std::vector<std::string>{Program + "sounds/fail.wav"});
    EXPECT_EQ(Vars.FailedCount, 1);
    EXPECT_EQ(form->LabelCurrentFile->text(), "...");
    EXPECT_EQ(form->LabelProgress->text(), "0%");
    EXPECT_EQ(Services.Notices.size(), form->isActiveWindow() ? 0u : 1u);

    for (const std::string name : {"good0.wma", "good1.wma"}) {
        const apptest::TProbedOutput facts = apptest::ProbeOutput(Out + name);
        ASSERT_TRUE(facts.Read) << name;
        EXPECT_EQ(facts.AudioCodec, "wmav2");
        EXPECT_NEAR(facts.Duration, 2.0, 0.2);
    }
    EXPECT_FALSE(fs::exists(Out + "low.wma"));

    // "Open folder" opens the output folder; Finish starts over with empty lists.
    EXPECT_EQ(form->LabelOpenFolder->focusPolicy(), Qt::StrongFocus);
    form->LabelOpenFolder->click();
    EXPECT_EQ(Services.Opened, std::vector<std::string>{Out});
    form->ActionNext->trigger();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 0);
    EXPECT_TRUE(form->SourceFilePaths().empty());
    EXPECT_EQ(form->ListViewConverting->topLevelItemCount(), 0);
    EXPECT_EQ(form->LabelFinishTotalFiles->text(), "0");
    EXPECT_EQ(Vars.FailedCount, 0);
    EXPECT_EQ(form->ButtonNext->text(), "&Next");
}

TEST_F(WizardRun, NoJobQueuedShowsTheSummaryAtOnceAndRunsTheCountdown) {
    for (const bool countdownRanOut : {false, true}) {
        SCOPED_TRACE(countdownRanOut ? "countdown ran out" : "countdown cancelled");
        Services.PowerOffs = 0;
        Services.Sounds.clear();
        int countdowns = 0;
        SecondaryWindows().ShutdownCountdown = [&](QWidget*) {
            ++countdowns;
            return countdownRanOut;
        };
        const auto form = Open();
        Vars.PlayASoundWhenFinished = true;
        Vars.ShutDownWhenFinished = true;
        AddSpoiledSource(*form);
        ConvertListed(*form, 1, 0);
        ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));
        EXPECT_EQ(form->LabelFinishTotalFiles->text(), "0");
        ASSERT_NE(form->Run(), nullptr);
        EXPECT_FALSE(form->Run()->Started()) << "the encoder is never started";
        EXPECT_EQ(Services.Sounds, std::vector<std::string>{Program + "sounds/done.wav"});
        EXPECT_EQ(countdowns, 1);
        EXPECT_EQ(Services.PowerOffs, countdownRanOut ? 1 : 0);
        ASSERT_FALSE(Vars.LogLines.empty());
        EXPECT_EQ(Vars.LogLines.back().rfind("File load error: ", 0), 0u) << Vars.LogLines.back();
    }
}

TEST_F(WizardRun, CancelOnStepThreeStopsAndEndsAtTheSummary) {
    const std::string dir = testmedia::TempDir("app/wizard-run");
    std::vector<std::string> longer;
    for (int i = 0; i < 3; ++i) {
        longer.push_back(testmedia::Make(dir + "/long" + std::to_string(i) + ".wav",
                                         "-f lavfi -i sine=frequency=" + std::to_string(300 + i) +
                                             ":duration=30 -ac 2 -ar 48000"));
        ASSERT_FALSE(longer.back().empty());
    }
    const auto form = Open();
    Vars.SimultaneousConversions = 1;
    Convert(*form, longer, 3, 4);
    ASSERT_TRUE(Until([&] { return form->Run() && form->Run()->Started(); }));

    // No: the run goes on.
    Services.Answer = TMessageResult::mrNo;
    form->ActionExit->trigger();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 2);
    EXPECT_FALSE(form->Run()->Ended());
    // Yes: stopped, and the run ends through its summary.
    Services.Answer = TMessageResult::mrYes;
    form->ActionExit->trigger();
    ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkQuestion),
              std::vector<std::string>(2, "Do you really want to cancel the conversion?"));
    EXPECT_EQ(form->LabelFinishTotalFiles->text(), "3");
    EXPECT_EQ(form->LabelFinishFailed->text(), "0");
    int cancelled = 0;
    for (int row = 0; row < 3; ++row)
        cancelled += Cell(*form, row, 2) == "Cancelled";
    EXPECT_GE(cancelled, 2);
    EXPECT_EQ(form->LabelFinishSuccessed->text(), QString::number(3 - cancelled));
    // The summary says how many were cancelled, under its three counts.
    EXPECT_TRUE(form->LabelFinishCancelled->isVisible());
    EXPECT_EQ(form->LabelFinishCancelled->text().toStdString(),
              "Cancelled: " + std::to_string(cancelled));
    EXPECT_TRUE(Services.TextsOf(TMessageKind::mkWarning).empty());
    // A stopped job leaves nothing: neither a part under its name nor its temporary file.
    for (int row = 0; row < 3; ++row) {
        const bool exists = fs::exists(Out + "long" + std::to_string(row) + ".ogg");
        EXPECT_EQ(exists, Cell(*form, row, 2) == "Finish") << row;
    }
    for (const auto& entry : fs::directory_iterator(Out))
        EXPECT_EQ(entry.path().filename().string().find("audioconv-part"), std::string::npos)
            << entry.path();
}

TEST_F(WizardRun, ConvertClickedTwiceAtOnceRunsOnceAndCancelClickedTwiceAsksOnce) {
    const std::vector<std::string> sources = LongSources(30);
    const auto form = Open();
    Vars.SimultaneousConversions = 1;
    AddSourceRows(*form, sources);
    form->ActionNext->trigger();
    form->EditOutputDir->setText(QString::fromStdString(Out));
    form->FormatButtons[3]->click();
    QueueClick(form->ButtonNext);
    QueueClick(form->ButtonNext);
    ASSERT_TRUE(Until([&] { return form->Run() && form->Run()->Started(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(form->PageControlMain->currentIndex(), 2);
    EXPECT_EQ(form->ListViewConverting->topLevelItemCount(), 3) << "one run of three jobs";
    EXPECT_TRUE(Services.Messages.empty());

    Services.Answer = TMessageResult::mrYes;
    QueueClick(form->ButtonExit);
    QueueClick(form->ButtonExit);
    ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkQuestion),
              std::vector<std::string>{"Do you really want to cancel the conversion?"});
    EXPECT_TRUE(Services.TextsOf(TMessageKind::mkError).empty());
    EXPECT_TRUE(Services.TextsOf(TMessageKind::mkWarning).empty());
    EXPECT_EQ(form->LabelFinishTotalFiles->text(), "3");
    // The window closes as usual afterwards: the settings are saved.
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(fs::exists(Vars.DataFolder + SettingsFileName));
}

TEST_F(WizardRun, OverallProgressCountsBothJobsAndNeverGoesBack) {
    // A short and a long job side by side: the short one ends while the long one runs.
    const std::string dir = testmedia::TempDir("app/wizard-run");
    const std::string shortOne =
        testmedia::Make(dir + "/short3.wav", "-f lavfi -i sine=frequency=500:duration=3 -ac 2");
    const std::vector<std::string> longer = LongSources(30);
    ASSERT_FALSE(shortOne.empty());
    const auto form = Open();
    Vars.SimultaneousConversions = 2;
    std::vector<int> values;
    QObject::connect(form->ProgressBar, &QProgressBar::valueChanged, [&](int value) {
        if (form->Run() && !form->Run()->Ended())
            values.push_back(value);
    });
    Convert(*form, {shortOne, longer[0]}, 3, 4);
    ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));
    ASSERT_FALSE(values.empty());
    for (size_t i = 1; i < values.size(); ++i)
        EXPECT_GE(values[i], values[i - 1]) << "at report " << i;
    // The short job's end is its share of the whole, not a full bar.
    EXPECT_LT(values.front(), 100);
    EXPECT_EQ(form->LabelFinishSuccessed->text(), "2");
}

TEST_F(WizardRun, AWholeConversionByKeysAlone) {
    const auto form = Open();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // The files come from the command line (the file dialog is the desktop's own).
    AddSourceRows(*form, {Good[0], Good[1]});
    Vars.OutputFileDir = Out;
    const auto keys = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, key, modifiers);
    };
    // A mnemonic presses its button as a click would, which takes a moment to come up.
    const auto onStep = [&](int step) {
        return Until([&] { return form->PageControlMain->currentIndex() == step; });
    };
    form->NextGrid->setFocus(Qt::TabFocusReason);
    keys(Qt::Key_N, Qt::AltModifier); // Next
    ASSERT_TRUE(onStep(1));
    // Tab from the folder to the formats, the arrows to WAV, Space to choose it.
    form->EditOutputDir->setFocus(Qt::TabFocusReason);
    keys(Qt::Key_Tab);
    keys(Qt::Key_Tab);
    QWidget* group = QApplication::focusWidget();
    ASSERT_NE(std::find(form->FormatButtons.begin(), form->FormatButtons.end(), group),
              form->FormatButtons.end());
    for (int i = 0; i < 8 && QApplication::focusWidget() != form->FormatButtons[0]; ++i)
        keys(Qt::Key_Left);
    ASSERT_EQ(QApplication::focusWidget(), form->FormatButtons[0]);
    keys(Qt::Key_Space);
    EXPECT_EQ(Vars.OutputFormat, 0);
    keys(Qt::Key_V, Qt::AltModifier); // Convert
    ASSERT_TRUE(onStep(3));
    EXPECT_EQ(form->LabelFinishSuccessed->text(), "2");
    EXPECT_TRUE(fs::exists(Out + "good0.wav"));
    EXPECT_EQ(QApplication::focusWidget(), form->ButtonNext) << "Finish has the focus";
    keys(Qt::Key_Space); // Finish
    ASSERT_TRUE(onStep(0));
    Services.Answer = TMessageResult::mrYes;
    keys(Qt::Key_X, Qt::AltModifier); // Exit, and yes to the question
    EXPECT_TRUE(Until([&] { return !form->isVisible(); }));
    EXPECT_EQ(Services.TextsOf(TMessageKind::mkQuestion),
              std::vector<std::string>{"Are you sure to quit now?"});
}

TEST_F(WizardRun, PostRunCheckBoxesFollowAndChangeTheSettings) {
    const auto form = Open();
    Vars.PlayASoundWhenFinished = false;
    Vars.ShutDownWhenFinished = false;
    AddSpoiledSource(*form);
    ConvertListed(*form, 1, 0);
    EXPECT_FALSE(form->CheckBoxPlayASound->isChecked());
    form->CheckBoxPlayASound->click();
    EXPECT_TRUE(Vars.PlayASoundWhenFinished);
    ASSERT_TRUE(Until([&] { return form->PageControlMain->currentIndex() == 3; }));
    EXPECT_EQ(Services.Sounds.size(), 1u) << "the click holds for the run under way";
}

} // namespace
