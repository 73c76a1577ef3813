// Step 1 of the wizard: the source list, its commands, the add-files dialog, dropped files
// and the add routine.
#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <thread>

#include "FFEncode.h"
#include "PlatformServices.h"
#include "SecondaryWindows.h"
#include "SkinTitleBar.h"
#include "SourceGridDelegate.h"
#include "SourceGridModel.h"
#include "SourceGridView.h"
#include "SourceProbeBatch.h"
#include "WindowWidgets.h"
#include "settings/globals.h"
#include "sources/SourceAdd.h"

namespace {

constexpr qint64 SourceDrainIntervalMs = 50;

// While a batch is probed the window repaints and can be moved by its title bar, and the
// other commands wait: clicks, keys and shortcuts aimed at the rest of the window are held
// back (closing the window stays possible and stops the batch).
class TSourceBatchInputBlocker final : public QObject {
public:
    TSourceBatchInputBlocker(QWidget* form, QWidget* titleBar, QWidget* moveHandle, QAction* exit)
        : FForm(form), FTitleBar(titleBar), FMoveHandle(moveHandle), FExit(exit) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
        case QEvent::Shortcut:
            break;
        default:
            return false;
        }
        if (auto* action = qobject_cast<QAction*>(watched))
            return action->parent() == FForm && action != FExit;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != FForm)
            return false;
        return !(widget == FTitleBar || FTitleBar->isAncestorOf(widget) || widget == FMoveHandle);
    }

private:
    QWidget* FForm;
    QWidget* FTitleBar;
    QWidget* FMoveHandle;
    QAction* FExit;
};

// The dialog's filters in the toolkit's form, "Name (*.[aA][vV][iI] ...)": the patterns match
// in any letter case, as the names do on the platform the filter was written for.
QStringList DialogNameFilters() {
    QStringList result;
    for (const TDialogFilter& filter : OpenDialogFilters()) {
        QStringList patterns;
        for (const std::string& pattern : filter.Patterns)
            patterns << Q(AnyCasePattern(pattern));
        result << Q(filter.Name) + " (" + patterns.join(' ') + ")";
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

    // One row per source, a slide of 90 pixels: the thumbnail and four lines of text.
    FSourceGrid = new TSourceGridModel(this);
    FSourceGrid->setObjectName("SourceGridModel");
    NextGrid = new TSourceGridView(FSourceGrid, page);
    NextGrid->setObjectName("NextGrid");
    NextGrid->setAccessibleName("Source files");
    NextGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    LabelAdding = ValueLabel("LabelAdding", "", page);
    LabelAdding->hide();
    auto* gridColumn = new QVBoxLayout;
    gridColumn->setSpacing(4);
    gridColumn->addWidget(NextGrid, 1);
    gridColumn->addWidget(LabelAdding);
    layout->addLayout(gridColumn, 1);

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
        b->setAccessibleName(action->text().remove('&').remove("..."));
        b->setAutoDefault(false);
        b->setMinimumWidth(110);
        BindButton(b, action);
        buttons->addWidget(b);
        if (action == ActionClear || action == ActionMoveDown)
            buttons->addSpacing(10);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);

    PopupMenuSource = new QMenu(this);
    PopupMenuSource->setObjectName("PopupMenuSource");
    PopupMenuSource->addActions({ActionAdd, ActionDelete, ActionClear});
    PopupMenuSource->addSeparator();
    PopupMenuSource->addActions({ActionMoveUp, ActionMoveDown});
    PopupMenuSource->addSeparator();
    PopupMenuSource->addAction(ActionPlay);

    ConnectSourceActions();
    UpdateSourceActions();
    return page;
}

