// The wizard's commands: Next, Back and Exit on each step, with their notices and questions.
#include "Main.h"

#include <QAction>
#include <QTabWidget>

#include "PlatformServices.h"
#include "jobs/JobBuilder.h"
#include "settings/globals.h"

namespace {

// The pages by index.
enum TStep { stSources = 0, stOutput = 1, stConvert = 2, stSummary = 3 };

constexpr const char* NoSourcesNotice = "Please add the audio/video files you want to convert!";
constexpr const char* CancelQuestion = "Are you sure to cancel?";
constexpr const char* CancelConversionQuestion = "Do you really want to cancel the conversion?";
constexpr const char* QuitQuestion = "Are you sure to quit now?";

bool Confirmed(const char* question) {
    return ShowMessage(question, TMessageKind::mkQuestion) == TMessageResult::mrYes;
}

} // namespace

void TFormMain::ConnectWizardCommands() {
    connect(ActionNext, &QAction::triggered, this, [this] { WizardNext(); });
    connect(ActionBack, &QAction::triggered, this, [this] { WizardBack(); });
    connect(ActionExit, &QAction::triggered, this, [this] { WizardExit(); });
}

int TFormMain::Step() const {
    return PageControlMain->currentIndex();
}

void TFormMain::GoToStep(int index) {
    PageControlMain->setCurrentIndex(index);
}

void TFormMain::WizardNext() {
    switch (Step()) {
    case stSources:
        if (SourceFilePaths().empty()) {
            ShowMessage(NoSourcesNotice, TMessageKind::mkInformation);
            return;
        }
        GoToStep(stOutput);
        ApplyPageTexts();
        ShowOutputStep();
        return;
    case stOutput:
        StoreOutputStep();
        if (!CheckOutputFolder(GlobalVars->OutputFileDir)) {
            ShowMessage(OutputFolderFailedMessage, TMessageKind::mkInformation);
            return;
        }
        StartRun();
        return;
    case stSummary:
        ResetRun();
        ApplyPageTexts();
        return;
    default:
        return; // step 3: the action is disabled while the run goes on
    }
}

void TFormMain::WizardBack() {
    if (Step() != stOutput)
        return;
    GoToStep(stSources);
    ApplyPageTexts();
}

void TFormMain::WizardExit() {
    switch (Step()) {
    case stOutput:
        if (!Confirmed(CancelQuestion))
            return;
        ResetRun();
        ApplyPageTexts();
        return;
    case stConvert:
        if (!Confirmed(CancelConversionQuestion))
            return;
        // The question's own event loop may have let the run end meanwhile.
        if (Step() != stConvert)
            return;
        if (!FRun || !FRun->Started())
            FCancelBeforeBegin = true; // BeginRun has not queued anything yet
        else
            FRun->Stop(true);
        ApplyPageTexts();
        return;
    default:
        if (Confirmed(QuitQuestion))
            close();
        return;
    }
}
