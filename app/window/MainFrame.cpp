// The main window's frame: creation, actions, the skin and title bar, the creation sequence,
// closing and placement. Each wizard step builds its page in a file of its own.
#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "AppLog.h"
#include "FFLoad.h"
#include "PlatformServices.h"
#include "QtPlatform.h"
#include "Skin.h"
#include "SkinTitleBar.h"
#include "SourceGridModel.h"
#include "SourceProbeBatch.h"
#include "WindowWidgets.h"
#include "brand/Brands.h"
#include "brand/PageTexts.h"
#include "brand/StartUp.h"
#include "jobs/OutputFormats.h"
#include "settings/IniFile.h"
#include "settings/ShellFolders.h"
#include "settings/globals.h"

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
    ConnectHelpCommands();
    ConnectWizardCommands();
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
    ActionHelp = NewAction("ActionHelp", "&Help");
    ActionLog = NewAction("ActionLog", "&Log");
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
    // The pages change by the wizard's commands only: neither the page control nor its
    // (hidden) tab bar is a Tab stop.
    PageControlMain->setFocusPolicy(Qt::NoFocus);
    PageControlMain->tabBar()->setFocusPolicy(Qt::NoFocus);
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

void TFormMain::FormCreate() {
    TGlobalVars& vars = *GlobalVars;
    const std::string& title = ApplicationTitle();

    // 1. No caption of its own: the title shows as the application title and in texts.
    setWindowTitle(QString());
    // The desktop's tools name the window by the title its title bar shows.
    setAccessibleName(title.empty() ? QApplication::applicationDisplayName() : Q(title));
    FTitleBar->SetTitle(Q(title));
    FTitleBar->SetIcon(QApplication::windowIcon());

    // 2. The title in the summary page's captions.
    LabelFinishTitle1->setText(Q(SubstituteTitle(FinishTitle1Caption, title)));
    LabelFinishTitle2->setText(Q(SubstituteTitle(FinishTitle2Caption, title)));

    // 3 to 7. The brand's links, the per-user data folder, the defaults, the settings and
    // the old log beside the program; then the brand's skin, and a first start (which wrote
    // the settings) centres the window.
    const TShellStart start = StartShell(vars, title, FProgramFolder, OldLogFileName(FProgramPath));
    LoadBrandSkin(start.SkinFile);
    if (!start.SettingsExisted) {
        TWindowPlacement placement = Placement();
        CentreWindow(placement, PrimaryScreen());
        move(placement.Left, placement.Top);
    }

    // 8. Widgets paint double-buffered already; the thumbnail list starts empty.
    FThumbnails.clear();
    FillPresetLists();
    setAcceptDrops(true);
    SetUpOpenDialog();

    // 9. The placement of the last session, on the screen it was on; none stored (an
    // unclean end before it was written) or none on a screen: centred on the primary screen.
    TWindowPlacement placement = Placement();
    CentreWindow(placement, PrimaryScreen());
    TScreenRect screen = PrimaryScreen();
    const bool onScreen = StoredPlacementScreen(placement, screen);
    LoadPlacement(vars, FormSection, placement, screen);
    if (!onScreen)
        CentreWindow(placement, screen);
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

namespace {

// The captions of the bottom row with the letter Alt presses (no two on one page share a
// letter, nor with a control of the page).
struct TMnemonic {
    const char* Caption;
    const char* WithMnemonic;
};
constexpr TMnemonic BottomRowMnemonics[] = {
    {"Help", "&Help"},       {"Log", "&Log"},       {"Back", "&Back"}, {"Next", "&Next"},
    {"Convert", "Con&vert"}, {"Finish", "&Finish"}, {"Exit", "E&xit"}, {"Cancel", "&Cancel"},
};

} // namespace

QString WithMnemonic(const char* caption) {
    for (const TMnemonic& m : BottomRowMnemonics)
        if (std::strcmp(m.Caption, caption) == 0)
            return m.WithMnemonic;
    return caption;
}

void TFormMain::ApplyPageTexts() {
    const TPageTexts* texts = PageTextsOf(PageControlMain->currentIndex());
    if (!texts)
        return;
    LabelTitle->setText(texts->Title);
    ActionBack->setText(WithMnemonic(BackCaption));
    ActionBack->setEnabled(texts->BackEnabled);
    ActionNext->setText(WithMnemonic(texts->NextCaption));
    ActionNext->setEnabled(texts->NextEnabled);
    ActionExit->setText(WithMnemonic(texts->ExitCaption));
    ActionExit->setEnabled(true);
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (!CloseConfirmed() || !FormCloseQuery()) {
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
    StopSourceBatch();
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
    // A maximised window keeps the size it is restored to: that one is stored.
    const bool maximized = windowState().testFlag(Qt::WindowMaximized);
    const QRect bounds =
        maximized && normalGeometry().isValid() ? normalGeometry() : frameGeometry();
    return {bounds.x(), bounds.y(), bounds.width(), bounds.height(), maximized};
}

void TFormMain::ApplyPlacement(const TWindowPlacement& placement) {
    setWindowState(windowState() & ~Qt::WindowMaximized);
    move(placement.Left, placement.Top);
    resize(placement.Width, placement.Height);
    if (placement.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

bool TFormMain::StoredPlacementScreen(const TWindowPlacement& fallback, TScreenRect& screen) const {
    const TIniFile file(SettingsFilePath(*GlobalVars));
    const int x = file.ReadInteger(FormSection, "x", fallback.Left);
    const int y = file.ReadInteger(FormSection, "y", fallback.Top);
    const int width = file.ReadInteger(FormSection, "width", fallback.Width);
    const int height = file.ReadInteger(FormSection, "height", fallback.Height);
    const QRect stored(x, y, std::max(width, 1), std::max(height, 1));
    // The screen that holds most of the stored window; none: the primary one.
    const QScreen* best = nullptr;
    int bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(stored);
        const int area = common.isEmpty() ? 0 : common.width() * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best)
        return false;
    const QRect area = best->availableGeometry();
    screen = {area.x(), area.y(), area.width(), area.height()};
    return true;
}

TScreenRect TFormMain::PrimaryScreen() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0, width(), height()};
    const QRect area = screen->geometry();
    return {area.x(), area.y(), area.width(), area.height()};
}
