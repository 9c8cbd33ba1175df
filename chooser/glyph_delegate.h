#pragma once

#include <QStyledItemDelegate>

namespace chooser {

// Draws one item of the drive, directory or file list: the glyph (GlyphPixmapRole) at IndentRole
// pixels from the left, vertically centred, and the text 4 pixels after the glyph, or at
// textLeftWithoutGlyph when the item has none. The three lists differ only in these numbers.
class GlyphDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    struct Placement {
        int textLeftWithoutGlyph = 2;
        Qt::Alignment textVertical = Qt::AlignTop;
        int rowHeight = 0; // 0: the font's text height
    };

    GlyphDelegate(Placement placement, QObject *parent);

    void setRowHeight(int height) { m_placement.rowHeight = height; }
    int rowHeight() const { return m_placement.rowHeight; }

    // Where the item's text begins, in pixels from the item's left.
    int textLeft(const QModelIndex &index) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    Placement m_placement;
};

} // namespace chooser
