#include "GuardedApplication.h"

#include <exception>

#include "AppLog.h"
#include "PlatformServices.h"
#include "settings/globals.h"

void ReportHandlerError(const std::string& what) {
    if (GlobalVars)
        GlobalVars->LogLines.push_back(FormatLogLine(0, llError, what));
    ShowMessage(what, TMessageKind::mkError);
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportHandlerError(e.what());
    } catch (...) {
        ReportHandlerError("An unknown error occurred.");
    }
    // The event counts as handled: nothing else is to act on it half done.
    return true;
}
