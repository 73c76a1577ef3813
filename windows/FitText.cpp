#include "FitText.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

constexpr double SmallestPointSize = 6.0;

int WidestLine(const QFont& font, const QStringList& lines) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

void ShrinkToFit(QWidget* widget, const QStringList& lines, int width) {
    QFont font = widget->font();
    if (font.pointSizeF() <= 0)
        return;
    bool changed = false;
    while (WidestLine(font, lines) > width && font.pointSizeF() - 0.5 >= SmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        changed = true;
    }
    if (changed)
        widget->setFont(font);
}

} // namespace

void FitLabelText(QLabel* label) {
    label->ensurePolished();
    ShrinkToFit(label, label->text().split('\n'), label->contentsRect().width());
}

void FitButtonText(QPushButton* button) {
    button->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    // The room the style leaves for the caption (the button less its frame and padding), with
    // two pixels on either side.
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    QString caption = button->text();
    caption.remove('&');
    ShrinkToFit(button, {caption}, contents.width() - 4);
}
