// The countdown `TFormShutdown` shown at the end of a run before the machine is powered off:
// 30 seconds in which the user can cancel.
#pragma once

#include <QDialog>

#include "brand/ShutdownCountdown.h"

class QLabel;
class QPushButton;
class QTimer;

class TFormShutdown : public QDialog {
    Q_OBJECT
public:
    explicit TFormShutdown(QWidget* parent = nullptr);

    // Creates the window centred over `owner`, runs the countdown modally and destroys the
    // window. True when the countdown ran out (the machine is to be powered off), false
    // when it was cancelled or closed.
    static bool Execute(QWidget* owner);

    // The wait between two ticks of every countdown created from now on; tests shorten it.
    static int TickIntervalMs;

    QLabel* LabelWarning = nullptr;
    QLabel* LabelShutdownDescription = nullptr;
    QLabel* LabelTimeOut = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QTimer* TimerShutdown = nullptr;

    // One second passed: the label counts down; the tick after 0 closes the window with
    // the result OK.
    void TimerShutdownTimer();

    // The seconds left.
    int SecondsLeft() const { return FCountdown.SecondsLeft(); }

private:
    TShutdownCountdown FCountdown;
};
