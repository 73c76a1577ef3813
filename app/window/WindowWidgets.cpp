#include "WindowWidgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>

void BindButton(QAbstractButton* button, QAction* action) {
    auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}

QLabel* ValueLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* Rule(QWidget* parent) {
    auto* rule = new QFrame(parent);
    rule->setObjectName("FinishRule");
    rule->setFrameShape(QFrame::NoFrame);
    rule->setFixedHeight(1);
    return rule;
}

namespace {
int GBusyDepth = 0; // main thread only
} // namespace

TBusyCursor::TBusyCursor() {
    if (GBusyDepth++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor() {
    if (--GBusyDepth == 0)
        QApplication::restoreOverrideCursor();
}

int TBusyCursor::Depth() {
    return GBusyDepth;
}
