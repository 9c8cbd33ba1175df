#include "chooser/file_list_box.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

using chooser::TFileListBox;
using namespace testing_support;

class tst_FileListBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init() { m_tree = std::make_unique<TempTree>(); }
    void cleanup()
    {
        m_tree.reset();
        QVERIFY(!QGuiApplication::overrideCursor());
    }
    void visibleRegularFilesSortedIgnoringCase();
    void waitCursorFromEntry100();
    void folderThatCannotBeEnteredKeepsList();

private:
    static QStringList texts(const TFileListBox &list)
    {
        QStringList result;
        for (int row = 0; row < list.count(); ++row)
            result << list.item(row)->text();
        return result;
    }

    std::unique_ptr<TempTree> m_tree;
};

void tst_FileListBox::visibleRegularFilesSortedIgnoringCase()
{
    m_tree->make({ "f/b.txt", "f/A.jpg", "f/c", "f/Zulu.JPG", "f/.hidden", "f/folder/x" });
    QVERIFY(QFile::link(
        m_tree->path(QStringLiteral("f/b.txt")), m_tree->path(QStringLiteral("f/link"))));
    QCOMPARE(
        mkfifo(QFile::encodeName(m_tree->path(QStringLiteral("f/pipe"))).constData(), 0644), 0);

    TFileListBox list;
    QSignalSpy changed(&list, &TFileListBox::changed);
    list.showFolder(QStringLiteral("f"));
    QCOMPARE(texts(list), QStringList({ "A.jpg", "b.txt", "c", "link", "Zulu.JPG" }));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(currentFolder(), m_tree->path(QStringLiteral("f")));

    list.setMask(QStringLiteral("*.jpg;*.TXT"));
    QCOMPARE(texts(list), QStringList({ "A.jpg", "b.txt", "Zulu.JPG" }));
}

void tst_FileListBox::waitCursorFromEntry100()
{
    TFileListBox list;
    QStringList names;
    for (int i = 0; i < 150; ++i)
        names << QStringLiteral("many/%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    m_tree->make(names);
    QList<bool> waiting;
    connect(list.model(), &QAbstractItemModel::rowsInserted, &list, [&] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        waiting << (cursor && cursor->shape() == Qt::WaitCursor);
    });
    list.showFolder(m_tree->path(QStringLiteral("many")));
    QCOMPARE(waiting.size(), 150);
    QCOMPARE(waiting.indexOf(true), 100);
    QCOMPARE(waiting.count(true), 50);
}

void tst_FileListBox::folderThatCannotBeEnteredKeepsList()
{
    m_tree->make({ "one.jpg", "two.jpg" });
    TFileListBox list;
    QSignalSpy changed(&list, &TFileListBox::changed);
    for (const char *bad : { "missing", "one.jpg" })
        QVERIFY_THROWS_EXCEPTION(platform::EInOutError, list.showFolder(m_tree->path(bad)));
    QCOMPARE(texts(list), QStringList({ "one.jpg", "two.jpg" }));
    QCOMPARE(list.directory(), m_tree->root);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(currentFolder(), m_tree->root);
}

QTEST_MAIN(tst_FileListBox)
#include "tst_file_list_box.moc"