void TFormMain::ConnectSourceActions() {
    connect(ActionAdd, &QAction::triggered, this, [this] { ActionAddExecute(); });
    connect(ActionDelete, &QAction::triggered, this, [this] { ActionDeleteExecute(); });
    connect(ActionClear, &QAction::triggered, this, [this] { ActionClearExecute(); });
    connect(ActionMoveUp, &QAction::triggered, this, [this] { MoveSelectedSource(-1); });
    connect(ActionMoveDown, &QAction::triggered, this, [this] { MoveSelectedSource(1); });
    connect(ActionPlay, &QAction::triggered, this, [this] { ActionPlayExecute(); });
    connect(NextGrid, &QAbstractItemView::doubleClicked, this, [this] { ActionPlay->trigger(); });
    connect(NextGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuSource->popup(NextGrid->viewport()->mapToGlobal(at));
    });
    NextGrid->OnFilesDropped = [this](const std::vector<std::string>& names) {
        DropSourceFiles(names);
    };
    NextGrid->OnRowEntered = [this] { ActionPlay->trigger(); };
    NextGrid->OnRowDragged = [this](int from, int to) {
        if (FSourceGrid->MoveSourceRow(from, to))
            SelectSourceRow(to);
    };
    // The enabled states follow every change of the rows and of the selection.
    const auto update = [this] { UpdateSourceActions(); };
    connect(FSourceGrid, &QAbstractItemModel::rowsInserted, this, update);
    connect(FSourceGrid, &QAbstractItemModel::rowsRemoved, this, update);
    connect(FSourceGrid, &QAbstractItemModel::rowsMoved, this, update);
    connect(FSourceGrid, &QAbstractItemModel::modelReset, this, update);
    connect(NextGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, update);
}

void TFormMain::UpdateSourceActions() {
    const int rows = FSourceGrid->rowCount();
    const int selected = SelectedSourceRow();
    ActionDelete->setEnabled(selected >= 0);
    ActionClear->setEnabled(rows > 0);
    ActionMoveUp->setEnabled(selected > 0);
    ActionMoveDown->setEnabled(selected >= 0 && selected < rows - 1);
    ActionPlay->setEnabled(selected >= 0);
}

