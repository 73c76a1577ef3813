// Step 3 of the wizard: the conversion list, the status group and the post-run options.
#include "Main.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "WindowWidgets.h"

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
    ListViewConverting->setHeaderLabels({"Name", "Duration", "Status", "Progress", "Path"});
    const int widths[] = {250, 80, 95, 70, 300};
    for (int column = 0; column < 5; ++column)
        ListViewConverting->setColumnWidth(column, widths[column]);
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
        grid->addWidget(new QLabel(caption, status), row, 0);
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
    grid->addWidget(new QLabel("Overall Progress:", status), row, 0);
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
    return page;
}
