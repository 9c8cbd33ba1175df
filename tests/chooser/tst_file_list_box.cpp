#include "chooser/file_list_box.h"
#include "chooser/glyphs.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using chooser::TFileListBox;
using namespace testing_support;

class tst_FileListBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init();
    void cleanup();
    void listsVisibleRegularFilesSortedIgnoringCase();
    void maskPatternsAreJoined();
    void waitCursorFromEntry100AndRestored();
    void folderThatCannotBeEnteredKeepsList();
    void glyphsOnlyWhenAskedFor();

private:
    static QStringList texts(const TFileListBox &list)
    {
        QStringList result;
        for (int row = 0; row < list.count(); ++row)
            result.append(list.item(row)->text());
        return result;
    }

    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<CurrentDirGuard> m_cwd;
    QString m_root;
};

void tst_FileListBox::init()
{
    m_cwd = std::make_unique<CurrentDirGuard>();
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    m_root = canonical(m_temp->path());
}

void tst_FileListBox::cleanup()
{
    m_cwd.reset();
    m_temp.reset();
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(noWindowLeftOpen());
}

void tst_FileListBox::listsVisibleRegularFilesSortedIgnoringCase()
{
    makeTree(m_root,
        { "b.txt", "A.jpg", "c", "Zulu.JPG", "alpha", ".hidden", "folder/", ".hidden-folder/",
            "folder/inside.jpg" });
    QVERIFY(QFile::link(m_root + QStringLiteral("/b.txt"), m_root + QStringLiteral("/link")));
    QVERIFY(QFile::link(m_root + QStringLiteral("/missing"), m_root + QStringLiteral("/dangling")));
    QCOMPARE(mkfifo(QFile::encodeName(m_root + QStringLiteral("/pipe")).constData(), 0644), 0);

    TFileListBox list;
    QSignalSpy changed(&list, &TFileListBox::changed);
    list.showFolder(m_root);
    QCOMPARE(texts(list), QStringList({ "A.jpg", "alpha", "b.txt", "c", "link", "Zulu.JPG" }));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.directory(), m_root);
    QCOMPARE(canonical(QDir::currentPath()), m_root);

    // The same folder again reads nothing.
    list.showFolder(m_root);
    QCOMPARE(changed.count(), 1);
}

void tst_FileListBox::maskPatternsAreJoined()
{
    makeTree(m_root, { "a.jpg", "b.TXT", "c.png", "d.jpg.bak" });
    TFileListBox list;
    list.showFolder(m_root);
    list.setMask(QStringLiteral("*.jpg;*.txt;*.JPG"));
    QCOMPARE(texts(list), QStringList({ "a.jpg", "b.TXT" }));
}

void tst_FileListBox::waitCursorFromEntry100AndRestored()
{
    QStringList names;
    for (int i = 0; i < 150; ++i)
        names.append(QStringLiteral("photo%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    makeTree(m_root, names);

    TFileListBox list;
    QList<bool> waiting;
    connect(list.model(), &QAbstractItemModel::rowsInserted, &list, [&] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        waiting.append(cursor && cursor->shape() == Qt::WaitCursor);
    });
    list.showFolder(m_root);
    QCOMPARE(list.count(), 150);
    QCOMPARE(waiting.size(), 150);
    QCOMPARE(waiting.indexOf(true), 100);
    QCOMPARE(waiting.count(true), 50);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void tst_FileListBox::folderThatCannotBeEnteredKeepsList()
{
    makeTree(m_root, { "one.jpg", "two.jpg" });
    TFileListBox list;
    list.showFolder(m_root);
    QSignalSpy changed(&list, &TFileListBox::changed);
    QVERIFY_THROWS_EXCEPTION(
        platform::EInOutError, list.showFolder(m_root + QStringLiteral("/missing")));
    QVERIFY_THROWS_EXCEPTION(
        platform::EInOutError, list.showFolder(m_root + QStringLiteral("/one.jpg")));
    QCOMPARE(texts(list), QStringList({ "one.jpg", "two.jpg" }));
    QCOMPARE(list.directory(), m_root);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(canonical(QDir::currentPath()), m_root);
}

void tst_FileListBox::glyphsOnlyWhenAskedFor()
{
    makeTree(m_root, { "setup.EXE", "run.bat", "photo.jpg" });
    TFileListBox list;
    list.showFolder(m_root);
    for (int row = 0; row < list.count(); ++row)
        QVERIFY(!list.item(row)->data(chooser::GlyphRole).isValid());

    list.setShowGlyphs(true);
    QCOMPARE(texts(list), QStringList({ "photo.jpg", "run.bat", "setup.EXE" }));
    QCOMPARE(list.item(0)->data(chooser::GlyphRole).toInt(), int(chooser::Glyph::UnknownFile));
    QCOMPARE(list.item(1)->data(chooser::GlyphRole).toInt(), int(chooser::Glyph::Executable));
    QCOMPARE(list.item(2)->data(chooser::GlyphRole).toInt(), int(chooser::Glyph::Executable));
}

QTEST_MAIN(tst_FileListBox)
#include "tst_file_list_box.moc"