int TFormMain::SelectedSourceRow() const {
    const QModelIndexList rows = NextGrid->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TFormMain::SelectSourceRow(int row) {
    QItemSelectionModel* selection = NextGrid->selectionModel();
    if (row < 0 || row >= FSourceGrid->rowCount()) {
        selection->clear();
        return;
    }
    selection->setCurrentIndex(FSourceGrid->index(row, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TFormMain::SetUpOpenDialog() {
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName("OpenDialog");
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setOption(QFileDialog::ReadOnly, false);
    // The filter shows by its names; the patterns behind them match in any case.
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails, true);
    OpenDialog->setNameFilters(DialogNameFilters());
    OpenDialog->setSizeGripEnabled(true);
}

void TFormMain::ActionAddExecute() {
    if (SourceBatchRunning())
        return;
    OpenDialog->setDirectory(Q(GlobalVars->LastOpenDir));
    if (OpenDialog->exec() != QDialog::Accepted)
        return;
    std::vector<std::string> files;
    for (const QString& file : OpenDialog->selectedFiles())
        files.push_back(file.toStdString());
    {
        TBusyCursor busy;
        AddSourceFiles(files);
    }
    if (files.size() > 1) {
        OpenDialog->selectFile(QString());
        // The toolkit's own dialog keeps typed names in its field otherwise.
        if (auto* field = OpenDialog->findChild<QLineEdit*>("fileNameEdit"))
            field->clear();
    }
    if (!files.empty())
        GlobalVars->LastOpenDir = FolderOfFile(files.front());
}

void TFormMain::ActionDeleteExecute() {
    const int row = SelectedSourceRow();
    if (SourceBatchRunning() || row < 0)
        return;
    FSourceGrid->RemoveSourceRow(row);
    SelectSourceRow(std::min(row, FSourceGrid->rowCount() - 1));
}

void TFormMain::ActionClearExecute() {
    if (!SourceBatchRunning())
        FSourceGrid->Clear();
}

void TFormMain::MoveSelectedSource(int step) {
    const int row = SelectedSourceRow();
    if (SourceBatchRunning() || row < 0)
        return;
    if (FSourceGrid->MoveSourceRow(row, row + step))
        SelectSourceRow(row + step);
}

void TFormMain::ActionPlayExecute() {
    const int row = SelectedSourceRow();
    if (!SourceBatchRunning() && row >= 0)
        OpenWithShell(FSourceGrid->Text(row, NxTextColumnFileFullName).toStdString());
}

std::vector<std::string> TFormMain::SourceFilePaths() const {
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(FSourceGrid->rowCount()));
    for (int row = 0; row < FSourceGrid->rowCount(); ++row)
        paths.push_back(FSourceGrid->Text(row, NxTextColumnFileFullName).toStdString());
    return paths;
}

void TFormMain::ClearSourceList() {
    FSourceGrid->Clear();
    GlobalVars->FailedFiles.clear();
}

bool TFormMain::SourceBatchRunning() const {
    return FSourceAddRunning;
}

void TFormMain::DropSourceFiles(const std::vector<std::string>& names) {
    TBusyCursor busy;
    AddSourceFiles(AcceptedDroppedFiles(names));
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    DropSourceFiles(DroppedLocalFiles(event->mimeData()));
}

void TFormMain::AddSourceFilesWhenShown(std::vector<std::string> paths) {
    FFilesWhenShown.insert(FFilesWhenShown.end(), paths.begin(), paths.end());
    if (isVisible())
        AddFilesWhenShownSoon();
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FFilesWhenShown.empty())
        AddFilesWhenShownSoon();
}

// Once the window has painted: the files follow through the event loop.
void TFormMain::AddFilesWhenShownSoon() {
    QTimer::singleShot(0, this, [this] {
        std::vector<std::string> files;
        files.swap(FFilesWhenShown);
        AddSourceFiles(files);
    });
}

void TFormMain::AddSourceFiles(const std::vector<std::string>& paths) {
    if (paths.empty())
        return;
    // A batch is running: this one follows it.
    if (FSourceAddRunning) {
        FPendingSourceAdds.push_back(paths);
        return;
    }
    FSourceAddRunning = true;
    BeginSourceAdd(*GlobalVars);
    // The window repaints once before probing starts.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // A run's workers may hold the codec lock while they wait for the main thread; the
    // files are then probed here, as a few files always are.
    if (paths.size() > ForegroundProbeLimit && !FFEncoder->Working()) {
        StartSourceBatch(paths);
        return;
    }
    TBusyCursor busy;
    const QImage audioPicture = ImageAudioIcon->pixmap().toImage();
    std::vector<TProbedRow> rows;
    std::string libraryError;
    try {
        for (const std::string& path : paths) {
            TProbedRow row;
            row.Source = ProbeSource(FFEncoder->Decoder(), path);
            row.Thumbnail = SourceThumbnail(row.Source, audioPicture);
            row.Source.Picture = TBitmap();
            rows.push_back(std::move(row));
        }
    } catch (const std::exception& e) {
        libraryError = e.what();
    }
    AppendProbedRows(std::move(rows));
    FSourceAddRunning = false;
    EndSourceAdd(libraryError);
}

void TFormMain::AppendProbedRows(std::vector<TProbedRow> probed) {
    const QFontMetrics metrics(font());
    std::vector<TSourceRow> rows;
    rows.reserve(probed.size());
    for (TProbedRow& entry : probed) {
        TProbedSource& source = entry.Source;
        NoteProbedSource(*GlobalVars, source);
        if (!source.Loaded)
            continue;
        const TSourceRowTexts texts = SourceRowTexts(source.Facts);
        const QString path = Q(source.Path);
        TSourceRow row;
        row.Picture = entry.Thumbnail;
        FThumbnails.push_back(entry.Thumbnail);
        const std::pair<TSourceColumn, QString> cells[] = {
            {NxTextColumnFileMinName, metrics.elidedText(path, Qt::ElideLeft, SlideNameWidth)},
            {NxTextColumnDuration, Q(texts.Duration)},
            {NxTextColumnBitrate, Q(texts.Bitrate)},
            {NxTextColumnDimension, Q(texts.Dimension)},
            {NxTextColumnFileFullName, path},
            {NxTextColumnFileSize, Q(texts.FileSize)},
            {NxTextColumnVideoEncoder, Q(texts.VideoEncoder)},
            {NxTextColumnAudioChannels, Q(texts.AudioChannels)},
            {NxTextColumnAudioSampleRate, Q(texts.AudioSampleRate)},
            {NxTextColumnAudioBitrate, Q(texts.AudioBitrate)},
            {NxTextColumnAudioEncoder, Q(texts.AudioEncoder)},
            {NxTextColumnFrameRate, Q(texts.FrameRate)},
            {NxTextColumnRealDuration, Q(texts.RealDuration)},
        };
        for (const auto& [column, text] : cells)
            row.Texts[column] = text;
        rows.push_back(std::move(row));
    }
    FSourceGrid->AppendRows(std::move(rows));
}

void TFormMain::StartSourceBatch(const std::vector<std::string>& paths) {
    FSourceBatchBusy = std::make_unique<TBusyCursor>();
    FSourceBatchBlocker =
        std::make_unique<TSourceBatchInputBlocker>(this, FTitleBar, LabelTitle, ActionExit);
    qApp->installEventFilter(FSourceBatchBlocker.get());
    LabelAdding->setText(Q(AddingProgressText(0, paths.size())));
    LabelAdding->show();
    Announce(LabelAdding);
    FSourceBatch = std::make_unique<TSourceProbeBatch>(
        paths, ImageAudioIcon->pixmap().toImage(),
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { DrainSourceBatch(); }, Qt::QueuedConnection);
        },
        std::max(1u, std::thread::hardware_concurrency()));
}

