// The application object of the window program and the window tests: every event the
// toolkit delivers (clicks, keys, timers, queued calls, D-Bus messages) runs inside a guard,
// so that an exception thrown by the code below a handler is reported instead of aborting.
#pragma once

#include <QApplication>
#include <string>

class TGuardedApplication final : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

// Writes `what` to the application log and shows it in the standard error box: what a
// handler that caught an exception does with it.
void ReportHandlerError(const std::string& what);
