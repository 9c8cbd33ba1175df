#include "chooser/directory_list_box.h"
#include "chooser/glyph_delegate.h"
#include "chooser/glyphs.h"
#include "test_support.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using chooser::Glyph;
using chooser::TDirectoryListBox;
using namespace testing_support;

class tst_DirectoryListBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init() { m_tree = std::make_unique<TempTree>(); }
    void cleanup() { m_tree.reset(); }
    void rootRowThenSubfolders();
    void deepFolderRows();
    void sameFolderChangesNothing();

private:
    struct Row {
        QString text;
        int glyph;
        int indent;
        QString path;
    };
    static Row row(const TDirectoryListBox &list, int i)
    {
        const QListWidgetItem *item = list.item(i);
        return { item->text(), item->data(chooser::GlyphRole).toInt(),
            item->data(chooser::IndentRole).toInt(), list.pathOfRow(i) };
    }

    std::unique_ptr<TempTree> m_tree;
};

void tst_DirectoryListBox::rootRowThenSubfolders()
{
    TDirectoryListBox list;
    list.setDirectory(QStringLiteral("/"));
    QCOMPARE(QDir::currentPath(), QStringLiteral("/"));
    QCOMPARE(list.currentFolderRow(), 0);
    QCOMPARE(row(list, 0).glyph, int(Glyph::CurrentFolder));
    QCOMPARE(row(list, 0).indent, 2);
    QVERIFY(list.count() > 1);
    const auto *delegate = static_cast<chooser::GlyphDelegate *>(list.itemDelegate());
    for (int i = 1; i < list.count(); ++i) {
        QCOMPARE(row(list, i).glyph, int(Glyph::ClosedFolder));
        QCOMPARE(row(list, i).indent, 10);
        QCOMPARE(delegate->textLeft(list.model()->index(i, 0)), 30);
        QCOMPARE(row(list, i).path, QLatin1Char('/') + row(list, i).text);
        QVERIFY(!row(list, i).text.startsWith(QLatin1Char('.')));
    }
}

void tst_DirectoryListBox::deepFolderRows()
{
    m_tree->make({ "a/b/Zeta/", "a/b/alpha/", "a/b/Beta/", "a/b/.hidden/", "a/b/file" });
    TDirectoryListBox list;
    list.setDirectory(m_tree->path(QStringLiteral("a/b")));
    QCOMPARE(currentFolder(), m_tree->path(QStringLiteral("a/b")));

    const QStringList parts = list.directory().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const int current = int(parts.size());
    QCOMPARE(list.currentFolderRow(), current);
    QCOMPARE(list.count(), current + 4);
    QString path;
    for (int i = 0; i <= current; ++i) {
        path += i == 0 ? QString() : QLatin1Char('/') + parts[i - 1];
        const Row r = row(list, i);
        QCOMPARE(r.text, i == 0 ? QStringLiteral("/") : parts[i - 1]);
        QCOMPARE(r.glyph, int(i == current ? Glyph::CurrentFolder : Glyph::OpenFolder));
        QCOMPARE(r.indent, 4 * i + 2);
        QCOMPARE(r.path, i == 0 ? QStringLiteral("/") : path);
    }
    const QStringList subfolders { "alpha", "Beta", "Zeta" };
    for (int i = 0; i < 3; ++i) {
        const Row r = row(list, current + 1 + i);
        QCOMPARE(r.text, subfolders[i]);
        QCOMPARE(r.glyph, int(Glyph::ClosedFolder));
        QCOMPARE(r.indent, 4 * current + 6);
        QCOMPARE(r.path, list.directory() + QLatin1Char('/') + subfolders[i]);
    }
}

void tst_DirectoryListBox::sameFolderChangesNothing()
{
    m_tree->make({ "x/" });
    TDirectoryListBox list;
    QSignalSpy changed(&list, &TDirectoryListBox::changed);
    for (const QString &same : { m_tree->root, m_tree->root + QStringLiteral("/"),
             m_tree->path(QStringLiteral("x/..")), QString() })
        list.setDirectory(same);
    QCOMPARE(changed.count(), 0);
    list.setDirectory(QStringLiteral("x")); // relative to the folder shown
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.directory(), m_tree->path(QStringLiteral("x")));
    QCOMPARE(list.currentFolderRow(), list.count() - 1); // no subfolders
}

QTEST_MAIN(tst_DirectoryListBox)
#include "tst_directory_list_box.moc"
