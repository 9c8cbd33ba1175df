#include "chooser/directory_list_box.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "test_support.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

using chooser::Glyph;
using chooser::TDirectoryListBox;
using namespace testing_support;

class tst_DirectoryListBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init();
    void cleanup();
    void rootHasOneCurrentRowThenSubfolders();
    void deepFolderRowsGlyphsIndentsAndPaths();
    void folderWithoutSubfoldersEndsWithCurrentRow();
    void sameFolderChangesNothing();
    void doubleClickEntersRow();
    void folderThatCannotBeEnteredKeepsEverything_data();
    void folderThatCannotBeEnteredKeepsEverything();

private:
    // A press first: the view opens only a row that the same button pressed.
    static void doubleClickRow(TDirectoryListBox &list, int row)
    {
        const QPoint where = list.visualItemRect(list.item(row)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, where);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, where);
    }
    static int glyphOf(const TDirectoryListBox &list, int row)
    {
        return list.item(row)->data(chooser::GlyphRole).toInt();
    }
    static int indentOf(const TDirectoryListBox &list, int row)
    {
        return list.item(row)->data(chooser::IndentRole).toInt();
    }

    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<CurrentDirGuard> m_cwd;
    QString m_root; // the temporary folder with symlinks resolved
};

void tst_DirectoryListBox::init()
{
    m_cwd = std::make_unique<CurrentDirGuard>();
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    m_root = canonical(m_temp->path());
}

void tst_DirectoryListBox::cleanup()
{
    m_cwd.reset();
    m_temp.reset();
    QVERIFY(noWindowLeftOpen());
}

void tst_DirectoryListBox::rootHasOneCurrentRowThenSubfolders()
{
    TDirectoryListBox list;
    list.setDirectory(QStringLiteral("/"));
    QCOMPARE(list.directory(), QStringLiteral("/"));
    QCOMPARE(QDir::currentPath(), QStringLiteral("/"));
    QCOMPARE(list.currentFolderRow(), 0);
    QCOMPARE(list.item(0)->text(), QStringLiteral("/"));
    QCOMPARE(glyphOf(list, 0), int(Glyph::CurrentFolder));
    QCOMPARE(indentOf(list, 0), 2);
    QVERIFY(list.count() > 1); // every system has folders under "/"

    auto *delegate = static_cast<chooser::GlyphDelegate *>(list.itemDelegate());
    for (int row = 1; row < list.count(); ++row) {
        QCOMPARE(glyphOf(list, row), int(Glyph::ClosedFolder));
        QCOMPARE(indentOf(list, row), 10);
        QCOMPARE(delegate->textLeft(list.model()->index(row, 0)), 30);
        QVERIFY(!list.item(row)->text().startsWith(QLatin1Char('.')));
        QCOMPARE(list.pathOfRow(row), QLatin1Char('/') + list.item(row)->text());
    }
}

void tst_DirectoryListBox::deepFolderRowsGlyphsIndentsAndPaths()
{
    makeTree(m_root,
        { "a/b/Zeta/", "a/b/alpha/", "a/b/Beta/", "a/b/.hidden/", "a/b/file.txt",
            "a/b/.hidden-file" });
    TDirectoryListBox list;
    list.setDirectory(m_root + QStringLiteral("/a/b"));
    QCOMPARE(list.directory(), m_root + QStringLiteral("/a/b"));
    QCOMPARE(canonical(QDir::currentPath()), m_root + QStringLiteral("/a/b"));

    const QStringList parts = list.directory().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const int current = int(parts.size());
    QCOMPARE(list.currentFolderRow(), current);
    QCOMPARE(list.currentRow(), current);
    QCOMPARE(list.count(), current + 4); // "/", the parts, three visible subfolders

    QString path;
    for (int row = 0; row <= current; ++row) {
        QCOMPARE(
            glyphOf(list, row), int(row == current ? Glyph::CurrentFolder : Glyph::OpenFolder));
        QCOMPARE(indentOf(list, row), 4 * row + 2);
        if (row > 0)
            path += QLatin1Char('/') + parts[row - 1];
        QCOMPARE(list.pathOfRow(row), row == 0 ? QStringLiteral("/") : path);
        QCOMPARE(list.item(row)->text(), row == 0 ? QStringLiteral("/") : parts[row - 1]);
    }
    const QStringList subfolders { "alpha", "Beta", "Zeta" };
    for (int i = 0; i < 3; ++i) {
        const int row = current + 1 + i;
        QCOMPARE(list.item(row)->text(), subfolders[i]);
        QCOMPARE(glyphOf(list, row), int(Glyph::ClosedFolder));
        QCOMPARE(indentOf(list, row), 4 * current + 6);
        QCOMPARE(list.pathOfRow(row), list.directory() + QLatin1Char('/') + subfolders[i]);
    }
}

