#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <filesystem>

#include "AppLog.h"
#include "Brands.h"
#include "FFLoad.h"
#include "IniFile.h"
#include "OutputFormats.h"
#include "PageTexts.h"
#include "PlatformServices.h"
#include "QtPlatform.h"
#include "ShellFolders.h"
#include "Skin.h"
#include "SkinTitleBar.h"
#include "StartUp.h"
#include "globals.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

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

// A push button that shows its action: caption and enabled state follow the action, a
// click triggers it.
void BindButton(QAbstractButton* button, QAction* action) {
    auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}

QLabel* ValueLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* Rule(QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setObjectName("FinishRule");
    rule->setFrameShape(QFrame::NoFrame);
    rule->setFixedHeight(1);
    return rule;
}

} // namespace

TFormMain::TFormMain(const std::string& programPath, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FProgramPath(programPath),
      FProgramFolder(
          EnsureTrailingSeparator(std::filesystem::path(programPath).parent_path().string())) {
    setObjectName("FormMain");
    InitAppResources();
    FFLogger = std::make_unique<TFFLogger>(this);
    FFEncoder = std::make_unique<TFFEncoder>();
    FFLogger->SetOnLog(
        [this](void* sender, uint32_t threadID, TLogLevel level, const std::string& msg) {
            FFLoggerLog(sender, threadID, level, msg);
        });
    CreateControls();
    FormCreate();
}

TFormMain::~TFormMain() {
    FFLogger->SetOnLog(nullptr);
}

QAction* TFormMain::NewAction(const char* name, const char* caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    // Shortcuts work anywhere in the window.
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

void TFormMain::CreateControls() {
    // Actions first: the buttons show them.
    ActionBack = NewAction("ActionBack", BackCaption);
    ActionNext = NewAction("ActionNext", "Next");
    ActionExit = NewAction("ActionExit", "Exit");
    ActionExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    ActionHelp = NewAction("ActionHelp", "Help");
    ActionLog = NewAction("ActionLog", "Log");
    ActionHelpContent = NewAction("ActionHelpContent", "Help Content");
    ActionHelpContent->setShortcut(QKeySequence(Qt::Key_F1));
    ActionHomePage = NewAction("ActionHomePage", "Home Page");
    ActionCheckforUpdates = NewAction("ActionCheckforUpdates", "Check for Updates...");
    ActionContactTechnicalSupport =
        NewAction("ActionContactTechnicalSupport", "Contact Technical Support...");
    ActionAbout = NewAction("ActionAbout", "About");

    PopupMenuHelp = new QMenu(this);
    PopupMenuHelp->setObjectName("PopupMenuHelp");
    PopupMenuHelp->addAction(ActionHelpContent);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionHomePage);
    PopupMenuHelp->addAction(ActionCheckforUpdates);
    PopupMenuHelp->addAction(ActionContactTechnicalSupport);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionAbout);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    FTitleBar = new TSkinTitleBar(this);
    outer->addWidget(FTitleBar);

    FBody = new QWidget(this);
    FBody->setObjectName("FormMainBody");
    FBody->setAutoFillBackground(true);
    outer->addWidget(FBody, 1);
    auto* body = new QVBoxLayout(FBody);
    body->setContentsMargins(0, 0, 0, 10);
    body->setSpacing(8);

    LabelTitle = new QLabel(FBody);
    LabelTitle->setObjectName("LabelTitle");
    LabelTitle->setTextFormat(Qt::PlainText);
    LabelTitle->setWordWrap(true);
    LabelTitle->setMinimumHeight(40);
    LabelTitle->installEventFilter(this);
    body->addWidget(LabelTitle);

    PageControlMain = new QTabWidget(FBody);
    PageControlMain->setObjectName("PageControlMain");
    PageControlMain->setDocumentMode(false);
    TabSheetStep1 = CreateStep1();
    TabSheetStep2 = CreateStep2();
    TabSheetStep3 = CreateStep3();
    TabSheetStep4 = CreateStep4();
    PageControlMain->addTab(TabSheetStep1, "Step 1");
    PageControlMain->addTab(TabSheetStep2, "Step 2");
    PageControlMain->addTab(TabSheetStep3, "Step 3");
    PageControlMain->addTab(TabSheetStep4, "Step 4");
    auto* pages = new QHBoxLayout;
    pages->setContentsMargins(10, 0, 10, 0);
    pages->addWidget(PageControlMain);
    body->addLayout(pages, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(10, 0, 10, 0);
    bottom->setSpacing(8);
    auto button = [this](const char* name, QAction* action) {
        auto* b = new QPushButton(FBody);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setMinimumWidth(88);
        BindButton(b, action);
        return b;
    };
    ButtonHelp = button("ButtonHelp", ActionHelp);
    ButtonLog = button("ButtonLog", ActionLog);
    ButtonBack = button("ButtonBack", ActionBack);
    ButtonNext = button("ButtonNext", ActionNext);
    ButtonExit = button("ButtonExit", ActionExit);
    ButtonNext->setDefault(true);
    bottom->addWidget(ButtonHelp);
    bottom->addWidget(ButtonLog);
    bottom->addStretch(1);
    bottom->addWidget(ButtonBack);
    bottom->addWidget(ButtonNext);
    bottom->addWidget(ButtonExit);
    body->addLayout(bottom);

    resize(MainClientWidth, MainClientHeight + FTitleBar->height());
}

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

QWidget* TFormMain::CreateStep2() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep2");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    auto* folderGroup = new QGroupBox("Output Folder", page);
    auto* folderRow = new QHBoxLayout(folderGroup);
    EditOutputDir = new QLineEdit(folderGroup);
    EditOutputDir->setObjectName("EditOutputDir");
    ButtonSelectDir = new QPushButton("Browse...", folderGroup);
    ButtonSelectDir->setObjectName("ButtonSelectDir");
    ButtonSelectDir->setAutoDefault(false);
    folderRow->addWidget(EditOutputDir, 1);
    folderRow->addWidget(ButtonSelectDir);
    layout->addWidget(folderGroup);

    auto* formatGroup = new QGroupBox("Output Format", page);
    auto* formatLayout = new QVBoxLayout(formatGroup);
    auto* formatRow = new QHBoxLayout;
    formatRow->setSpacing(2);
    PresetStack = new QStackedWidget(formatGroup);
    PresetStack->setObjectName("PresetStack");
    for (const TOutputFormatInfo& format : OutputFormats()) {
        auto* b = new QPushButton(format.Name, formatGroup);
        b->setObjectName(QString("ButtonFormat") + format.Name);
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setAutoDefault(false);
        b->setProperty("formatButton", true);
        b->setFixedSize(62, 57);
        FormatButtons.push_back(b);
        formatRow->addWidget(b);
        auto* list = new QComboBox(PresetStack);
        list->setObjectName(format.PresetListName);
        list->setEditable(false);
        list->setMinimumHeight(36);
        PresetLists.push_back(list);
        PresetStack->addWidget(list);
    }
    formatRow->addStretch(1);
    formatLayout->addLayout(formatRow);
    auto* presetLabel = new QLabel("Preset:", formatGroup);
    formatLayout->addSpacing(8);
    formatLayout->addWidget(presetLabel);
    formatLayout->addWidget(PresetStack);
    layout->addWidget(formatGroup);
    layout->addStretch(1);
    return page;
}

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
    summaryHead->addWidget(Rule(page), 1);
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
        counts->addWidget(new QLabel(caption, page), row, 0);
        counts->addWidget(value, row, 1);
        ++row;
    }
    counts->setColumnStretch(2, 1);
    layout->addLayout(counts);

    LabelOpenFolder = ValueLabel("LabelOpenFolder", "Open folder", page);
    // The toolkit's pointing hand is the system's own hand cursor.
    LabelOpenFolder->setCursor(Qt::PointingHandCursor);
    layout->addSpacing(6);
    layout->addWidget(LabelOpenFolder);
    layout->addStretch(1);

    LabelFinishTitle2 = ValueLabel("LabelFinishTitle2", FinishTitle2Caption, page);
    LabelFinishTitle2->setWordWrap(true);
    layout->addWidget(LabelFinishTitle2);
    return page;
}

