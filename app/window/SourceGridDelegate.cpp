#include "SourceGridDelegate.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>

#include "SourceGridModel.h"

namespace {

// The four lines: their columns and vertical offsets within the slide.
struct TSlideLine {
    TSourceColumn Column;
    int Top;
    bool Bold;
};
constexpr TSlideLine SlideLines[] = {
    {NxTextColumnFileMinName, 0, true},
    {NxTextColumnDuration, 33, false},
    {NxTextColumnBitrate, 49, false},
    {NxTextColumnDimension, 65, false},
};

// The right margin of the text lines inside the slide.
constexpr int SlideTextMargin = 6;

} // namespace

QString SlideLineText(const QFontMetrics& metrics, const QString& text, int width) {
    return metrics.elidedText(text, Qt::ElideRight, width);
}

void TSourceGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem panel = option;
    initStyleOption(&panel, index);
    panel.text.clear();
    panel.icon = QIcon();
    panel.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, widget);

    const QRect slide = option.rect;
    painter->save();
    const QImage picture = index.data(Qt::DecorationRole).value<QImage>();
    if (!picture.isNull()) {
        // Centred in its box, never enlarged past it.
        const QSize size =
            picture.size().scaled(SlidePictureWidth, SlidePictureHeight, Qt::KeepAspectRatio);
        const QRect box(slide.left() + (SlidePictureWidth - size.width()) / 2,
                        slide.top() + 1 + (SlidePictureHeight - size.height()) / 2, size.width(),
                        size.height());
        painter->drawImage(box, picture);
    }
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics plain(option.font);
    for (const TSlideLine& line : SlideLines) {
        QFont font = option.font;
        font.setBold(line.Bold);
        painter->setFont(font);
        // Each line uses the column's width and ends in an ellipsis where it is cut.
        const int width = std::max(0, slide.width() - SlideTextLeft - SlideTextMargin);
        const QRect box(slide.left() + SlideTextLeft, slide.top() + line.Top, width,
                        plain.height() + 2);
        const QString text = SlideLineText(
            QFontMetrics(font), index.siblingAtColumn(line.Column).data().toString(), width);
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

QSize TSourceGridDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {SlideTextLeft + SlideNameWidth, SlideHeight};
}
