#include "chooser/path_label.h"
#include "chooser/shorten_path.h"

#include <QtTest>

using chooser::ShortenPath;

class tst_PathLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void shortensOneFolderAtATime_data();
    void shortensOneFolderAtATime();
    void labelKeepsFullPathAndPaintsItShortened();
};

// One pixel per character: widths equal lengths, so each row names the step it should stop at.
static int charWidth(const QString &text)
{
    return int(text.size());
}

void tst_PathLabel::shortensOneFolderAtATime_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<QString>("expected");

    const QString deep = QStringLiteral("/home/anna/Photos/2005/Summer");
    QTest::newRow("fits") << deep << 29 << deep;
    QTest::newRow("wide enough") << deep << 500 << deep;
    const QStringList steps { "/.../anna/Photos/2005/Summer", "/.../Photos/2005/Summer",
        "/.../2005/Summer", "/.../Summer", ".../Summer", "Summer" };
    for (const QString &step : steps)
        QTest::newRow(qPrintable(step)) << deep << int(step.size()) << step;
    // Between two steps the longer one is too wide, so the shorter one is taken.
    QTest::newRow("between steps") << deep << 20 << QStringLiteral("/.../2005/Summer");
    QTest::newRow("name too wide") << deep << 3 << QStringLiteral("Summer");
    QTest::newRow("zero width") << deep << 0 << QStringLiteral("Summer");
    QTest::newRow("top-level file") << QStringLiteral("/Summer") << 3 << QStringLiteral("Summer");
    QTest::newRow("root") << QStringLiteral("/") << 1 << QStringLiteral("/");
    const QString relative = QStringLiteral("abcdef/gh/name");
    QTest::newRow("relative") << relative << 11 << QStringLiteral(".../gh/name");
    QTest::newRow("relative, last folder") << relative << 8 << QStringLiteral(".../name");
    QTest::newRow("relative to name") << relative << 7 << QStringLiteral("name");
    QTest::newRow("hidden folder kept whole")
        << QStringLiteral("/.git/objects/x") << 14 << QStringLiteral("/.../objects/x");
}

void tst_PathLabel::shortensOneFolderAtATime()
{
    QFETCH(QString, path);
    QFETCH(int, maxWidth);
    QFETCH(QString, expected);
    QCOMPARE(ShortenPath(path, maxWidth, charWidth), expected);
}

void tst_PathLabel::labelKeepsFullPathAndPaintsItShortened()
{
    chooser::TPathLabel label;
    const QString path = QStringLiteral("/home/anna/Photos & Films/2005/Summer holiday");
    label.setText(path);
    label.resize(
        label.fontMetrics().horizontalAdvance(QStringLiteral("/.../2005/Summer holiday")), 20);
    QCOMPARE(label.text(), path);
    QCOMPARE(label.shownText(), QStringLiteral("/.../2005/Summer holiday"));

    label.resize(label.fontMetrics().horizontalAdvance(path) + 4, 20);
    QCOMPARE(label.shownText(), path); // "&" stays an ordinary character
    QVERIFY(!label.grab().isNull()); // painting must not trip over the shortened text
}

QTEST_MAIN(tst_PathLabel)
#include "tst_path_label.moc"
