// The main window's help menu, its links, and the Log and About commands, which open the
// small windows through the table the program fills.
#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "Main.h"
#include "PlatformServices.h"
#include "SecondaryWindows.h"
#include "brand/HelpLinks.h"
#include "settings/globals.h"

void TFormMain::ConnectHelpCommands() {
    connect(ActionHelp, &QAction::triggered, this, [this] { ActionHelpExecute(); });
    const std::pair<QAction*, THelpCommand> links[] = {
        {ActionHelpContent, THelpCommand::hcHelpContent},
        {ActionHomePage, THelpCommand::hcHomePage},
        {ActionCheckforUpdates, THelpCommand::hcCheckforUpdates},
        {ActionContactTechnicalSupport, THelpCommand::hcContactTechnicalSupport},
    };
    for (const auto& [action, command] : links)
        connect(action, &QAction::triggered, this,
                [command = command] { OpenWithShell(HelpCommandTarget(command, *GlobalVars)); });
    // The two windows are modal: they open once the command that asked for them (a menu
    // entry, a screen reader's action, a button) has returned, rather than inside it.
    connect(
        ActionLog, &QAction::triggered, this,
        [this] {
            if (const auto& log = SecondaryWindows().Log)
                log(this);
        },
        Qt::QueuedConnection);
    connect(
        ActionAbout, &QAction::triggered, this,
        [this] {
            if (const auto& about = SecondaryWindows().About)
                about(this);
        },
        Qt::QueuedConnection);
}

QPoint TFormMain::HelpMenuPoint() const {
    return ButtonHelp->mapToGlobal(QPoint(0, ButtonHelp->height()));
}

void TFormMain::ActionHelpExecute() {
    PopupMenuHelp->popup(HelpMenuPoint());
}
