// Step 3 of the wizard: the conversion list, the status group and the post-run options.
#include "Main.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <QApplication>
#include <QMetaObject>

#include "DesktopNotices.h"
#include "WindowWidgets.h"

#include "PlatformServices.h"
#include "SecondaryWindows.h"
#include "jobs/JobBuilder.h"
#include "jobs/RunProgress.h"
#include "settings/ShellFolders.h"
#include "settings/globals.h"
#include "sources/FileFacts.h"

namespace {

// The conversion list's columns and their widths.
enum TConvertColumn { ccName, ccDuration, ccStatus, ccProgress, ccPath };
struct TColumn {
    const char* Caption;
    int Width;
};
constexpr TColumn ConvertColumns[] = {
    {"Name", 250}, {"Duration", 80}, {"Status", 95}, {"Progress", 70}, {"Path", 300},
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

QWidget* TFormMain::CreateStep3() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep3");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);

    ListViewConverting = new QTreeWidget(page);
    ListViewConverting->setObjectName("ListViewConverting");
    ListViewConverting->setRootIsDecorated(false);
    ListViewConverting->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewConverting->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewConverting->setAccessibleName("Conversion list");
    ListViewConverting->setSelectionMode(QAbstractItemView::SingleSelection);
    QStringList headers;
    for (const TColumn& column : ConvertColumns)
        headers << column.Caption;
    ListViewConverting->setHeaderLabels(headers);
    for (int column = 0; column < static_cast<int>(std::size(ConvertColumns)); ++column)
        ListViewConverting->setColumnWidth(column, ConvertColumns[column].Width);
    layout->addWidget(ListViewConverting, 1);

    auto* status = new QGroupBox("Status", page);
    auto* grid = new QGridLayout(status);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    LabelCurrentFile = ValueLabel("LabelCurrentFile", "...", status);
    LabelEstimated = ValueLabel("LabelEstimated", "...", status);
    LabelElapsed = ValueLabel("LabelElapsed", "...", status);
    LabelTimeLeft = ValueLabel("LabelTimeLeft", "...", status);
    const std::pair<const char*, QLabel*> rows[] = {
        {"Current file:", LabelCurrentFile},
        {"Estimated overall time:", LabelEstimated},
        {"Elapsed time:", LabelElapsed},
        {"Time left:", LabelTimeLeft},
    };
    int row = 0;
    for (const auto& [caption, value] : rows) {
        auto* label = new QLabel(caption, status);
        LinkCaption(label, value);
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1, 1, 2);
        ++row;
    }
    ProgressBar = new QProgressBar(status);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    LabelProgress = ValueLabel("LabelProgress", "0%", status);
    LabelProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelProgress->setMinimumWidth(40);
    auto* overall = new QLabel("Overall Progress:", status);
    LinkCaption(overall, ProgressBar);
    ProgressBar->setAccessibleName("Overall Progress");
    LinkCaption(overall, LabelProgress);
    overall->setBuddy(ProgressBar);
    grid->addWidget(overall, row, 0);
    grid->addWidget(ProgressBar, row, 1);
    grid->addWidget(LabelProgress, row, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(status);

    auto* options = new QGroupBox("Post-Progress Options", page);
    auto* optionRows = new QVBoxLayout(options);
    CheckBoxPlayASound = new QCheckBox("&Play a sound when conversion is finished", options);
    CheckBoxPlayASound->setObjectName("CheckBoxPlayASound");
    CheckBoxShutdown =
        new QCheckBox("&Shut down the computer after all tasks are finished", options);
    CheckBoxShutdown->setObjectName("CheckBoxShutdown");
    optionRows->addWidget(CheckBoxPlayASound);
    optionRows->addWidget(CheckBoxShutdown);
    layout->addWidget(options);
    ConnectConvertStep();
    return page;
}

void TFormMain::ConnectConvertStep() {
    // A click changes the setting at once: it holds for this run and the next ones.
    connect(CheckBoxPlayASound, &QCheckBox::clicked, this,
            [](bool on) { GlobalVars->PlayASoundWhenFinished = on; });
    connect(CheckBoxShutdown, &QCheckBox::clicked, this,
            [](bool on) { GlobalVars->ShutDownWhenFinished = on; });
}

void TFormMain::StartRun() {
    // One run at a time; input queued behind the click that started it finds step 3 with
    // its Next disabled.
    if (FRun)
        return;
    GoToStep(2);
    ApplyPageTexts();
    CheckBoxPlayASound->setChecked(GlobalVars->PlayASoundWhenFinished);
    CheckBoxShutdown->setChecked(GlobalVars->ShutDownWhenFinished);
    FCancelBeforeBegin = false;
    FCancelRequested = false;
    QMetaObject::invokeMethod(
        this, [this] { BeginRun(); }, Qt::QueuedConnection);
}

void TFormMain::BeginRun() {
    if (FRun || Step() != 2)
        return;
    TGlobalVars& vars = *GlobalVars;
    // A stopped job's part is removed: only whole files stay under their names.
    TJobSettings settings = JobSettingsOf(vars);
    settings.KeepStoppedOutputs = false;
    // Terminations come from the encoder's delivery thread; they are applied on this one.
    // A call still queued when the window is gone is dropped with it.
    FRun = std::make_unique<TConversionRun>(
        *FFEncoder, std::move(settings), [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        });
    // Step 3 is painted before the sources are opened again; a Cancel meanwhile is seen.
    QCoreApplication::processEvents();
    ListViewConverting->clear();
    if (!FCancelBeforeBegin)
        FRun->QueueJobs(SourceFilePaths());
    for (const TQueuedJob& job : FRun->Queue().Jobs()) {
        auto* item = new QTreeWidgetItem(ListViewConverting);
        item->setText(ccName, Q(NameOf(job.SourcePath)));
        item->setText(ccDuration, Q(JobDurationText(job.DurationUs)));
        item->setText(ccStatus, JobStatusText(jsWaiting));
        item->setText(ccPath, Q(EnsureTrailingSeparator(FolderOf(job.SourcePath))));
    }
    FitConvertColumns();
    vars.TotalDurationUs = FRun->Queue().TotalDurationUs();
    vars.DoneDurationMs = 0;
    vars.FailedCount = 0;
    if (FRun->Queue().Jobs().empty()) {
        QMetaObject::invokeMethod(
            this, [this] { EndRun(); }, Qt::QueuedConnection);
        return;
    }
    FRun->Start(vars.SimultaneousConversions, this);
    vars.StartTime = FRun->StartTime();
}

void TFormMain::FitConvertColumns() {
    // Every column but the last as wide as its widest text, at least its starting width.
    for (int column = 0; column + 1 < static_cast<int>(std::size(ConvertColumns)); ++column) {
        ListViewConverting->resizeColumnToContents(column);
        if (ListViewConverting->columnWidth(column) < ConvertColumns[column].Width)
            ListViewConverting->setColumnWidth(column, ConvertColumns[column].Width);
    }
}

void TFormMain::ShowOverallProgress() {
    // The whole run's share: the durations done of all jobs against the total.
    const TPercent overall = OverallPercent(FRun->State());
    if (!overall.Known)
        return;
    ProgressBar->setValue(overall.Value);
    LabelProgress->setText(Q(overall.Text));
    ShowDockProgress(overall.Value / 100.0, true);
}

void TFormMain::JobProgressed(int job) {
    QTreeWidgetItem* item = ListViewConverting->topLevelItem(job);
    if (!item)
        return;
    const TJobState& state = FRun->States()[job];
    LabelCurrentFile->setText(Q(EnsureTrailingSeparator(item->text(ccPath).toStdString()) +
                                item->text(ccName).toStdString()));
    item->setText(ccProgress, Q(state.Progress));
    if (state.Progress != ProgressUnknown)
        item->setText(ccStatus, JobStatusText(state.Status));
    ShowOverallProgress();
    // The running jobs stay in view as the run goes down the list.
    ListViewConverting->scrollToItem(item);
    ShowRunTimes();
}

void TFormMain::ShowRunTimes() {
    const TRunTimes times = RunTimes(FRun->State());
    LabelEstimated->setText(Q(times.Estimated));
    LabelElapsed->setText(Q(times.Elapsed));
    LabelTimeLeft->setText(Q(times.Left));
}

void TFormMain::JobEnded(int job, const TTerminateInfo& info) {
    TGlobalVars& vars = *GlobalVars;
    vars.DoneDurationMs = FRun->DoneDurationMs();
    vars.FailedCount = FRun->FailedCount();
    QTreeWidgetItem* item = ListViewConverting->topLevelItem(job);
    if (!item)
        return;
    const TJobState& state = FRun->States()[job];
    item->setText(ccProgress, Q(state.Progress));
    item->setText(ccStatus, JobStatusText(state.Status));
    ShowOverallProgress();
    if (info.Exception)
        ShowMessage(info.ExceptionMsg, TMessageKind::mkWarning);
}

void TFormMain::RunEnded() {
    ShowDockProgress(0, false);
    LabelCurrentFile->setText(LabelAtRest);
    LabelProgress->setText(ProgressAtRest);
    ProgressBar->setValue(0);
    QMetaObject::invokeMethod(
        this, [this] { EndRun(); }, Qt::QueuedConnection);
}

std::string TFormMain::SoundFile(bool failed) const {
    return FProgramFolder + (failed ? "sounds/fail.wav" : "sounds/done.wav");
}

void TFormMain::EndRun() {
    // The window closed during the run: no sound, countdown or summary after it.
    if (FCloseConfirmed)
        return;
    const TGlobalVars& vars = *GlobalVars;
    if (vars.PlayASoundWhenFinished)
        if (TPlatformServices* services = PlatformServices())
            services->PlaySoundFile(SoundFile(vars.FailedCount > 0));
    if (vars.ShutDownWhenFinished)
        ShutdownAfterCountdown(this);
    ShowSummary();
    NotifyRunEnded();
}

void TFormMain::NotifyRunEnded() {
    if (isActiveWindow())
        return;
    TPlatformServices* services = PlatformServices();
    if (!services)
        return;
    const TRunSummary summary = FRun ? FRun->Summary() : TRunSummary{};
    services->Notify("The conversion is finished.",
                     "Total files: " + std::to_string(summary.Total) +
                         ", Successed: " + std::to_string(summary.Successed) +
                         ", Failed: " + std::to_string(summary.Failed) +
                         (summary.Cancelled > 0 ? ", " + CancelledLine(summary) : ""));
}