void TFormMain::FormCreate() {
    TGlobalVars& vars = *GlobalVars;
    const std::string& title = ApplicationTitle();

    // 1. No caption of its own: the title shows as the application title and in texts.
    setWindowTitle(QString());
    FTitleBar->SetTitle(Q(title));
    FTitleBar->SetIcon(QApplication::windowIcon());

    // 2. The title in the summary page's captions.
    LabelFinishTitle1->setText(Q(SubstituteTitle(FinishTitle1Caption, title)));
    LabelFinishTitle2->setText(Q(SubstituteTitle(FinishTitle2Caption, title)));

    // 3. The brand's skin and links.
    LoadBrandSkin(ApplyBrand(vars, title, FProgramFolder));

    // 4. The per-user data folder.
    vars.DataFolder = MakeDataFolder(GetShellFolder("AppData"), title);

    // 5. The defaults the settings file may override.
    SetDefaultSettings(vars);

    // 6. The settings; a first start writes them and centres the window.
    if (!LoadSettings(vars)) {
        TWindowPlacement placement = Placement();
        CentreWindow(placement, PrimaryScreen());
        move(placement.Left, placement.Top);
    }

    // 7. The old log beside the program seeds the application log.
    LoadOldLog(OldLogFileName(FProgramPath), vars.LogLines);

    // 8. Widgets paint double-buffered already; the thumbnail list starts empty.
    FThumbnails.clear();
    FillPresetLists();
    setAcceptDrops(true);
    SetUpOpenDialog();

    // 9. The placement of the last session.
    TWindowPlacement placement = Placement();
    LoadPlacement(vars, FormSection, placement, PrimaryScreen());
    ApplyPlacement(placement);

    // 10.
    ApplyPageTexts();

    // 11. The media libraries from "lib" beside the program; without them the wizard stays
    // as it is, with its tab headers, and the log says why.
    if (!MediaLibrariesLoaded()) {
        if (!LoadMediaLibraries(FProgramFolder + "lib")) {
            vars.LogLines.push_back(MediaLibrariesError());
            return;
        }
    }

    // 12. The steps change only by the wizard's commands from now on.
    PageControlMain->tabBar()->hide();
    PageControlMain->setCurrentIndex(0);

    // 13.
    ApplyPageTexts();
}

