#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FFLoad.h"
#include "GuiTestEnv.h"
#include "Main.h"
#include "MediaFixture.h"
#include "MyUtils.h"
#include "SecondaryWindows.h"
#include "SourceGridModel.h"
#include "SourceGridView.h"
#include "WindowWidgets.h"

using namespace guitest;
namespace fs = std::filesystem;

namespace {

std::string MediaDir() {
    return testmedia::TempDir("source-step");
}

std::string Tone(const std::string& name, const std::string& extra = "") {
    return testmedia::Make(MediaDir() + "/" + name,
                           "-f lavfi -i sine=frequency=500:duration=1 " + extra);
}

// In a folder whose name alone is wider than the list's 300 pixels, so that its path is
// shortened wherever the tests run.
std::string Video() {
    const std::string folder =
        MediaDir() + "/a folder whose name is far too long to be shown whole in the list";
    fs::create_directories(folder);
    return testmedia::Make(folder + "/clip.mp4",
                           "-f lavfi -i testsrc=size=320x180:rate=25:duration=2 -f lavfi -i "
                           "sine=duration=2 -c:v mpeg4 -c:a aac -shortest");
}

class SourceStep : public TGuiTest {
protected:
    SourceStep() {
        InstallMainThreadDispatcher(&Dispatcher);
        SecondaryWindows().FailedAddFiles = [this](QWidget* owner,
                                                   const std::vector<std::string>& files) {
            FailedWindows.push_back(files);
            BusyWhileFailedShown = TBusyCursor::Depth();
            Owner = owner;
        };
    }
    ~SourceStep() override {
        SecondaryWindows().FailedAddFiles = nullptr;
        InstallMainThreadDispatcher(nullptr);
    }
    void SetUp() override { testmedia::LoadLibraries(); }

    std::unique_ptr<TFormMain> Open() {
        auto form = std::make_unique<TFormMain>(ProgramPath());
        form->show();
        QCoreApplication::processEvents();
        return form;
    }
    // Runs the event loop until the add routine has ended.
    static void WaitForAdd(TFormMain& form) {
        QElapsedTimer timer;
        timer.start();
        do
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (form.SourceBatchRunning() && timer.elapsed() < 60000);
        QCoreApplication::processEvents();
        ASSERT_FALSE(form.SourceBatchRunning());
    }
    static std::string Cell(const TFormMain& form, int row, TSourceColumn column) {
        return form.SourceGrid()->Text(row, column).toStdString();
    }
    static int Selected(const TFormMain& form) {
        const QModelIndexList rows = form.NextGrid->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    static void Select(TFormMain& form, int row) {
        form.NextGrid->selectionModel()->setCurrentIndex(form.SourceGrid()->index(row, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
    }

    TQtMainThreadDispatcher Dispatcher;
    std::vector<std::vector<std::string>> FailedWindows;
    int BusyWhileFailedShown = -1;
    QWidget* Owner = nullptr;
};

TEST_F(SourceStep, RowsShowTheFactsThePictureAndTheHiddenCells) {
    const std::string audio = Tone("tone.wav", "-ac 2 -ar 44100");
    const std::string video = Video();
    ASSERT_FALSE(audio.empty());
    ASSERT_FALSE(video.empty());
    const auto form = Open();
    form->AddSourceFiles({audio, video});
    WaitForAdd(*form);
    ASSERT_EQ(form->SourceGrid()->rowCount(), 2);

    EXPECT_EQ(Cell(*form, 0, NxTextColumnFileFullName), audio);
    EXPECT_EQ(Cell(*form, 0, NxTextColumnDuration), "Duration: 00:00:01.000");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnBitrate), "Audio Bit rate: 1411 Kbps");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnDimension).rfind("Audio Encoder: pcm_s16le", 0), 0u);
    EXPECT_EQ(Cell(*form, 0, NxTextColumnFileSize),
              "File size: " + std::to_string(fs::file_size(audio)) + " M");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnVideoEncoder), "Video encoder: ");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnAudioChannels), "Channels: 2");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnAudioSampleRate), "Sample rate: 44100 Hz");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnAudioBitrate), "Bit rate: 1411 Kbps");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnAudioEncoder),
              "Audio encoder: " + Cell(*form, 0, NxTextColumnDimension).substr(15));
    EXPECT_EQ(Cell(*form, 0, NxTextColumnFrameRate), "Frame rate: 1.00");
    EXPECT_EQ(Cell(*form, 0, NxTextColumnRealDuration), "1000000");

    EXPECT_EQ(Cell(*form, 1, NxTextColumnVideoEncoder).rfind("Video encoder: mpeg4", 0), 0u);
    EXPECT_EQ(Cell(*form, 1, NxTextColumnFrameRate), "Frame rate: 25.00");
    EXPECT_EQ(Cell(*form, 1, NxTextColumnDimension).rfind("Audio Encoder: aac", 0), 0u);

    // Line 1: the path fitted into 300 pixels of the window's font, leading folders first.
    const QFontMetrics metrics(form->font());
    for (int row = 0; row < 2; ++row) {
        const QString shortened = form->SourceGrid()->Text(row, NxTextColumnFileMinName);
        EXPECT_LE(metrics.horizontalAdvance(shortened), 300);
        EXPECT_TRUE(
            form->SourceGrid()->Text(row, NxTextColumnFileFullName).endsWith(shortened.mid(1)))
            << shortened.toStdString();
    }
    EXPECT_TRUE(form->SourceGrid()->Text(1, NxTextColumnFileMinName).startsWith(QChar(0x2026)));

    // The audio row shows the audio picture; the video row a picture of its own.
    const auto picture = [&](int row) {
        return form->SourceGrid()->index(row, 0).data(Qt::DecorationRole).value<QImage>();
    };
    EXPECT_EQ(picture(0), form->ImageAudioIcon->pixmap().toImage());
    const QImage thumbnail = picture(1);
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_EQ(thumbnail.size(), QSize(128, 72));
    EXPECT_NE(thumbnail, picture(0));
    EXPECT_TRUE(FailedWindows.empty());
    EXPECT_EQ(form->NextGrid->rowHeight(0), 90);
}

