// The program entry: the brand, the application title and icon, the splash, the main window
// and the message loop.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QStyleFactory>
#include <iostream>

#include "AboutForm.h"
#include "AddFailed.h"
#include "AppCommandLine.h"
#include "GuardedApplication.h"
#include "LogForm.h"
#include "Main.h"
#include "MyUtils.h"
#include "QtPlatform.h"
#include "SecondaryWindows.h"
#include "ShutdownForm.h"
#include "Skin.h"
#include "SplashForm.h"
#include "brand/Brands.h"
#include "brand/StartUp.h"
#include "settings/globals.h"
#include "sources/SourceAdd.h"

int main(int argc, char* argv[]) {
    // --help and --version are answered before the toolkit looks for a display.
    if (const int answered = AnswerAppCommandLine(argc, argv, std::cout); answered >= 0)
        return answered;
    TGuardedApplication application(argc, argv);
    // Docks match the window to the desktop file's icon by this id.
    QGuiApplication::setDesktopFileName("org.example.audioconv");
    TGlobalVars globalVars;
    GlobalVars = &globalVars;
    const std::string programFolder = ExecutableFolder();

    // 1. The brand file names the application title.
    const std::string title = ReadBrandFile(programFolder).Name;
    SetApplicationTitle(title);
    QApplication::setApplicationDisplayName(QString::fromStdString(title));

    // 2. A known brand brings its icon; otherwise the program keeps the default one.
    if (const std::string iconName = BrandIconName(title); !iconName.empty())
        if (const QIcon icon = BrandIcon(iconName); !icon.isNull())
            QApplication::setWindowIcon(icon);

    // 3. The application's services and its look before any brand skin.
    TQtPlatformServices services;
    InstallPlatformServices(&services);
    TQtMainThreadDispatcher dispatcher;
    InstallMainThreadDispatcher(&dispatcher);
    if (QStyle* style = QStyleFactory::create("Fusion"))
        QApplication::setStyle(style);
    ApplySkin(TSkin{});
    SecondaryWindows().FailedAddFiles = &TFormFailedAddFile::ShowFailedFiles;

    // The small windows the main window opens.
    TSecondaryWindows& windows = SecondaryWindows();
    windows.Log = [](QWidget* owner) { TFormLog::Execute(owner, GlobalVars->LogLines); };
    windows.About = [programFolder](QWidget* owner) { TFormAbout::Execute(owner, programFolder); };
    windows.ShutdownCountdown = [](QWidget* owner) { return TFormShutdown::Execute(owner); };

    // 4. The splash fades in; it closes itself once the message loop runs.
    TFormSplash::ShowSplash(programFolder);

    int exitCode = 0;
    {
        // 5. The main window and its creation sequence.
        TFormMain formMain(QCoreApplication::applicationFilePath().toStdString());
        // Files named on the command line are added once the window shows, in their order.
        std::vector<std::string> arguments;
        for (const QString& argument : QCoreApplication::arguments())
            arguments.push_back(argument.toStdString());
        formMain.AddSourceFilesWhenShown(
            CommandLineSourceFiles(arguments, QDir::currentPath().toStdString()));
        formMain.show();

        // 6. The message loop, until the main window closes.
        exitCode = QApplication::exec();
    }

    windows = TSecondaryWindows{};
    InstallMainThreadDispatcher(nullptr);
    InstallPlatformServices(nullptr);
    GlobalVars = nullptr;
    return exitCode;
}
