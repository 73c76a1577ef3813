// The main window `TFormMain`: a frameless four-step wizard dressed by the brand's skin.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "FFEncode.h"
#include "SourceGridView.h" // NextGrid is a widget to every user of the window
#include "brand/SkinStyle.h"
#include "jobs/ConversionRun.h"
#include "log/FFLog.h"
#include "settings/UtilFuncs.h"

class QAction;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class TSkinTitleBar;
class TBusyCursor;
class TSourceGridModel;
class TSourceProbeBatch;
struct TProbedRow;

// The size of the window's client area, below the skin's title bar.
inline constexpr int MainClientWidth = 698;
inline constexpr int MainClientHeight = 542;

// `caption` of the bottom row (Help, Log, Back, Next, Convert, Finish, Exit, Cancel) with its
// mnemonic; any other caption as it is.
QString WithMnemonic(const char* caption);

class TFormMain : public QWidget, private TRunObserver {
    Q_OBJECT
public:
    // `programPath` is the program's own file: the brand's skin, the old log file and the
    // folder "lib" are found beside it. `GlobalVars` must exist.
    explicit TFormMain(const std::string& programPath, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Sets the instruction and the Back, Next and Exit actions for the current page.
    void ApplyPageTexts();

    // The full paths of the source list's rows, in the list's order (the order of conversion).
    std::vector<std::string> SourceFilePaths() const;
    // Empties the source list and the failed-files list (the reset before a new conversion).
    void ClearSourceList();

    // The screen point at which the help menu opens: just below the Help button.
    QPoint HelpMenuPoint() const;
    // The add routine of the source list: probes every path, appends a row per file that
    // opens, in list order, logs the others and lists them in the failed-files window. A
    // batch of more than a few files is probed off the main thread; a call while a batch runs
    // waits for it.
    void AddSourceFiles(const std::vector<std::string>& paths);
    // Adds `paths` through AddSourceFiles once the window is shown (files named on the
    // command line).
    void AddSourceFilesWhenShown(std::vector<std::string> paths);
    // The drop handler: folders are skipped, files of the accepted types are added.
    void DropSourceFiles(const std::vector<std::string>& names);
    // True while a batch is probed; the window's other commands wait meanwhile.
    bool SourceBatchRunning() const;
    // The source list's rows (the grid's model).
    TSourceGridModel* SourceGrid() const { return FSourceGrid; }

    // ---- the wizard's commands (Next, Back and Exit on the current step)
    void WizardNext();
    void WizardBack();
    void WizardExit();
    // Stops the run of step 3 once (Cancel confirmed, or the window closing during it).
    void CancelRun();

    // ---- step 2
    // Disables the button of `index`, enables the others, brings its preset list to the front
    // and makes it the output format.
    void SelectFormat(int index);
    // Loads the page's controls from the settings (entering step 2 from step 1).
    void ShowOutputStep();
    // Writes the folder, the preset selections and the simultaneous conversions back.
    void StoreOutputStep();
    // The folder picker for the output folder.
    void ButtonSelectDirClick();

    // ---- the run (steps 3 and 4)
    // Goes to step 3 and queues BeginRun on the event loop.
    void StartRun();
    // Queues the jobs of the source list and starts them (a queued call).
    void BeginRun();
    // The sound, the shutdown countdown, the notification and the summary (a queued call).
    void EndRun();
    // Step 4 with the run's counts.
    void ShowSummary();
    // Empties the conversion and source lists, resets the labels and totals, goes to step 1.
    void ResetRun();
    // The run of step 3; null before the first and after a reset.
    TConversionRun* Run() const { return FRun.get(); }
    // The file a sound is played from: "sounds/done.wav" or "sounds/fail.wav" beside the
    // program.
    std::string SoundFile(bool failed) const;

    // The skin file that was loaded at creation; empty when none was.
    const std::string& SkinFileName() const { return FSkinFileName; }
    // The area below the skin's title bar.
    QWidget* ClientArea() const { return FBody; }
    TSkinTitleBar* TitleBar() const { return FTitleBar; }

    // The page control and its pages.
    QTabWidget* PageControlMain = nullptr;
    QWidget* TabSheetStep1 = nullptr;
    QWidget* TabSheetStep2 = nullptr;
    QWidget* TabSheetStep3 = nullptr;
    QWidget* TabSheetStep4 = nullptr;

    QLabel* LabelTitle = nullptr;
    QLabel* LabelFinishTitle1 = nullptr;
    QLabel* LabelFinishTitle2 = nullptr;

    // The bottom row, left to right.
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonLog = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonExit = nullptr;

    // Wizard and help actions.
    QAction* ActionBack = nullptr;
    QAction* ActionNext = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionHelp = nullptr;
    QAction* ActionLog = nullptr;
    QAction* ActionHelpContent = nullptr;
    QAction* ActionHomePage = nullptr;
    QAction* ActionCheckforUpdates = nullptr;
    QAction* ActionContactTechnicalSupport = nullptr;
    QAction* ActionAbout = nullptr;
    QMenu* PopupMenuHelp = nullptr;

    // Step 1: the source list and its actions.
    TSourceGridView* NextGrid = nullptr;
    QLabel* ImageAudioIcon = nullptr;
    QLabel* LabelAdding = nullptr; // "Adding 120 of 800..." while a batch runs
    QMenu* PopupMenuSource = nullptr;
    QAction* ActionAdd = nullptr;
    QAction* ActionDelete = nullptr;
    QAction* ActionClear = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* ActionPlay = nullptr;
    QFileDialog* OpenDialog = nullptr;

    // Step 2: output folder, formats and their preset lists.
    QLineEdit* EditOutputDir = nullptr;
    QPushButton* ButtonSelectDir = nullptr;
    std::vector<QPushButton*> FormatButtons; // ButtonFormatWAV to ButtonFormatMP2
    std::vector<QComboBox*> PresetLists;     // indexed by format
    QStackedWidget* PresetStack = nullptr;
    QSpinBox* SpinSimultaneousConversions = nullptr;

    // Step 3: the conversion list, the status group and the post-run options.
    QTreeWidget* ListViewConverting = nullptr;
    QLabel* LabelCurrentFile = nullptr;
    QLabel* LabelEstimated = nullptr;
    QLabel* LabelElapsed = nullptr;
    QLabel* LabelTimeLeft = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* LabelProgress = nullptr;
    QCheckBox* CheckBoxPlayASound = nullptr;
    QCheckBox* CheckBoxShutdown = nullptr;

    // Step 4: the summary.
    QLabel* LabelFinishTotalFiles = nullptr;
    QLabel* LabelFinishSuccessed = nullptr;
    QLabel* LabelFinishFailed = nullptr;
    QLabel* LabelFinishCancelled = nullptr; // "Cancelled: N", shown when jobs were
    QPushButton* LabelOpenFolder = nullptr; // a link that opens the output folder

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    QWidget* CreateStep1();
    QWidget* CreateStep2();
    QWidget* CreateStep3();
    QWidget* CreateStep4();
    void ConnectWizardCommands();
    void ConnectOutputStep();
    void ConnectConvertStep();
    void ConnectFinishStep();
    // The page shown: 0 to 3.
    int Step() const;
    void GoToStep(int index);

    // The run's reports, on the main thread.
    void JobProgressed(int job) override;
    void JobEnded(int job, const TTerminateInfo& info) override;
    void RunEnded() override;
    void ShowRunTimes();
    // The overall bar and percentage from the run's state.
    void ShowOverallProgress();
    // The conversion list's columns as wide as their texts.
    void FitConvertColumns();
    // The desktop's notice of the end of a run while the window is not active.
    void NotifyRunEnded();
    QAction* NewAction(const char* name, const char* caption);

    // The help menu and its links, the Log and About commands.
    void ConnectHelpCommands();
    void ActionHelpExecute();
    // Step 1: the commands, their enabled states and the pieces of the add routine.
    void ConnectSourceActions();
    void UpdateSourceActions();
    void ActionAddExecute();
    void ActionDeleteExecute();
    void ActionClearExecute();
    void MoveSelectedSource(int step);
    void ActionPlayExecute();
    int SelectedSourceRow() const;
    void SelectSourceRow(int row);
    void AppendProbedRows(std::vector<TProbedRow> rows);
    void StartSourceBatch(const std::vector<std::string>& paths);
    void DrainSourceBatch();
    void EndSourceAdd(const std::string& libraryError);
    void EndSourceBatch();
    void AddFilesWhenShownSoon();
    // Closing: the batch stops, the adds waiting for it are dropped.
    void StopSourceBatch();

    // The creation sequence and its pieces.
    void FormCreate();
    void LoadBrandSkin(const std::string& skinFile);
    void FillPresetLists();
    void SetUpOpenDialog();
    bool MediaLibrariesLoaded() const;
    bool LoadMediaLibraries(const std::string& folder);
    std::string MediaLibrariesError() const;

    // Closing.
    // The question a close from outside (Alt+F4, the window manager) asks first, as Exit
    // does; true when the window may close. During a run a yes stops it.
    bool CloseConfirmed();
    bool FormCloseQuery();
    void FormClose();

    // The logger's lines become lines of the application log.
    void FFLoggerLog(void* sender, uint32_t threadID, TLogLevel level, const std::string& msg);
    // Hands moving the window to the platform while the title label is dragged.
    void ImageMainMouseMove();

    TWindowPlacement Placement() const;
    void ApplyPlacement(const TWindowPlacement& placement);
    TScreenRect PrimaryScreen() const;
    // The screen the stored placement lies on most, into `screen`; false (and `screen` as it
    // was) when it lies on none. `fallback` stands for values not stored.
    bool StoredPlacementScreen(const TWindowPlacement& fallback, TScreenRect& screen) const;

    std::string FProgramPath;
    std::string FProgramFolder; // with a trailing separator
    std::string FSkinFileName;
    TSkinTitleBar* FTitleBar = nullptr;
    QWidget* FBody = nullptr;
    std::unique_ptr<TFFLogger> FFLogger;
    std::unique_ptr<TFFEncoder> FFEncoder;
    // Declared after the encoder: the run goes first.
    std::unique_ptr<TConversionRun> FRun;
    // Cancel was confirmed before BeginRun ran: the run queues nothing.
    bool FCancelBeforeBegin = false;
    // Cancel was confirmed for the run under way: a second Cancel asks nothing and does
    // nothing.
    bool FCancelRequested = false;
    // A wizard command is running: input that its message boxes or event processing let
    // through does not start another one (a double click on Convert runs it once).
    bool FCommandRunning = false;
    // The close was confirmed (Exit, or the close question): closeEvent asks nothing more.
    bool FCloseConfirmed = false;
    // Every thumbnail shown in the source list; freed with the window.
    std::vector<QImage> FThumbnails;
    TSourceGridModel* FSourceGrid = nullptr;
    // The batch being probed, the add calls waiting for it, the files for the first show.
    std::unique_ptr<TSourceProbeBatch> FSourceBatch;
    std::unique_ptr<QObject> FSourceBatchBlocker;
    std::unique_ptr<TBusyCursor> FSourceBatchBusy;
    std::deque<std::vector<std::string>> FPendingSourceAdds;
    std::vector<std::string> FFilesWhenShown;
    bool FSourceAddRunning = false;
    // Rows arrive at most every SourceDrainIntervalMs, so that a fast batch is not one
    // relayout of the grid per file.
    QElapsedTimer FSourceDrainClock;
    bool FSourceDrainPending = false;
};
