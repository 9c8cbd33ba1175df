#include "chooser/glyphs.h"

#include <QBitmap>
#include <QImage>

// The resources live in this static library; referencing them keeps the linker from dropping
// them from the program.
static void initGlyphResources()
{
    Q_INIT_RESOURCE(glyphs);
}

namespace chooser {

QString glyphName(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Floppy:
        return QStringLiteral("FLOPPY");
    case Glyph::Hard:
        return QStringLiteral("HARD");
    case Glyph::Network:
        return QStringLiteral("NETWORK");
    case Glyph::CdRom:
        return QStringLiteral("CDROM");
    case Glyph::Ram:
        return QStringLiteral("RAM");
    case Glyph::OpenFolder:
        return QStringLiteral("OPENFOLDER");
    case Glyph::CurrentFolder:
        return QStringLiteral("CURRENTFOLDER");
    case Glyph::ClosedFolder:
        return QStringLiteral("CLOSEDFOLDER");
    case Glyph::Executable:
        return QStringLiteral("EXECUTABLE");
    case Glyph::UnknownFile:
        return QStringLiteral("UNKNOWNFILE");
    }
    return QString();
}

QPixmap loadGlyph(Glyph glyph)
{
    static const bool initialised = (initGlyphResources(), true);
    Q_UNUSED(initialised);
    const QImage image(QStringLiteral(":/glyphs/") + glyphName(glyph));
    if (image.isNull())
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(image);
    const QColor transparent = image.pixelColor(0, image.height() - 1);
    pixmap.setMask(pixmap.createMaskFromColor(transparent, Qt::MaskInColor));
    return pixmap;
}

} // namespace chooser
