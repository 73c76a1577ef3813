// Fixtures of the window tests: the application object on the offscreen platform, a program
// folder of the test's own with an optional brand file and skins, a configuration and a
// documents folder of its own, the shell's global state, and platform services that record
// message boxes instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "GuardedApplication.h"
#include "PlatformServices.h"
#include "QtPlatform.h"
#include "brand/StartUp.h"
#include "settings/globals.h"

namespace guitest {

namespace fs = std::filesystem;

// The offscreen platform says so on every change of a window's opacity; the splash's fade
// would fill the test output with it.
inline QtMessageHandler PreviousMessageHandler = nullptr;

inline void DropOpacityNotes(QtMsgType type, const QMessageLogContext& context,
                             const QString& message) {
    if (message.contains("does not support setting window opacity"))
        return;
    if (PreviousMessageHandler)
        PreviousMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The one application object of the test process; window tests never reach a display.
inline QApplication& App() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        PreviousMessageHandler = qInstallMessageHandler(DropOpacityNotes);
        static int argc = 1;
        static char name[] = "app_gui_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new TGuardedApplication(argc, argv);
        if (QStyle* style = QStyleFactory::create("Fusion"))
            QApplication::setStyle(style);
        return a;
    }();
    return *app;
}

// Records every message box; questions are answered with `Answer`.
class TRecordingServices final : public TPlatformServices {
public:
    struct TMessage {
        std::string Text;
        TMessageKind Kind;
    };
    std::vector<TMessage> Messages;
    std::vector<std::string> Opened;
    std::vector<std::string> Sounds;
    std::vector<std::string> Notices; // desktop notifications: title, a line break, text
    TMessageResult Answer = TMessageResult::mrNo;
    // Message dialogs (three-button questions and the like), answered with `DialogAnswer`.
    struct TDialog {
        std::string Text;
        std::string Caption;
        TMsgDlgType Type;
        TMsgDlgButtons Buttons;
    };
    std::vector<TDialog> Dialogs;
    TMessageResult DialogAnswer = TMessageResult::mrCancel;
    // How often the system was asked to power off; it never is for real.
    int PowerOffs = 0;
    // The folder the picker returns; empty: the picker is cancelled.
    std::string PickedFolder;
    std::vector<std::string> PickerTitles;

    TMessageResult ShowMessage(const std::string& text, TMessageKind kind) override {
        Messages.push_back({text, kind});
        return kind == TMessageKind::mkQuestion ? Answer : TMessageResult::mrOk;
    }
    void OpenWithShell(const std::string& target) override { Opened.push_back(target); }
    bool PickFolder(std::string& path, const std::string& title, const std::string&) override {
        PickerTitles.push_back(title);
        if (PickedFolder.empty())
            return false;
        path = PickedFolder;
        return true;
    }
    void PlaySoundFile(const std::string& fileName) override { Sounds.push_back(fileName); }
    bool PowerOff() override {
        ++PowerOffs;
        return true;
    }
    TMessageResult ShowMessageDialog(const std::string& text, const std::string& caption,
                                     TMsgDlgType type, TMsgDlgButtons buttons,
                                     const std::vector<std::string>&) override {
        Dialogs.push_back({text, caption, type, buttons});
        return DialogAnswer;
    }
    void Notify(const std::string& title, const std::string& text) override {
        Notices.push_back(title + "\n" + text);
    }
    // The texts of the message boxes of `kind`.
    std::vector<std::string> TextsOf(TMessageKind kind) const {
        std::vector<std::string> texts;
        for (const TMessage& m : Messages)
            if (m.Kind == kind)
                texts.push_back(m.Text);
        return texts;
    }
};

// The repository's own folder, for the data files that ship with the program.
inline std::string SourceFolder() {
    return AUDIOCONV_SOURCE_DIR "/";
}

class TGuiTest : public ::testing::Test {
protected:
    TGuiTest()
        : Program(apptest::FreshDir("program")), Config(apptest::FreshDir("config")),
          Documents(apptest::FreshDir("documents")) {
        App();
        Env.Set("XDG_CONFIG_HOME", Config.substr(0, Config.size() - 1));
        Env.Set("XDG_DOCUMENTS_DIR", Documents.substr(0, Documents.size() - 1));
        InitAppResources();
        InstallPlatformServices(&Services);
        GlobalVars = &Vars;
    }
    ~TGuiTest() override {
        GlobalVars = nullptr;
        InstallPlatformServices(nullptr);
        SetApplicationTitle("");
    }

    // The program file inside the program folder (it need not exist).
    std::string ProgramPath() const { return Program + "audioconv"; }

    // A brand file naming `title`, and the title taken from it as the program entry does.
    void Brand(const std::string& title) {
        apptest::WriteFile(Program + "lame.dll", "[SYSTEM]\nName=" + title + "\n");
        SetApplicationTitle(title);
    }

    // The five shipped skins beside the test's program.
    void CopyShippedSkins() {
        for (int i = 1; i <= 5; ++i) {
            const std::string dir = "sounds/skin" + std::to_string(i) + "/";
            fs::create_directories(Program + dir);
            fs::copy_file(SourceFolder() + "data/" + dir + "skin.ini", Program + dir + "skin.ini",
                          fs::copy_options::overwrite_existing);
        }
    }

    const std::string Program;   // with a trailing separator
    const std::string Config;    // "AppData"
    const std::string Documents; // "Personal"
    apptest::TEnvGuard Env;
    TRecordingServices Services;
    TGlobalVars Vars;
};

} // namespace guitest