struct TBatchCase {
    const char* Name;
    int FilesBefore;
    int FilesAfter;
};

// A small batch is probed on the main thread, a large one off it; both end the same way.
TEST_F(SourceStep, UnreadableFileIsLoggedInItsPlaceAndListedAfterTheWholeBatch) {
    const TBatchCase cases[] = {{"foreground", 1, 1}, {"background", 3, 5}};
    const std::string bad = MediaDir() + "/broken.mp3";
    apptest::WriteFile(bad, "no audio in here");
    const auto form = Open();
    for (const TBatchCase& c : cases) {
        SCOPED_TRACE(c.Name);
        form->ClearSourceList();
        FailedWindows.clear();
        Vars.FailedFiles = {"left from before"};
        std::vector<std::string> files;
        for (int i = 0; i < c.FilesBefore + c.FilesAfter; ++i)
            files.push_back(Tone("t" + std::to_string(i) + ".flac"));
        std::vector<std::string> batch = files;
        batch.insert(batch.begin() + c.FilesBefore, bad);
        const size_t logLines = Vars.LogLines.size();

        form->AddSourceFiles(batch);
        if (batch.size() > 3) {
            // Off the main thread: the count shows and the window is busy meanwhile.
            EXPECT_TRUE(form->SourceBatchRunning());
            EXPECT_TRUE(form->LabelAdding->isVisible());
            EXPECT_EQ(form->LabelAdding->text().left(7), "Adding ");
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            EXPECT_TRUE(FailedWindows.empty());
        }
        WaitForAdd(*form);

        EXPECT_EQ(form->SourceFilePaths(), files);
        ASSERT_EQ(FailedWindows.size(), 1u);
        ASSERT_EQ(FailedWindows[0].size(), 1u);
        EXPECT_NE(FailedWindows[0][0].find(bad), std::string::npos) << FailedWindows[0][0];
        EXPECT_EQ(Vars.FailedFiles, FailedWindows[0]);
        EXPECT_EQ(Owner, form.get());
        // In the list's order: the lines of the files before it, the file's own error line
        // from the prober, the add routine's line, then the lines of the files after it
        // (each audio file logs "no video stream.").
        int loadErrors = 0;
        size_t loadError = 0;
        for (size_t i = logLines; i < Vars.LogLines.size(); ++i)
            if (Vars.LogLines[i].rfind("File load error: ", 0) == 0) {
                ++loadErrors;
                loadError = i;
            }
        EXPECT_EQ(loadErrors, 1);
        ASSERT_GT(loadError, logLines);
        EXPECT_EQ(Vars.LogLines[loadError], "File load error: " + FailedWindows[0][0]);
        EXPECT_NE(Vars.LogLines[loadError - 1].find(": " + FailedWindows[0][0]), std::string::npos)
            << Vars.LogLines[loadError - 1];
        const auto noVideoLines = [&](size_t from, size_t to) {
            int count = 0;
            for (size_t i = from; i < to; ++i)
                count += Vars.LogLines[i].find(": no video stream.") != std::string::npos;
            return count;
        };
        EXPECT_EQ(noVideoLines(logLines, loadError), c.FilesBefore);
        EXPECT_EQ(noVideoLines(loadError, Vars.LogLines.size()), c.FilesAfter);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(form->LabelAdding->isVisible());
    }
}

