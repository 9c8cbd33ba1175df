#pragma once

#include <QPixmap>
#include <QString>

namespace chooser {

// The ten pictures the lists draw beside their items.
enum class Glyph {
    Floppy,
    Hard,
    Network,
    CdRom,
    Ram,
    OpenFolder,
    CurrentFolder,
    ClosedFolder,
    Executable,
    UnknownFile
};

// Item data the list delegates draw from; set when the items are built.
enum ListRole {
    GlyphRole = Qt::UserRole + 1, // int(Glyph), absent for an item without a glyph
    GlyphPixmapRole, // QPixmap, masked
    IndentRole, // pixels from the item's left to its glyph
    PathRole // the full path an item stands for
};

// The glyph's resource name ("FLOPPY", "OPENFOLDER", ...).
QString glyphName(Glyph glyph);

// The glyph's picture, transparent wherever it has the colour of its bottom-left pixel.
QPixmap loadGlyph(Glyph glyph);

} // namespace chooser
