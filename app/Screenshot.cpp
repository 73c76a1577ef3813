// Draws the main window as the program shows it after start and saves the picture: the
// screenshot of the documentation (another page than the first when asked, with files added
// to the source list when named). With --steps it converts the given sources and draws step 2,
// step 3 while the run goes on and step 4 into PREFIX-step2.png, PREFIX-step3.png and
// PREFIX-step4.png. Runs on the offscreen platform unless one is chosen (the documentation's
// pictures: QT_QPA_PLATFORM=xcb under xvfb-run),
// with the brand file and skins beside the program and a configuration folder of its own.
#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Main.h"
#include "MyUtils.h"
#include "QtPlatform.h"
#include "Skin.h"
#include "SourceGridView.h"
#include "brand/Brands.h"
#include "brand/StartUp.h"
#include "settings/globals.h"

namespace {

bool Save(TFormMain& form, const QString& file) {
    QCoreApplication::processEvents();
    const bool saved = form.grab().save(file, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    return saved;
}

// Runs the event loop until `done` holds; false after two minutes.
template <typename F> bool Until(F done) {
    for (int i = 0; i < 120000 / 20 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return done();
}

// Step 2, step 3 with the run half-way through its first file, step 4.
int DrawSteps(TFormMain& form, const QString& prefix, const QStringList& sources,
              const QString& outputFolder) {
    std::vector<std::string> files;
    for (const QString& source : sources)
        files.push_back(source.toStdString());
    form.AddSourceFiles(files);
    if (!Until([&] { return !form.SourceBatchRunning(); }))
        return 1;
    form.ActionNext->trigger();
    form.EditOutputDir->setText(outputFolder);
    if (!Save(form, prefix + "-step2.png"))
        return 1;
    form.ActionNext->trigger();
    const bool running = Until([&] {
        const TConversionRun* run = form.Run();
        return run && run->LastReportedJob() >= 0 &&
               run->States()[run->LastReportedJob()].Percent.Value >= 40;
    });
    if (!running || !Save(form, prefix + "-step3.png"))
        return 1;
    if (!Until([&] { return form.PageControlMain->currentIndex() == 3; }))
        return 1;
    return Save(form, prefix + "-step4.png") ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const bool steps = argc >= 3 && std::string(argv[1]) == "--steps";
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s <picture.png> [page index [FILE...]]\n"
                     "       %s --steps <prefix> <source>...\n",
                     argv[0], argv[0]);
        return 2;
    }
    const int page = !steps && argc >= 3 ? std::atoi(argv[2]) : 0;
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
    TQtPlatformServices services;
    InstallPlatformServices(&services);
    TQtMainThreadDispatcher dispatcher;
    InstallMainThreadDispatcher(&dispatcher);
    QTemporaryDir outputs;

    TGlobalVars globalVars;
    GlobalVars = &globalVars;
    int result = 1;
    {
        TFormMain formMain(programFolder + "audioconv");
        if (steps) {
            formMain.show();
            QStringList sources;
            for (int i = 3; i < argc; ++i)
                sources << QString::fromLocal8Bit(argv[i]);
            result =
                DrawSteps(formMain, QString::fromLocal8Bit(argv[2]), sources, outputs.path() + "/");
            formMain.close();
        } else {
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
            result = Save(formMain, QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        }
    }
    GlobalVars = nullptr;
    InstallMainThreadDispatcher(nullptr);
    InstallPlatformServices(nullptr);
    return result;
}