void tst_DirectoryListBox::folderWithoutSubfoldersEndsWithCurrentRow()
{
    makeTree(m_root, { "leaf/only-a-file" });
    TDirectoryListBox list;
    list.setDirectory(m_root + QStringLiteral("/leaf"));
    QCOMPARE(list.currentFolderRow(), list.count() - 1);
    QCOMPARE(list.item(list.count() - 1)->text(), QStringLiteral("leaf"));
}

void tst_DirectoryListBox::sameFolderChangesNothing()
{
    makeTree(m_root, { "x/" });
    TDirectoryListBox list;
    list.setDirectory(m_root);
    QSignalSpy changed(&list, &TDirectoryListBox::changed);
    list.setDirectory(m_root);
    list.setDirectory(m_root + QStringLiteral("/"));
    list.setDirectory(m_root + QStringLiteral("/x/.."));
    list.setDirectory(QString());
    QCOMPARE(changed.count(), 0);
    list.setDirectory(QStringLiteral("x")); // relative to the folder shown
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.directory(), m_root + QStringLiteral("/x"));
}

void tst_DirectoryListBox::doubleClickEntersRow()
{
    makeTree(m_root, { "up/down/" });
    TDirectoryListBox list;
    list.resize(300, 600);
    list.setDirectory(m_root + QStringLiteral("/up"));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy changed(&list, &TDirectoryListBox::changed);

    doubleClickRow(list, list.currentFolderRow() + 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.directory(), m_root + QStringLiteral("/up/down"));

    // The row above the current one leads back up.
    doubleClickRow(list, list.currentFolderRow() - 1);
    QCOMPARE(list.directory(), m_root + QStringLiteral("/up"));
    QCOMPARE(canonical(QDir::currentPath()), m_root + QStringLiteral("/up"));
    list.close();
}

void tst_DirectoryListBox::folderThatCannotBeEnteredKeepsEverything_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("removed after listing") << QStringLiteral("removed");
    QTest::newRow("replaced by a file") << QStringLiteral("file");
    QTest::newRow("no permission") << QStringLiteral("permission");
}

// The user double-clicks a folder the list offers, but it cannot be entered: the error reaches
// the error display, and the list, its folder and the process's folder stay as they were.
void tst_DirectoryListBox::folderThatCannotBeEnteredKeepsEverything()
{
    QFETCH(QString, how);
    if (how == QStringLiteral("permission") && geteuid() == 0)
        QSKIP("root enters folders whatever their permissions");

    makeTree(m_root, { "shown/bad/", "shown/good/" });
    TDirectoryListBox list;
    list.resize(300, 600);
    list.setDirectory(m_root + QStringLiteral("/shown"));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QString bad = m_root + QStringLiteral("/shown/bad");
    if (how == QStringLiteral("removed")) {
        QVERIFY(QDir().rmdir(bad));
    } else if (how == QStringLiteral("file")) {
        QVERIFY(QDir().rmdir(bad));
        makeTree(m_root, { "shown/bad" });
    } else {
        QVERIFY(QFile::setPermissions(bad, QFileDevice::Permissions()));
    }

    const int rows = list.count();
    ErrorRecorder errors;
    QSignalSpy changed(&list, &TDirectoryListBox::changed);
    const int badRow = list.currentFolderRow() + 1;
    QCOMPARE(list.item(badRow)->text(), QStringLiteral("bad"));
    doubleClickRow(list, badRow);

    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages[0].contains(bad), qPrintable(errors.messages[0]));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(list.directory(), m_root + QStringLiteral("/shown"));
    QCOMPARE(list.count(), rows);
    QCOMPARE(canonical(QDir::currentPath()), m_root + QStringLiteral("/shown"));
    QVERIFY_THROWS_EXCEPTION(platform::EInOutError, list.setDirectory(bad));

    // Still usable.
    list.setDirectory(m_root + QStringLiteral("/shown/good"));
    QCOMPARE(list.directory(), m_root + QStringLiteral("/shown/good"));
    QFile::setPermissions(
        bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    list.close();
}

QTEST_MAIN(tst_DirectoryListBox)
#include "tst_directory_list_box.moc"
