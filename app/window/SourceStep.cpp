// Step 1 of the wizard: the source list, its commands and the add-files dialog.
#include "Main.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "WindowWidgets.h"
#include "globals.h"

namespace {

// The add-files dialog's filter: pairs of a name and its patterns, separated by "|".
constexpr const char* OpenDialogFilter =
    "All Supported Formats|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;"
    "*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;*.MP3;*.AAC;*.WAV;*.WMA;"
    "*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;"
    "*.DTS;|All Video Formats (all types)|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;"
    "*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.SWF;|All Audio "
    "Formats (all types)|*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;"
    "*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;*.DTS;|All Files|*.*";

// The filter in the toolkit's form, "Name (*.a *.b)".
QStringList DialogNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split('|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        result << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return result;
}

} // namespace

QWidget* TFormMain::CreateStep1() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep1");
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);

    ActionAdd = NewAction("ActionAdd", "&Add...");
    ActionAdd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionDelete = NewAction("ActionDelete", "&Delete");
    ActionDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    ActionClear = NewAction("ActionClear", "&Clear");
    ActionClear->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionMoveUp = NewAction("ActionMoveUp", "&Move Up");
    ActionMoveDown = NewAction("ActionMoveDown", "M&ove Down");
    ActionPlay = NewAction("ActionPlay", "&Play");
    ActionPlay->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    // The list starts empty: nothing to delete, clear, move or play.
    for (QAction* action : {ActionDelete, ActionClear, ActionMoveUp, ActionMoveDown, ActionPlay})
        action->setEnabled(false);

    // One row per source, a slide of 90 pixels: the thumbnail and four lines of text; the
    // other columns are hidden.
    NextGrid = new QTableWidget(0, 14, page);
    NextGrid->setObjectName("NextGrid");
    NextGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NextGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NextGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NextGrid->horizontalHeader()->hide();
    NextGrid->verticalHeader()->hide();
    NextGrid->verticalHeader()->setDefaultSectionSize(90);
    NextGrid->setColumnWidth(0, 136);
    NextGrid->horizontalHeader()->setStretchLastSection(false);
    NextGrid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int column = 2; column < 14; ++column)
        NextGrid->setColumnHidden(column, true);
    NextGrid->setShowGrid(false);
    layout->addWidget(NextGrid, 1);

    ImageAudioIcon = new QLabel(page);
    ImageAudioIcon->setObjectName("ImageAudioIcon");
    ImageAudioIcon->setPixmap(QPixmap(":/images/audio.png"));
    ImageAudioIcon->hide();

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(6);
    const std::pair<const char*, QAction*> rows[] = {
        {"ButtonAdd", ActionAdd},           {"ButtonDelete", ActionDelete},
        {"ButtonClear", ActionClear},       {"ButtonMoveUp", ActionMoveUp},
        {"ButtonMoveDown", ActionMoveDown}, {"ButtonPlay", ActionPlay},
    };
    for (const auto& [name, action] : rows) {
        auto* b = new QPushButton(page);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setMinimumWidth(110);
        BindButton(b, action);
        buttons->addWidget(b);
        if (action == ActionClear || action == ActionMoveDown)
            buttons->addSpacing(10);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return page;
}

void TFormMain::SetUpOpenDialog() {
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName("OpenDialog");
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setNameFilters(DialogNameFilters(OpenDialogFilter));
    OpenDialog->setSizeGripEnabled(true);
}

std::vector<std::string> TFormMain::SourceFilePaths() const {
    std::vector<std::string> paths;
    for (int row = 0; row < NextGrid->rowCount(); ++row)
        if (const QTableWidgetItem* item = NextGrid->item(row, 5))
            paths.push_back(item->text().toStdString());
    return paths;
}

void TFormMain::ClearSourceList() {
    NextGrid->setRowCount(0);
    GlobalVars->FailedFiles.clear();
}
