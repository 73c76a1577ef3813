// Small pieces shared by the main window's pages: texts, buttons bound to actions, labels.
#pragma once

#include <QString>
#include <string>

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A push button that shows its action: caption and enabled state follow the action, a
// click triggers it.
void BindButton(QAbstractButton* button, QAction* action);

// A plain-text label named `name`.
QLabel* ValueLabel(const char* name, const char* text, QWidget* parent);

// A push button drawn as a link: focusable, pressed by Space, Enter or a click, named by its
// text to the desktop's accessibility tools.
QPushButton* LinkButton(const char* name, const char* text, QWidget* parent);

// `caption` names `value` to the accessibility tools: the caption becomes the value's
// label (its buddy) and its description.
void LinkCaption(QLabel* caption, QWidget* value);

// Tells the accessibility tools that the text of `label` changed, so that a screen reader
// says it although the focus is elsewhere.
void Announce(QLabel* label);

// A thin horizontal rule.
QFrame* Rule(QWidget* parent);

// The busy cursor while the object lives. Requests nest: the first shows the busy cursor,
// the cursor returns to the default when the last has ended.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    // Requests that have not ended.
    static int Depth();
};
