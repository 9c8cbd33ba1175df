#include "chooser/path_text.h"

#include <QtTest>

#include <random>
#include <string>

using chooser::pathBytes;
using chooser::pathText;

namespace {

std::string utf8(char32_t c)
{
    return QString::fromUcs4(&c, 1).toUtf8().toStdString();
}

// Byte strings made of the pieces a decoder can get wrong: characters of every length, stray
// continuation bytes, sequences cut short, overlong forms, encoded surrogates, code points above
// U+10FFFF and bytes that never occur in UTF-8. NUL never does in a file name.
std::string randomName(std::mt19937 &random)
{
    const auto pick
        = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const auto character = [&] {
        switch (pick(0, 3)) {
        case 0:
            return char32_t(pick(1, 0x7F));
        case 1:
            return char32_t(pick(0x80, 0x7FF));
        case 2: {
            const int c = pick(0x800, 0xFFFD - 0x800);
            return char32_t(c >= 0xD800 ? c + 0x800 : c); // no surrogates
        }
        default:
            return char32_t(pick(0x10000, 0x10FFFF));
        }
    };
    std::string name;
    for (int piece = pick(0, 12); piece > 0; --piece) {
        switch (pick(0, 7)) {
        case 0:
            name += char(pick(1, 255));
            break;
        case 1: { // cut short
            std::string whole;
            while (whole.size() < 2)
                whole = utf8(character());
            name += whole.substr(0, std::size_t(pick(1, int(whole.size()) - 1)));
            break;
        }
        case 2: // encoded surrogate, U+DC80..U+DCFF among them
            name += { char(0xED), char(pick(0xA0, 0xBF)), char(pick(0x80, 0xBF)) };
            break;
        case 3: { // overlong
            const char lead[] = { char(pick(0xC0, 0xC1)), char(0xE0), char(0xF0) };
            const int length = pick(0, 2);
            name += lead[length];
            name += char(pick(0x80, length == 1 ? 0x9F : 0x8F));
            name += std::string(std::size_t(length), char(0x80));
            break;
        }
        case 4: // above U+10FFFF, or a lead byte UTF-8 never uses
            name += { char(pick(0xF4, 0xFF)), char(pick(0x90, 0xBF)), char(0x80), char(0x80) };
            break;
        default:
            name += utf8(character());
            break;
        }
    }
    return name;
}

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
    void everyByteStringRoundTrips();
    void bytesAndText_data();
    void bytesAndText();
};

// Back to the same bytes always; valid UTF-8 (as Qt's own decoder judges it) reads as Qt reads
// it, and anything else carries an escape. Typed text (valid Unicode) is its UTF-8.
void tst_PathText::everyByteStringRoundTrips()
{
    std::mt19937 random(20240611);
    for (int i = 0; i < 20000; ++i) {
        const std::string bytes = randomName(random);
        const QString text = pathText(bytes);
        QCOMPARE(QByteArray::fromStdString(pathBytes(text)), QByteArray::fromStdString(bytes));
        const QString qt = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        const bool valid = qt.toUtf8().toStdString() == bytes;
        QCOMPARE(hasEscape(text), !valid);
        if (valid) {
            QCOMPARE(text, qt);
            QCOMPARE(pathText(pathBytes(qt)), qt);
        }
    }
}

void tst_PathText::bytesAndText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bothWays");
    const auto escaped = [](std::initializer_list<char16_t> units) {
        QString text;
        for (char16_t unit : units)
            text += QChar(unit);
        return text;
    };
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9-photos")
                                  << "caf" + escaped({ 0xDCE9 }) + "-photos" << true;
    // Were it read as U+DC80, it would come back as the single byte 0x80.
    QTest::newRow("encoded U+DC80")
        << QByteArray("\xed\xb2\x80") << escaped({ 0xDCED, 0xDCB2, 0xDC80 }) << true;
    QTest::newRow("cut short, then valid") << QByteArray("\xe2\x82"
                                                         "A")
                                           << escaped({ 0xDCE2, 0xDC82, 'A' }) << true;
    QTest::newRow("overlong /") << QByteArray("\xc0\xaf") << escaped({ 0xDCC0, 0xDCAF }) << true;
    QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x93\xb7")
                                << QString::fromUtf8("\xf0\x9f\x93\xb7") << true;
    QTest::newRow("lone surrogate typed")
        << QByteArray("\xef\xbf\xbd") << escaped({ 0xD800 }) << false;
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
