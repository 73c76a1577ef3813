#include "WindowWidgets.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

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

QPushButton* LinkButton(const char* name, const char* text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFlat(true);
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setStyleSheet("QPushButton { color: palette(link); text-decoration: underline;"
                          " border: none; padding: 2px; text-align: left; }"
                          " QPushButton:focus { border: 1px dotted palette(text); }");
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

void LinkCaption(QLabel* caption, QWidget* value) {
    caption->setBuddy(value);
    QString description = caption->text();
    description.remove('&');
    if (description.endsWith(':'))
        description.chop(1);
    value->setAccessibleDescription(description);
}

void Announce(QLabel* label) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent name(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
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