void TFormMain::LoadBrandSkin(const std::string& skinFile) {
    if (skinFile.empty())
        return;
    TSkin skin;
    if (!LoadSkinFile(skinFile, skin))
        return;
    FSkinFileName = skinFile;
    ApplySkin(skin);
    FTitleBar->SetBarHeight(skin.CaptionHeight);
    resize(MainClientWidth, MainClientHeight + FTitleBar->height());
}

void TFormMain::FillPresetLists() {
    for (const TOutputFormatIndex format : PresetListFillOrder) {
        QComboBox* list = PresetLists[format];
        list->clear();
        for (const TPresetSettings& preset : OutputFormats()[format].Presets)
            list->addItem(preset.Caption);
    }
}

void TFormMain::SetUpOpenDialog() {
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName("OpenDialog");
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setNameFilters(DialogNameFilters(OpenDialogFilter));
    OpenDialog->setSizeGripEnabled(true);
}

// The media libraries are loaded through the window's encoder component.
bool TFormMain::MediaLibrariesLoaded() const {
    return FFEncoder->AVLibLoaded();
}

bool TFormMain::LoadMediaLibraries(const std::string& folder) {
    return FFEncoder->LoadAVLib(folder);
}

std::string TFormMain::MediaLibrariesError() const {
    return FFEncoder->LastErrMsg();
}

void TFormMain::ApplyPageTexts() {
    const TPageTexts* texts = PageTextsOf(PageControlMain->currentIndex());
    if (!texts)
        return;
    LabelTitle->setText(texts->Title);
    ActionBack->setText(BackCaption);
    ActionBack->setEnabled(texts->BackEnabled);
    ActionNext->setText(texts->NextCaption);
    ActionNext->setEnabled(texts->NextEnabled);
    ActionExit->setText(texts->ExitCaption);
    ActionExit->setEnabled(true);
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TFormMain::FormCloseQuery() {
    // No event may reach a closing window: detach the handlers, then stop the running jobs
    // and wait for them. Closing is always allowed.
    FFEncoder->OnProgress.Clear();
    FFEncoder->OnTerminate.Clear();
    FFEncoder->OnVideoInputHook.Clear();
    FFEncoder->OnVideoOutputHook.Clear();
    FFEncoder->Stop(true);
    return true;
}

void TFormMain::FormClose() {
    // A failed save is reported and the window closes all the same.
    try {
        SaveSettings(*GlobalVars);
        SavePlacement(*GlobalVars, FormSection, Placement());
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMessageKind::mkError);
    }
}

void TFormMain::FFLoggerLog(void*, uint32_t threadID, TLogLevel level, const std::string& msg) {
    GlobalVars->LogLines.push_back(FormatLogLine(threadID, level, msg));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabelTitle && event->type() == QEvent::MouseMove &&
        (static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton)) {
        ImageMainMouseMove();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMain::ImageMainMouseMove() {
    if (QWindow* handle = windowHandle())
        handle->startSystemMove();
}

TWindowPlacement TFormMain::Placement() const {
    const QRect bounds = frameGeometry();
    return {bounds.x(), bounds.y(), bounds.width(), bounds.height(),
            windowState().testFlag(Qt::WindowMaximized)};
}

void TFormMain::ApplyPlacement(const TWindowPlacement& placement) {
    move(placement.Left, placement.Top);
    resize(placement.Width, placement.Height);
    setWindowState(placement.Maximized ? (windowState() | Qt::WindowMaximized)
                                       : (windowState() & ~Qt::WindowMaximized));
}

TScreenRect TFormMain::PrimaryScreen() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0, width(), height()};
    const QRect area = screen->geometry();
    return {area.x(), area.y(), area.width(), area.height()};
}
