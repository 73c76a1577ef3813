#include "ShutdownForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "FitText.h"
#include "ModalWindow.h"
#include "brand/StartUp.h"

int TFormShutdown::TickIntervalMs = 1000;

TFormShutdown::TFormShutdown(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormShutdown");
    setWindowTitle("Shutdown");
    setFixedSize(193, 149);

    LabelWarning = new QLabel("Warning!", this);
    LabelWarning->setObjectName("LabelWarning");
    QFont bold = LabelWarning->font();
    bold.setBold(true);
    LabelWarning->setFont(bold);
    LabelShutdownDescription = new QLabel(this);
    LabelShutdownDescription->setObjectName("LabelShutdownDescription");
    LabelShutdownDescription->setTextFormat(Qt::PlainText);
    LabelTimeOut = new QLabel(this);
    LabelTimeOut->setObjectName("LabelTimeOut");
    LabelTimeOut->setTextFormat(Qt::PlainText);

    auto* panel = new QWidget(this);
    panel->setObjectName("PanelBottom");
    panel->setFixedHeight(41);
    ButtonCancel = new QPushButton("&Cancel", panel);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonCancel->setAccessibleName("Cancel");
    ButtonCancel->setFixedSize(75, 25);
    ButtonCancel->setProperty("fixedSize", true);
    // The one button is both the default and the cancel button: Enter and Escape cancel.
    ButtonCancel->setDefault(true);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(ButtonCancel, 0, Qt::AlignCenter);

    auto* top = new QVBoxLayout;
    top->setContentsMargins(10, 10, 10, 0);
    top->setSpacing(6);
    top->addWidget(LabelWarning);
    top->addWidget(LabelShutdownDescription);
    top->addWidget(LabelTimeOut);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    layout->addWidget(panel);

    TimerShutdown = new QTimer(this);
    TimerShutdown->setObjectName("TimerShutdown");
    TimerShutdown->setInterval(TickIntervalMs);
    connect(TimerShutdown, &QTimer::timeout, this, &TFormShutdown::TimerShutdownTimer);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, TimerShutdown, &QTimer::stop);

    // The creation handler: the full count, the timer running, the title in the text.
    LabelTimeOut->setText(QString::fromStdString(FCountdown.TimeOutText()));
    TimerShutdown->start();
    LabelShutdownDescription->setText(
        QString::fromStdString(ShutdownDescription(ApplicationTitle())));

    // A long title or a large desktop font must not cut the lines short.
    layout->activate();
    FitLabelText(LabelShutdownDescription);
    FitButtonText(ButtonCancel);
}

bool TFormShutdown::Execute(QWidget* owner) {
    TFormShutdown form(owner);
    return ShowModalCentred(form, owner) == QDialog::Accepted;
}

void TFormShutdown::TimerShutdownTimer() {
    if (FCountdown.Tick()) {
        accept();
        return;
    }
    LabelTimeOut->setText(QString::fromStdString(FCountdown.TimeOutText()));
}