void TFormMain::DrainSourceBatch() {
    if (!FSourceBatch || FSourceDrainPending)
        return;
    // Everything the workers probed is stored before they say they have finished.
    const bool finished = FSourceBatch->Finished();
    if (!finished && FSourceDrainClock.isValid() &&
        FSourceDrainClock.elapsed() < SourceDrainIntervalMs) {
        FSourceDrainPending = true;
        QTimer::singleShot(SourceDrainIntervalMs - FSourceDrainClock.elapsed(), this, [this] {
            FSourceDrainPending = false;
            DrainSourceBatch();
        });
        return;
    }
    FSourceDrainClock.start();
    AppendProbedRows(FSourceBatch->Take());
    LabelAdding->setText(Q(AddingProgressText(FSourceBatch->Done(), FSourceBatch->Total())));
    Announce(LabelAdding);
    if (!finished)
        return;
    const std::string libraryError = FSourceBatch->LibraryError();
    EndSourceBatch();
    EndSourceAdd(libraryError);
}

void TFormMain::StopSourceBatch() {
    FPendingSourceAdds.clear();
    FFilesWhenShown.clear();
    EndSourceBatch();
}

void TFormMain::EndSourceBatch() {
    FSourceBatch.reset();
    FSourceDrainClock.invalidate();
    FSourceBatchBlocker.reset();
    FSourceBatchBusy.reset();
    LabelAdding->hide();
    FSourceAddRunning = false;
}

void TFormMain::EndSourceAdd(const std::string& libraryError) {
    if (!libraryError.empty())
        ShowMessage(libraryError, TMessageKind::mkError);
    else if (!GlobalVars->FailedFiles.empty() && SecondaryWindows().FailedAddFiles)
        SecondaryWindows().FailedAddFiles(this, GlobalVars->FailedFiles);
    UpdateSourceActions();
    if (FPendingSourceAdds.empty())
        return;
    std::vector<std::string> next = std::move(FPendingSourceAdds.front());
    FPendingSourceAdds.pop_front();
    QTimer::singleShot(0, this, [this, next = std::move(next)] { AddSourceFiles(next); });
}
