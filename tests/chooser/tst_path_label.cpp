#include "chooser/shorten_path.h"

#include <QtTest>

class tst_PathLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void shortenPath_data();
    void shortenPath();
};

void tst_PathLabel::shortenPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<QString>("expected");

    // The fake measure below makes widths equal lengths, so each step's own length stops there.
    const QString deep = QStringLiteral("/home/anna/Photos/2005/Summer");
    QTest::newRow("fits") << deep << 29 << deep;
    for (const char *step : { "/.../anna/Photos/2005/Summer", "/.../Photos/2005/Summer",
             "/.../2005/Summer", "/.../Summer", ".../Summer", "Summer" })
        QTest::newRow(step) << deep << int(qstrlen(step)) << QString::fromLatin1(step);
    QTest::newRow("between steps") << deep << 20 << QStringLiteral("/.../2005/Summer");
    QTest::newRow("name too wide") << deep << 0 << QStringLiteral("Summer");
    QTest::newRow("root") << QStringLiteral("/") << 0 << QStringLiteral("/");
    QTest::newRow("relative") << QStringLiteral("abcdef/gh/name") << 8
                              << QStringLiteral(".../name");
}

void tst_PathLabel::shortenPath()
{
    QFETCH(QString, path);
    QFETCH(int, maxWidth);
    QFETCH(QString, expected);
    const auto measure = [](const QString &text) { return int(text.size()); };
    QCOMPARE(chooser::ShortenPath(path, maxWidth, measure), expected);
}

QTEST_MAIN(tst_PathLabel)
#include "tst_path_label.moc"
