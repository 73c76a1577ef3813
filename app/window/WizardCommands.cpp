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

// Marks a wizard command as running while it lives; `Entered` is false when one already is.
class TCommandScope {
public:
    explicit TCommandScope(bool& running) : running_(running), entered_(!running) {
        running_ = true;
    }
    ~TCommandScope() {
        if (entered_)
            running_ = false;
    }
    TCommandScope(const TCommandScope&) = delete;
    TCommandScope& operator=(const TCommandScope&) = delete;
    bool Entered() const { return entered_; }

private:
    bool& running_;
    bool entered_;
};

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
    const TCommandScope scope(FCommandRunning);
    if (!scope.Entered())
        return;
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
    const TCommandScope scope(FCommandRunning);
    if (!scope.Entered())
        return;
    if (Step() != stOutput)
        return;
    GoToStep(stSources);
    ApplyPageTexts();
}

void TFormMain::WizardExit() {
    const TCommandScope scope(FCommandRunning);
    if (!scope.Entered())
        return;
    switch (Step()) {
    case stOutput:
        if (!Confirmed(CancelQuestion))
            return;
        ResetRun();
        ApplyPageTexts();
        return;
    case stConvert:
        if (FCancelRequested || !Confirmed(CancelConversionQuestion))
            return;
        // The question's own event loop may have let the run end meanwhile.
        if (Step() != stConvert)
            return;
        CancelRun();
        return;
    default:
        if (!Confirmed(QuitQuestion))
            return;
        FCloseConfirmed = true;
        close();
        return;
    }
}

void TFormMain::CancelRun() {
    if (FCancelRequested)
        return;
    FCancelRequested = true;
    if (!FRun || !FRun->Started())
        FCancelBeforeBegin = true; // BeginRun has not queued anything yet
    else
        FRun->Stop(true);
}

bool TFormMain::CloseConfirmed() {
    if (FCloseConfirmed)
        return true;
    // A close that arrives while a command asks its question waits for that question.
    if (FCommandRunning)
        return false;
    const TCommandScope scope(FCommandRunning);
    if (Step() == stConvert) {
        if (!FCancelRequested && !Confirmed(CancelConversionQuestion))
            return false;
        CancelRun();
    } else if (!Confirmed(QuitQuestion)) {
        return false;
    }
    FCloseConfirmed = true;
    return true;
}
