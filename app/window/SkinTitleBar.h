// The title bar that the skin draws on the frameless main window: the application icon and
// title, and the minimise and close buttons. Dragging it moves the window.
#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

class TSkinTitleBar : public QWidget {
    Q_OBJECT
public:
    explicit TSkinTitleBar(QWidget* parent = nullptr);

    void SetTitle(const QString& title);
    void SetIcon(const QIcon& icon);
    void SetBarHeight(int height);

    QLabel* Caption() const { return FCaption; }
    QToolButton* MinimizeButton() const { return FMinimize; }
    QToolButton* CloseButton() const { return FClose; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* FIcon;
    QLabel* FCaption;
    QToolButton* FMinimize;
    QToolButton* FClose;
};
