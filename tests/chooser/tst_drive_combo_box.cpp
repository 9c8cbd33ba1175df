#include "chooser/drive_combo_box.h"
#include "chooser/glyphs.h"
#include "test_support.h"

#include <QSignalSpy>
#include <QtTest>

using chooser::TDriveComboBox;
using chooser::TextCase;
using platform::Volume;
using platform::VolumeKind;

Q_DECLARE_METATYPE(platform::Volume)

namespace {

Volume volume(const char *mountPoint, VolumeKind kind, const char *label = "",
    const char *source = "/dev/sda1")
{
    Volume v;
    v.mountPoint = mountPoint;
    v.kind = kind;
    v.label = label;
    v.source = source;
    return v;
}

} // namespace

class tst_DriveComboBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { QVERIFY(testing_support::noWindowLeftOpen()); }
    void volumeText_data();
    void volumeText();
    void startsAtTheVolumeOfTheCurrentFolder();
    void glyphFollowsKind();
    void selectingTheCurrentVolumeDoesNothing();
    void textCaseRebuildsAndKeepsSelection();
};

void tst_DriveComboBox::volumeText_data()
{
    QTest::addColumn<Volume>("volume");
    QTest::addColumn<TextCase>("textCase");
    QTest::addColumn<QString>("expected");

    QTest::newRow("root without label")
        << volume("/", VolumeKind::Fixed) << TextCase::tcLowerCase << QStringLiteral("/ []");
    QTest::newRow("label lower") << volume("/data", VolumeKind::Fixed, "System")
                                 << TextCase::tcLowerCase << QStringLiteral("/data [system]");
    QTest::newRow("label upper") << volume("/data", VolumeKind::Fixed, "System")
                                 << TextCase::tcUpperCase << QStringLiteral("/data [SYSTEM]");
    QTest::newRow("mount point as stored") << volume("/media/anna/HOLIDAY", VolumeKind::Removable,
        "Holiday") << TextCase::tcLowerCase << QStringLiteral("/media/anna/HOLIDAY [holiday]");
    QTest::newRow("network shows remote")
        << volume("/mnt/nas", VolumeKind::Network, "", "NAS:/Export") << TextCase::tcLowerCase
        << QStringLiteral("/mnt/nas nas:/export");
    QTest::newRow("network upper")
        << volume("/mnt/nas", VolumeKind::Network, "", "NAS:/Export") << TextCase::tcUpperCase
        << QStringLiteral("/mnt/nas NAS:/EXPORT");
    QTest::newRow("label with space") << volume("/m", VolumeKind::CdRom, "MY DISC")
                                      << TextCase::tcLowerCase << QStringLiteral("/m [my disc]");
}

void tst_DriveComboBox::volumeText()
{
    QFETCH(Volume, volume);
    QFETCH(TextCase, textCase);
    QFETCH(QString, expected);
    QCOMPARE(TDriveComboBox::volumeText(volume, textCase), expected);
}

void tst_DriveComboBox::startsAtTheVolumeOfTheCurrentFolder()
{
    TDriveComboBox box;
    QVERIFY(box.count() >= 1);
    QCOMPARE(box.itemData(0, chooser::PathRole).toString(), QStringLiteral("/"));
    const std::string expected
        = platform::VolumeOf(platform::GetCurrentDir(), platform::ListVolumes());
    QCOMPARE(box.drive(), QString::fromStdString(expected));
    QCOMPARE(box.itemData(box.currentIndex(), chooser::PathRole).toString(), box.drive());
}

void tst_DriveComboBox::glyphFollowsKind()
{
    TDriveComboBox box;
    box.setVolumes({ volume("/", VolumeKind::Fixed), volume("/media/stick", VolumeKind::Removable),
        volume("/mnt/nas", VolumeKind::Network), volume("/mnt/cd", VolumeKind::CdRom),
        volume("/tmp", VolumeKind::Ram) });
    const QList<chooser::Glyph> expected { chooser::Glyph::Hard, chooser::Glyph::Floppy,
        chooser::Glyph::Network, chooser::Glyph::CdRom, chooser::Glyph::Ram };
    QCOMPARE(box.count(), expected.size());
    for (int row = 0; row < box.count(); ++row) {
        const QPixmap glyph = box.itemData(row, chooser::GlyphPixmapRole).value<QPixmap>();
        QCOMPARE(glyph.size(), QSize(16, 11));
        QCOMPARE(glyph.toImage(), chooser::loadGlyph(expected[row]).toImage());
    }
}

void tst_DriveComboBox::selectingTheCurrentVolumeDoesNothing()
{
    TDriveComboBox box;
    box.setVolumes(
        { volume("/", VolumeKind::Fixed), volume("/media/stick", VolumeKind::Removable) });
    box.setDrive(QStringLiteral("/"));
    QSignalSpy changed(&box, &TDriveComboBox::changed);

    box.setDrive(QStringLiteral("/"));
    QCOMPARE(changed.count(), 0);

    box.setDrive(QStringLiteral("/media/stick"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(box.drive(), QStringLiteral("/media/stick"));
    QCOMPARE(box.currentIndex(), 1);

    // The user picking an item goes the same way.
    emit box.activated(1);
    QCOMPARE(changed.count(), 1);
    box.setCurrentIndex(0);
    emit box.activated(0);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(box.drive(), QStringLiteral("/"));

    // Following a folder view across volumes is silent.
    box.showVolumeOf(QStringLiteral("/media/stick/DCIM"));
    QCOMPARE(box.currentIndex(), 1);
    QCOMPARE(changed.count(), 2);

    box.setDrive(QString());
    QCOMPARE(box.currentIndex(), -1);
    QVERIFY(box.drive().isEmpty());
}

void tst_DriveComboBox::textCaseRebuildsAndKeepsSelection()
{
    TDriveComboBox box;
    box.setVolumes(
        { volume("/", VolumeKind::Fixed, "Root"), volume("/b", VolumeKind::Fixed, "Bee") });
    box.setDrive(QStringLiteral("/b"));
    box.setTextCase(TextCase::tcUpperCase);
    QCOMPARE(box.itemText(0), QStringLiteral("/ [ROOT]"));
    QCOMPARE(box.currentIndex(), 1);
}

QTEST_MAIN(tst_DriveComboBox)
#include "tst_drive_combo_box.moc"
