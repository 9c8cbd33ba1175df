#include "chooser/glyphs.h"

#include <QBitmap>
#include <QtTest>

using chooser::Glyph;

class tst_Glyphs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void loadsWithSizeAndTransparentBackground_data();
    void loadsWithSizeAndTransparentBackground();
};

void tst_Glyphs::loadsWithSizeAndTransparentBackground_data()
{
    QTest::addColumn<Glyph>("glyph");
    QTest::addColumn<QSize>("size");
    for (Glyph g : { Glyph::Floppy, Glyph::Hard, Glyph::Network, Glyph::CdRom, Glyph::Ram })
        QTest::newRow(qPrintable(chooser::glyphName(g))) << g << QSize(16, 11);
    for (Glyph g : { Glyph::OpenFolder, Glyph::CurrentFolder, Glyph::ClosedFolder,
             Glyph::Executable, Glyph::UnknownFile })
        QTest::newRow(qPrintable(chooser::glyphName(g))) << g << QSize(16, 15);
}

// The resources must be linked in and masked by their bottom-left colour: a glyph drawn
// without its mask would paint a teal box over the list.
void tst_Glyphs::loadsWithSizeAndTransparentBackground()
{
    QFETCH(Glyph, glyph);
    QFETCH(QSize, size);
    const QPixmap pixmap = chooser::loadGlyph(glyph);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), size);

    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage raw(QStringLiteral(":/glyphs/") + chooser::glyphName(glyph));
    QCOMPARE(raw.depth() <= 8 ? raw.colorCount() : 0, 16);
    const QRgb background = raw.pixel(0, raw.height() - 1);
    int transparent = 0;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool clear = qAlpha(image.pixel(x, y)) == 0;
            QCOMPARE(clear, raw.pixel(x, y) == background);
            (clear ? transparent : opaque)++;
        }
    }
    QVERIFY(transparent > 0);
    QVERIFY(opaque > 0);
}

QTEST_MAIN(tst_Glyphs)
#include "tst_glyphs.moc"