TEST_F(SourceStep, AnAddDuringABatchFollowsIt) {
    const auto form = Open();
    std::vector<std::string> first;
    for (int i = 0; i < 6; ++i)
        first.push_back(Tone("t" + std::to_string(i) + ".flac"));
    const std::string second = Tone("second.wav");
    form->AddSourceFiles(first);
    ASSERT_TRUE(form->SourceBatchRunning());
    form->AddSourceFiles({second, second});
    WaitForAdd(*form);
    WaitForAdd(*form);
    std::vector<std::string> expected = first;
    expected.insert(expected.end(), {second, second});
    EXPECT_EQ(form->SourceFilePaths(), expected);
}

TEST_F(SourceStep, DroppedFolderAndMpegAreSkipped) {
    const std::string song = Tone("drop.mp3");
    const std::string dir = apptest::FreshDir("dropped");
    fs::create_directories(dir + "album.mp3");
    const std::string mpeg = dir + "film.mpeg";
    fs::copy_file(Video(), mpeg);
    const auto form = Open();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(dir + "album.mp3")), QUrl::fromLocalFile(Q(song)),
                  QUrl::fromLocalFile(Q(mpeg)), QUrl::fromLocalFile(Q(song))});
    // As a drag from a file manager arrives: it enters the grid, then drops there.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->NextGrid->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->NextGrid->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    WaitForAdd(*form);
    EXPECT_EQ(form->SourceFilePaths(), (std::vector<std::string>{song, song}));

    form->ClearSourceList();
    form->DropSourceFiles({mpeg});
    WaitForAdd(*form);
    EXPECT_EQ(form->SourceGrid()->rowCount(), 0);
    EXPECT_TRUE(FailedWindows.empty());
}

