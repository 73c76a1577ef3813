// Draws the main window as the program shows it after start and saves the picture: the
// screenshot of the documentation (another page than the first when asked, with files added
// to the source list when named). Runs on the offscreen
// platform unless one is chosen (the documentation's picture: QT_QPA_PLATFORM=xcb under xvfb-run),
// with the brand file and skins beside the program and a configuration folder of its own.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Brands.h"
#include "Main.h"
#include "MyUtils.h"
#include "QtPlatform.h"
#include "Skin.h"
#include "SourceGridView.h"
#include "StartUp.h"
#include "globals.h"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <picture.png> [page index [FILE...]]\n", argv[0]);
        return 2;
    }
    const int page = argc >= 3 ? std::atoi(argv[2]) : 0;
    // Offscreen unless a platform is chosen (e.g. xcb under Xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    // The program beside which the brand file and the skins lie: the build's own.
    const std::string programFolder = AUDIOCONV_BIN_DIR "/";
    const std::string title = ReadBrandFile(programFolder).Name;
    SetApplicationTitle(title);
    QApplication::setApplicationDisplayName(QString::fromStdString(title));
    if (const QIcon icon = BrandIcon(BrandIconName(title)); !icon.isNull())
        QApplication::setWindowIcon(icon);
    if (QStyle* style = QStyleFactory::create("Fusion"))
        QApplication::setStyle(style);
    ApplySkin(TSkin{});
    TQtMainThreadDispatcher dispatcher;
    InstallMainThreadDispatcher(&dispatcher);

    TGlobalVars globalVars;
    GlobalVars = &globalVars;
    int result = 1;
    {
        TFormMain formMain(programFolder + "audioconv");
        formMain.PageControlMain->setCurrentIndex(page);
        formMain.ApplyPageTexts();
        formMain.show();
        QCoreApplication::processEvents();
        std::vector<std::string> files(argv + std::min(argc, 3), argv + argc);
        formMain.AddSourceFiles(files);
        while (formMain.SourceBatchRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!files.empty())
            formMain.NextGrid->selectRow(0);
        QCoreApplication::processEvents();
        result = formMain.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
        std::printf("%s %s\n", result == 0 ? "wrote" : "FAILED", argv[1]);
    }
    GlobalVars = nullptr;
    InstallMainThreadDispatcher(nullptr);
    return result;
}
