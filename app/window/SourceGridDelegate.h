// Paints one row of the source grid as a slide of 90 pixels: the thumbnail (128 x 88) at the
// left and the four text lines to its right.
#pragma once

#include <QStyledItemDelegate>

inline constexpr int SlideHeight = 90;
inline constexpr int SlidePictureWidth = 128;
inline constexpr int SlidePictureHeight = 88;
inline constexpr int SlideTextLeft = 136;
inline constexpr int SlideTextWidth = 280;
// The path in line 1 is shortened to this width.
inline constexpr int SlideNameWidth = 300;

class QFontMetrics;
class QString;

// `text` as a slide line of `width` pixels shows it: whole when it fits, else cut with an
// ellipsis at the end.
QString SlideLineText(const QFontMetrics& metrics, const QString& text, int width);

class TSourceGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