TEST_F(SourceStep, DeleteMoveAndTheirEnabledStates) {
    const std::vector<std::string> files = {Tone("a.wav"), Tone("b.wav"), Tone("c.wav")};
    const auto form = Open();
    EXPECT_TRUE(form->ActionAdd->isEnabled());
    EXPECT_FALSE(form->ActionClear->isEnabled());
    form->AddSourceFiles(files);
    WaitForAdd(*form);
    EXPECT_EQ(Selected(*form), -1);

    struct TStateCase {
        int Row;
        bool Up, Down;
    };
    for (const TStateCase& c :
         {TStateCase{0, false, true}, TStateCase{1, true, true}, TStateCase{2, true, false}}) {
        Select(*form, c.Row);
        SCOPED_TRACE(c.Row);
        EXPECT_EQ(form->ActionMoveUp->isEnabled(), c.Up);
        EXPECT_EQ(form->ActionMoveDown->isEnabled(), c.Down);
        EXPECT_TRUE(form->ActionDelete->isEnabled());
        EXPECT_TRUE(form->ActionPlay->isEnabled());
        EXPECT_TRUE(form->ActionClear->isEnabled());
    }

    Select(*form, 0);
    form->ActionMoveDown->trigger();
    EXPECT_EQ(form->SourceFilePaths(), (std::vector<std::string>{files[1], files[0], files[2]}));
    EXPECT_EQ(Selected(*form), 1);
    form->ActionMoveDown->trigger();
    form->ActionMoveUp->trigger();
    form->ActionMoveUp->trigger();
    EXPECT_EQ(form->SourceFilePaths(), (std::vector<std::string>{files[0], files[1], files[2]}));
    EXPECT_EQ(Selected(*form), 0);

    Select(*form, 1);
    form->ActionPlay->trigger();
    EXPECT_EQ(Services.Opened, std::vector<std::string>{files[1]});

    // The last of three: the new last row is selected; the only row: no selection.
    Select(*form, 2);
    form->ActionDelete->trigger();
    EXPECT_EQ(form->SourceFilePaths(), (std::vector<std::string>{files[0], files[1]}));
    EXPECT_EQ(Selected(*form), 1);
    Select(*form, 0);
    form->ActionDelete->trigger();
    EXPECT_EQ(Selected(*form), 0);
    form->ActionDelete->trigger();
    EXPECT_EQ(form->SourceGrid()->rowCount(), 0);
    EXPECT_EQ(Selected(*form), -1);
    for (QAction* action : {form->ActionDelete, form->ActionClear, form->ActionMoveUp,
                            form->ActionMoveDown, form->ActionPlay})
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();

    EXPECT_EQ(form->ActionAdd->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(form->ActionDelete->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(form->ActionClear->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    EXPECT_EQ(form->ActionPlay->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QStringList menu;
    for (const QAction* action : form->PopupMenuSource->actions())
        menu << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(menu.join('|').toStdString(), "&Add...|&Delete|&Clear|-|&Move Up|M&ove Down|-|&Play");
}

TEST_F(SourceStep, FilesNamedForTheFirstShowAppearInOrder) {
    const std::vector<std::string> files = {Tone("z.wav"), Tone("a.wav"), Tone("m.ogg"),
                                            Tone("b.flac"), Tone("y.wav")};
    auto form = std::make_unique<TFormMain>(ProgramPath());
    form->AddSourceFilesWhenShown(files);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->SourceGrid()->rowCount(), 0);
    form->show();
    QCoreApplication::processEvents();
    WaitForAdd(*form);
    EXPECT_EQ(form->SourceFilePaths(), files);
}

TEST_F(SourceStep, TheDialogAddsTheSelectedFilesAndRemembersTheirFolder) {
    const std::string dir = apptest::FreshDir("dialog");
    std::vector<std::string> files;
    for (const char* name : {"one.WAV", "two.wav", "three.wav"}) {
        files.push_back(dir + name);
        fs::copy_file(Tone("dialog.wav"), files.back());
    }
    const auto form = Open();
    Vars.LastOpenDir = dir;
    QString shownIn;
    QTimer::singleShot(0, [&] {
        shownIn = form->OpenDialog->directory().absolutePath();
        // Names typed as the dialog takes them: relative to the folder it shows.
        form->OpenDialog->findChild<QLineEdit*>("fileNameEdit")
            ->setText("\"one.WAV\" \"two.wav\" \"three.wav\"");
        // A message box of the dialog would hang the test: close whatever opens next.
        QTimer::singleShot(2000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                if (modal->objectName() != "OpenDialog")
                    modal->close();
        });
        static_cast<QDialog*>(form->OpenDialog)->accept();
    });
    form->ActionAdd->trigger();
    WaitForAdd(*form);
    EXPECT_EQ(shownIn.toStdString() + "/", dir);
    EXPECT_EQ(form->SourceFilePaths(), files);
    EXPECT_EQ(Vars.LastOpenDir, dir);
    EXPECT_TRUE(form->OpenDialog->findChild<QLineEdit*>("fileNameEdit")->text().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SourceStep, WithoutLibrariesTheErrorIsShownAndNothingAdded) {
    const std::string song = Tone("nolib.wav");
    const auto form = Open();
    FFLoader->Unload(AllLibraries);
    for (const size_t count : {size_t{1}, size_t{6}}) {
        Services.Messages.clear();
        form->AddSourceFiles(std::vector<std::string>(count, song));
        WaitForAdd(*form);
        EXPECT_EQ(form->SourceGrid()->rowCount(), 0);
        ASSERT_EQ(Services.Messages.size(), 1u) << count;
        EXPECT_EQ(Services.Messages[0].Text, "LibAVCodec not loaded.");
        EXPECT_EQ(Services.Messages[0].Kind, TMessageKind::mkError);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(FailedWindows.empty());
    testmedia::LoadLibraries();
}

TEST_F(SourceStep, TheGridIsAnAccessibleTableOfItsRows) {
    const std::vector<std::string> files = {Tone("acc1.wav"), Video()};
    const auto form = Open();
    form->AddSourceFiles(files);
    WaitForAdd(*form);
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(form->NextGrid);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->role(), QAccessible::Table);
    EXPECT_EQ(grid->text(QAccessible::Name), "Source files");
    QAccessibleTableInterface* table = grid->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        QAccessibleInterface* cell = table->cellAt(row, 0);
        ASSERT_NE(cell, nullptr);
        const QString text = cell->text(QAccessible::Name);
        EXPECT_TRUE(text.contains(Q(files[static_cast<size_t>(row)]))) << text.toStdString();
        EXPECT_TRUE(text.contains("Duration: 00:00:0")) << text.toStdString();
    }
    for (const char* name : {"ButtonAdd", "ButtonDelete", "ButtonPlay"}) {
        QAccessibleInterface* button =
            QAccessible::queryAccessibleInterface(form->findChild<QWidget*>(name));
        ASSERT_NE(button, nullptr);
        EXPECT_FALSE(button->text(QAccessible::Name).isEmpty()) << name;
    }
}

} // namespace
