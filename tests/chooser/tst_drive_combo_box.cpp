#include "chooser/drive_combo_box.h"
#include "chooser/glyphs.h"

#include <QSignalSpy>
#include <QtTest>

using chooser::TDriveComboBox;
using chooser::TextCase;
using platform::VolumeKind;

namespace {

platform::Volume volume(const char *mountPoint, VolumeKind kind, const char *label = "",
    const char *source = "/dev/sda1")
{
    return platform::Volume { mountPoint, source, "ext4", kind, label };
}

} // namespace

class tst_DriveComboBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void volumeText();
    void itemsAndSelection();
};

void tst_DriveComboBox::volumeText()
{
    const auto text = TDriveComboBox::volumeText;
    QCOMPARE(text(volume("/", VolumeKind::Fixed), TextCase::tcLowerCase), QStringLiteral("/ []"));
    const platform::Volume stick = volume("/media/anna/HOLIDAY", VolumeKind::Removable, "Holiday");
    QCOMPARE(text(stick, TextCase::tcLowerCase), QStringLiteral("/media/anna/HOLIDAY [holiday]"));
    QCOMPARE(text(stick, TextCase::tcUpperCase), QStringLiteral("/media/anna/HOLIDAY [HOLIDAY]"));
    const platform::Volume share = volume("/mnt/nas", VolumeKind::Network, "", "NAS:/Export");
    QCOMPARE(text(share, TextCase::tcLowerCase), QStringLiteral("/mnt/nas nas:/export"));
}

void tst_DriveComboBox::itemsAndSelection()
{
    TDriveComboBox box;
    box.setVolumes({ volume("/", VolumeKind::Fixed, "Root"), volume("/m", VolumeKind::Removable),
        volume("/n", VolumeKind::Network), volume("/c", VolumeKind::CdRom),
        volume("/t", VolumeKind::Ram) });
    const QList<chooser::Glyph> glyphs { chooser::Glyph::Hard, chooser::Glyph::Floppy,
        chooser::Glyph::Network, chooser::Glyph::CdRom, chooser::Glyph::Ram };
    QCOMPARE(box.count(), glyphs.size());
    // Each glyph is linked in, the one for the kind, and transparent where its bottom-left is.
    for (int row = 0; row < box.count(); ++row) {
        const QImage drawn = box.itemData(row, chooser::GlyphPixmapRole).value<QPixmap>().toImage();
        const QImage raw(QStringLiteral(":/glyphs/") + chooser::glyphName(glyphs[row]));
        QCOMPARE(drawn.size(), QSize(16, 11));
        QCOMPARE(raw.colorCount(), 16);
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(qAlpha(drawn.pixel(x, y)) == 0, raw.pixel(x, y) == raw.pixel(0, 10));
    }

    box.setDrive(QStringLiteral("/"));
    QSignalSpy changed(&box, &TDriveComboBox::changed);
    box.setDrive(QStringLiteral("/")); // already current: nothing
    QCOMPARE(changed.count(), 0);

    box.setCurrentIndex(1); // the user picks an item
    emit box.activated(1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(box.drive(), QStringLiteral("/m"));

    box.showVolumeOf(QStringLiteral("/c/sub")); // following a folder view is silent
    QCOMPARE(box.currentIndex(), 3);
    QCOMPARE(changed.count(), 1);

    box.setTextCase(TextCase::tcUpperCase); // rebuilt, selection kept
    QCOMPARE(box.itemText(0), QStringLiteral("/ [ROOT]"));
    QCOMPARE(box.currentIndex(), 3);
}

QTEST_MAIN(tst_DriveComboBox)
#include "tst_drive_combo_box.moc"
