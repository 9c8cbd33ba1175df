#include "chooser/glyph_delegate.h"

#include "chooser/glyphs.h"

#include <QApplication>
#include <QPainter>

namespace chooser {

GlyphDelegate::GlyphDelegate(Placement placement, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_placement(placement)
{
}

int GlyphDelegate::textLeft(const QModelIndex &index) const
{
    const QPixmap glyph = index.data(GlyphPixmapRole).value<QPixmap>();
    if (glyph.isNull())
        return m_placement.textLeftWithoutGlyph;
    return index.data(IndentRole).toInt() + glyph.width() + 4;
}

void GlyphDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDisplay;
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QRect rect = option.rect;
    const QPixmap glyph = index.data(GlyphPixmapRole).value<QPixmap>();
    painter->save();
    if (!glyph.isNull()) {
        const int top = rect.top() + (rect.height() - glyph.height()) / 2;
        painter->drawPixmap(rect.left() + index.data(IndentRole).toInt(), top, glyph);
    }
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QRect textRect = rect.adjusted(textLeft(index), 0, 0, 0);
    painter->drawText(textRect, int(m_placement.textVertical) | Qt::AlignLeft | Qt::TextSingleLine,
        index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize GlyphDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const int width
        = textLeft(index) + option.fontMetrics.horizontalAdvance(index.data().toString()) + 2;
    const int height
        = m_placement.rowHeight > 0 ? m_placement.rowHeight : option.fontMetrics.height();
    return QSize(width, height);
}

} // namespace chooser
