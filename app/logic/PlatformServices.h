// The desktop services the shell needs: message boxes, the shell's "open", the folder
// picker, sounds and powering off. The Qt shell implements them; tests install their own.
#pragma once

#include <string>
#include <vector>

enum class TMessageKind {
    mkInformation, // a notice, with an OK button
    mkQuestion,    // a question with Yes and No buttons
    mkWarning,     // a job failure, with an OK button
    mkError,       // an unexpected error (the application's exception box), with an OK button
};

enum class TMessageResult { mrOk, mrYes, mrNo, mrCancel };

// The kinds of the shell's message dialog; each plays its own system sound.
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons a message dialog may offer, combined with `|`.
enum TMsgDlgButton : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = unsigned;

class TPlatformServices {
public:
    virtual ~TPlatformServices() = default;
    // The platform's standard message box, with the application title as its caption.
    virtual TMessageResult ShowMessage(const std::string& text, TMessageKind kind) = 0;
    // Opens a file, a folder or an address with the desktop's default handler; the
    // outcome is not reported.
    virtual void OpenWithShell(const std::string& target) = 0;
    // Shows the folder picker (file-system folders only) with `title` above the tree,
    // starting at `path` and limited to `rootPath` when that is not empty. On confirmation
    // replaces `path` with the chosen folder and returns true; otherwise leaves it alone.
    virtual bool PickFolder(std::string& path, const std::string& title,
                            const std::string& rootPath) = 0;
    // Starts playing a sound file and returns at once.
    virtual void PlaySoundFile(const std::string& fileName) = 0;
    // Asks the system to power off; false when that was refused.
    virtual bool PowerOff() = 0;
    // The shell's message dialog: `text` under `caption` with the buttons of `buttons`, the
    // captions of the first buttons replaced by `buttonCaptions` (none when it is empty),
    // the sound of `type` played. Returns the chosen button; closing the dialog reads as
    // Cancel when it offers Cancel. Services that show no dialogs answer as if it was closed.
    virtual TMessageResult ShowMessageDialog(const std::string& text, const std::string& caption,
                                             TMsgDlgType type, TMsgDlgButtons buttons,
                                             const std::vector<std::string>& buttonCaptions);

    // A notice on the desktop outside the window (the end of a run while the window is not
    // active); nothing where the desktop has no place for one.
    virtual void Notify(const std::string& title, const std::string& text) {
        (void)title;
        (void)text;
    }
};

// The services in use; null until the program (or a test) installs one. The caller keeps
// ownership.
TPlatformServices* PlatformServices();
void InstallPlatformServices(TPlatformServices* services);

// The installed services' message box. Without services nothing is shown, and a question
// reads as answered No.
TMessageResult ShowMessage(const std::string& text, TMessageKind kind);
// The installed services' message dialog; without services nothing is shown and it reads
// as closed.
TMessageResult ShowMessageDialog(const std::string& text, const std::string& caption,
                                 TMsgDlgType type, TMsgDlgButtons buttons,
                                 const std::vector<std::string>& buttonCaptions = {});
// The answer of a message dialog with `buttons` that was closed without a choice: Cancel,
// No or OK, the first of them it offers.
TMessageResult ClosedDialogResult(TMsgDlgButtons buttons);
// The installed services' folder picker; false when none are installed.
bool PickFolder(std::string& path, const std::string& title, const std::string& rootPath = "");
// The installed services' shell open; nothing when none are installed.
void OpenWithShell(const std::string& target);
