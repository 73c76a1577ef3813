// Step 4 of the wizard: the summary of the run.
#include "Main.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "WindowWidgets.h"

#include "PlatformServices.h"
#include "brand/PageTexts.h"
#include "jobs/RunProgress.h"
#include "settings/globals.h"

QWidget* TFormMain::CreateStep4() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep4");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(10);

    LabelFinishTitle1 = ValueLabel("LabelFinishTitle1", FinishTitle1Caption, page);
    LabelFinishTitle1->setWordWrap(true);
    QFont heading = LabelFinishTitle1->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    heading.setBold(true);
    LabelFinishTitle1->setFont(heading);
    layout->addWidget(LabelFinishTitle1);

    auto* summaryHead = new QHBoxLayout;
    auto* summary = new QLabel("Summary", page);
    QFont bold = summary->font();
    bold.setBold(true);
    summary->setFont(bold);
    summaryHead->addWidget(summary);
    // The accessibility tools list a line as a frame: it says what it is.
    QFrame* rule = Rule(page);
    rule->setAccessibleName("Separator");
    summaryHead->addWidget(rule, 1);
    layout->addSpacing(8);
    layout->addLayout(summaryHead);

    auto* counts = new QGridLayout;
    counts->setContentsMargins(16, 0, 0, 0);
    counts->setHorizontalSpacing(16);
    LabelFinishTotalFiles = ValueLabel("LabelFinishTotalFiles", "0", page);
    LabelFinishSuccessed = ValueLabel("LabelFinishSuccessed", "0", page);
    LabelFinishFailed = ValueLabel("LabelFinishFailed", "0", page);
    const std::pair<const char*, QLabel*> rows[] = {
        {"Total files:", LabelFinishTotalFiles},
        {"Successed:", LabelFinishSuccessed},
        {"Failed:", LabelFinishFailed},
    };
    int row = 0;
    for (const auto& [caption, value] : rows) {
        // The desktop's accessibility tools find each count by its caption.
        auto* label = new QLabel(caption, page);
        LinkCaption(label, value);
        counts->addWidget(label, row, 0);
        counts->addWidget(value, row, 1);
        ++row;
    }
    // Under the three counts, only when jobs were cancelled: "Cancelled: N".
    LabelFinishCancelled = ValueLabel("LabelFinishCancelled", "", page);
    LabelFinishCancelled->hide();
    counts->addWidget(LabelFinishCancelled, row, 0, 1, 2);
    counts->setColumnStretch(2, 1);
    layout->addLayout(counts);

    LabelOpenFolder = LinkButton("LabelOpenFolder", "Open folder", page);
    layout->addSpacing(6);
    layout->addWidget(LabelOpenFolder);
    layout->addStretch(1);

    LabelFinishTitle2 = ValueLabel("LabelFinishTitle2", FinishTitle2Caption, page);
    LabelFinishTitle2->setWordWrap(true);
    layout->addWidget(LabelFinishTitle2);
    ConnectFinishStep();
    return page;
}

void TFormMain::ConnectFinishStep() {
    connect(LabelOpenFolder, &QPushButton::clicked, this,
            [] { OpenWithShell(GlobalVars->OutputFileDir); });
}

void TFormMain::ShowSummary() {
    GoToStep(3);
    ApplyPageTexts();
    const TRunSummary summary = FRun ? FRun->Summary() : TRunSummary{};
    LabelFinishTotalFiles->setText(QString::number(summary.Total));
    LabelFinishSuccessed->setText(QString::number(summary.Successed));
    LabelFinishFailed->setText(QString::number(summary.Failed));
    LabelFinishCancelled->setText(Q(CancelledLine(summary)));
    LabelFinishCancelled->setVisible(summary.Cancelled > 0);
    // The end of the run is said, and the focus goes to the page's first command.
    Announce(LabelFinishTitle1);
    ButtonNext->setFocus(Qt::OtherFocusReason);
}

void TFormMain::ResetRun() {
    FRun.reset();
    ListViewConverting->clear();
    for (QLabel* label : {LabelCurrentFile, LabelEstimated, LabelElapsed, LabelTimeLeft})
        label->setText(LabelAtRest);
    ProgressBar->setValue(0);
    LabelProgress->setText(ProgressAtRest);
    for (QLabel* label : {LabelFinishTotalFiles, LabelFinishSuccessed, LabelFinishFailed})
        label->setText("0");
    LabelFinishCancelled->clear();
    LabelFinishCancelled->hide();
    TGlobalVars& vars = *GlobalVars;
    vars.FailedFiles.clear();
    vars.FailedCount = 0;
    vars.DoneDurationMs = 0;
    vars.TotalDurationUs = 0;
    ClearSourceList();
    GoToStep(0);
}
