#include "chooser/path_text.h"

#include <QtTest>

#include <random>
#include <string>

using chooser::pathBytes;
using chooser::pathText;

namespace {

// An escape is a low surrogate in U+DC80..U+DCFF that is not the second half of a pair.
bool hasEscape(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate()))
            return true;
    }
    return false;
}

} // namespace

class tst_PathText : public QObject
{
    Q_OBJECT

private slots:
    void everyNameRoundTrips();
    void bytesAndText_data();
    void bytesAndText();
};

// Names of bytes drawn evenly from ASCII, continuation bytes and lead bytes (NUL never occurs
// in a name) come back as the same bytes; the valid ones read as Qt's own decoder reads them,
// the others carry an escape. Text of any characters goes to its UTF-8 and back.
void tst_PathText::everyNameRoundTrips()
{
    std::mt19937 random(20240611);
    const auto pick
        = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int firstByte[] = { 0x01, 0x80, 0xC0 };
    const int lastByte[] = { 0x7F, 0xBF, 0xFF };
    for (int i = 0; i < 50000; ++i) {
        std::string bytes(std::size_t(pick(0, 12)), '\0');
        for (char &byte : bytes) {
            const int kind = pick(0, 2);
            byte = char(pick(firstByte[kind], lastByte[kind]));
        }
        const QString text = pathText(bytes);
        QCOMPARE(QByteArray::fromStdString(pathBytes(text)), QByteArray::fromStdString(bytes));
        const QString qt = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        const bool valid = qt.toUtf8().toStdString() == bytes;
        QCOMPARE(hasEscape(text), !valid);
        if (valid)
            QCOMPARE(text, qt);

        std::u32string characters(std::size_t(pick(0, 6)), U'\0');
        for (char32_t &c : characters) {
            c = char32_t(pick(1, 0x10FFFF - 0x800));
            c += c >= 0xD800 ? 0x800 : 0; // no surrogates
        }
        const QString typed = QString::fromUcs4(characters.data(), qsizetype(characters.size()));
        QCOMPARE(QByteArray::fromStdString(pathBytes(typed)), typed.toUtf8());
        QCOMPARE(pathText(pathBytes(typed)), typed);
    }
}

void tst_PathText::bytesAndText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bothWays");
    const auto units = [](std::initializer_list<char16_t> list) {
        QString text;
        for (char16_t unit : list)
            text += QChar(unit);
        return text;
    };
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9-photos")
                                  << "caf" + units({ 0xDCE9 }) + "-photos" << true;
    // Were it read as U+DC80, it would come back as the single byte 0x80.
    QTest::newRow("encoded U+DC80")
        << QByteArray("\xed\xb2\x80") << units({ 0xDCED, 0xDCB2, 0xDC80 }) << true;
    QTest::newRow("lone surrogate typed")
        << QByteArray("\xef\xbf\xbd") << units({ 0xD800 }) << false;
}

void tst_PathText::bytesAndText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, bothWays);
    if (bothWays)
        QCOMPARE(pathText(bytes.toStdString()), text);
    QCOMPARE(QByteArray::fromStdString(pathBytes(text)), bytes);
}

QTEST_MAIN(tst_PathText)
#include "tst_path_text.moc"
