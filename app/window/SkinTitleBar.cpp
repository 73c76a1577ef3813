#include "SkinTitleBar.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QToolButton>
#include <QWindow>

TSkinTitleBar::TSkinTitleBar(QWidget* parent)
    : QWidget(parent), FIcon(new QLabel(this)), FCaption(new QLabel(this)),
      FMinimize(new QToolButton(this)), FClose(new QToolButton(this)) {
    setObjectName("SkinTitleBar");
    FIcon->setObjectName("SkinTitleIcon");
    FCaption->setObjectName("SkinTitleCaption");
    FCaption->setTextFormat(Qt::PlainText);
    FMinimize->setObjectName("SkinButtonMinimize");
    FClose->setObjectName("SkinButtonClose");
    // U+2013 EN DASH and U+2715 MULTIPLICATION X draw the two glyphs in the skin's font.
    FMinimize->setText(QString::fromUtf8("\u2013"));
    FClose->setText(QString::fromUtf8("\u2715"));
    FMinimize->setToolTip(tr("Minimize"));
    FClose->setToolTip(tr("Close"));
    for (QToolButton* button : {FMinimize, FClose}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(FIcon);
    layout->addWidget(FCaption, 1);
    layout->addWidget(FMinimize);
    layout->addWidget(FClose);
    SetBarHeight(30);

    connect(FMinimize, &QToolButton::clicked, this, [this] { window()->showMinimized(); });
    connect(FClose, &QToolButton::clicked, this, [this] { window()->close(); });
}

void TSkinTitleBar::SetTitle(const QString& title) {
    FCaption->setText(title);
}

void TSkinTitleBar::SetIcon(const QIcon& icon) {
    const int size = 18;
    FIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(size, size));
    FIcon->setVisible(!icon.isNull());
}

void TSkinTitleBar::SetBarHeight(int height) {
    setFixedHeight(height);
    for (QToolButton* button : {FMinimize, FClose})
        button->setFixedWidth(height * 3 / 2);
}

void TSkinTitleBar::mousePressEvent(QMouseEvent* event) {
    // The platform moves the window for as long as the button is held.
    if (event->button() == Qt::LeftButton && window()->windowHandle() &&
        window()->windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TSkinTitleBar::paintEvent(QPaintEvent*) {
    // A plain QWidget subclass draws its style-sheet background only when asked to.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
