// Draws the small windows (log, shutdown countdown, About) as the program shows them over its
// main window, dressed in the brand's skin, and saves their pictures for the documentation.
// Runs on the offscreen platform unless one is chosen (the documentation's pictures:
// QT_QPA_PLATFORM=xcb under xvfb-run), with the brand file and skins beside the program and a
// configuration folder of its own.
#include <QApplication>
#include <QIcon>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "AboutForm.h"
#include "LogForm.h"
#include "Main.h"
#include "QtPlatform.h"
#include "ShutdownForm.h"
#include "Skin.h"
#include "brand/Brands.h"
#include "brand/StartUp.h"
#include "settings/globals.h"

namespace {

bool Save(QWidget& window, const std::string& fileName) {
    window.show();
    QCoreApplication::processEvents();
    const bool ok = window.grab().save(QString::fromStdString(fileName), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", fileName.c_str());
    window.close();
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder for the pictures>\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const std::string folder = std::string(argv[1]) + "/";

    const std::string programFolder = AUDIOCONV_BIN_DIR "/";
    const std::string title = ReadBrandFile(programFolder).Name;
    SetApplicationTitle(title);
    QApplication::setApplicationDisplayName(QString::fromStdString(title));
    if (const QIcon icon = BrandIcon(BrandIconName(title)); !icon.isNull())
        QApplication::setWindowIcon(icon);
    if (QStyle* style = QStyleFactory::create("Fusion"))
        QApplication::setStyle(style);
    ApplySkin(TSkin{});

    TGlobalVars globalVars;
    GlobalVars = &globalVars;
    bool ok = true;
    {
        // The main window applies the brand's skin and links.
        TFormMain formMain(programFolder + "audioconv");
        globalVars.LogLines = {
            "#140213.2: [mp3 @ 0x55d0c1a3f2c0] Header missing",
            "File load error: Could not open the file /home/user/Music/broken.mp3",
            "File has been added to convert list.",
            "File has been added to convert list.",
            "#140577.3: [libmp3lame @ 0x7f2a4c0012a0] Error while opening encoder",
        };
        TFormLog log(globalVars.LogLines, &formMain);
        ok &= Save(log, folder + "log-window.png");

        TFormShutdown shutdown(&formMain);
        shutdown.TimerShutdown->stop();
        for (int i = 0; i < 3; ++i)
            shutdown.TimerShutdownTimer();
        ok &= Save(shutdown, folder + "shutdown-window.png");

        TFormAbout about(programFolder, &formMain);
        ok &= Save(about, folder + "about-window.png");
    }
    GlobalVars = nullptr;
    return ok ? 0 : 1;
}
