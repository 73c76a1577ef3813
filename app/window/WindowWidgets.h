// Small pieces shared by the main window's pages: texts, buttons bound to actions, labels.
#pragma once

#include <QString>
#include <string>

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QWidget;

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A push button that shows its action: caption and enabled state follow the action, a
// click triggers it.
void BindButton(QAbstractButton* button, QAction* action);

// A plain-text label named `name`.
QLabel* ValueLabel(const char* name, const char* text, QWidget* parent);

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
