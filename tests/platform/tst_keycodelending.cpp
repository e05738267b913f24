// Which spare keycode typing lends to a character, when a lent keycode may be
// rebound, and what a record of lent keycodes gives back: plain rules, no display.
#include "platform/linux/keycoderecord.h"
#include "platform/linux/sparekeycodes.h"

#include <QtTest>

namespace {

using Sym = SpareKeycodes::Sym;

// The keysym typing lends a keycode to for a character beyond Latin-1.
Sym symOf(QChar c)
{
    return c.unicode() < 0x100 ? c.unicode() : 0x01000000 + c.unicode();
}

QString charOf(Sym sym)
{
    const char32_t c = char32_t(sym >= 0x01000000 ? sym - 0x01000000 : sym);
    return QString::fromUcs4(&c, 1);
}

QVector<Sym> symsOf(const QString &text)
{
    QVector<Sym> syms;
    for (const QChar c : text)
        syms.append(symOf(c));
    return syms;
}

// The keyboard of these tests types the ASCII letters itself.
bool onKeyboard(Sym sym)
{
    return sym < 0x100;
}

std::vector<Sym> symList(const QString &hex)
{
    std::vector<Sym> syms;
    for (const QString &sym : hex.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        syms.push_back(sym.toULong(nullptr, 16));
    return syms;
}

// Spare keycodes 10, 11 ... with bound's characters bound in order at time 0,
// then used's characters pressed in order at usedAt.
SpareKeycodes sparesWith(const QString &bound, int free, const QString &used, qint64 usedAt)
{
    std::vector<SpareKeycodes::Code> codes;
    for (int i = 0; i < bound.size() + free; ++i)
        codes.push_back(SpareKeycodes::Code(10 + i));
    SpareKeycodes spares(codes);
    for (const QChar c : bound)
        spares.bind(*spares.boundTo(0), symOf(c), 0);
    for (const QChar c : used)
        spares.boundTo(symOf(c))->lastUse = spares.mark(usedAt);
    return spares;
}

} // namespace

class KeycodeLendingTest : public QObject
{
    Q_OBJECT

private slots:
    void lending_data();
    void lending();
    void safeAge_data();
    void safeAge();
    void reserve_data();
    void reserve();
    void recordText_data();
    void recordText();
    void giveBack_data();
    void giveBack();
};

void KeycodeLendingTest::lending_data()
{
    QTest::addColumn<QString>("bound"); // characters spare keycodes give, in the order bound
    QTest::addColumn<int>("free");      // spare keycodes after those that give none
    QTest::addColumn<QString>("used");  // characters typed at usedAt
    QTest::addColumn<int>("usedAt");
    QTest::addColumn<bool>("confirmed"); // the target has read all that was sent
    QTest::addColumn<QString>("text");   // a keycode is lent for its first character
    QTest::addColumn<int>("now");
    QTest::addColumn<QString>("expected"); // keycode and character of each binding

    QTest::newRow("free keycodes take the next characters")
        << "" << 3 << "" << 0 << false << "中文字" << 0 << "10中 11文 12字";
    QTest::newRow("characters of the keyboard and repeats need none")
        << "" << 3 << "" << 0 << false << "中a中b文" << 0 << "10中 11文";
    QTest::newRow("least recently used first")
        << "中文" << 0 << "中" << 900 << false << "字" << 2000 << "11字";
    QTest::newRow("a character coming up keeps its keycode")
        << "中文" << 0 << "文" << 900 << false << "字中" << 2000 << "11字";
    QTest::newRow("coming up: within four characters a keycode")
        << "文字" << 0 << "" << 0 << false << "中abcdef文" << 2000 << "11中";
    QTest::newRow("beyond that window it is not")
        << "文字" << 0 << "" << 0 << false << "中abcdefg文" << 2000 << "10中";
    QTest::newRow("a keycode used lately is left for later")
        << "中文" << 0 << "文" << 900 << false << "字词" << 950 << "10字";
    QTest::newRow("unless the target has read its last use")
        << "中文" << 0 << "文" << 900 << true << "字词" << 950 << "10字 11词";
    QTest::newRow("the first keycode is taken even when used lately")
        << "中" << 0 << "中" << 900 << false << "字" << 950 << "10字";
}

void KeycodeLendingTest::lending()
{
    QFETCH(QString, bound);
    QFETCH(int, free);
    QFETCH(QString, used);
    QFETCH(int, usedAt);
    QFETCH(bool, confirmed);
    QFETCH(QString, text);
    QFETCH(int, now);
    QFETCH(QString, expected);
    SpareKeycodes spares = sparesWith(bound, free, used, usedAt);
    if (confirmed)
        spares.confirm(spares.lastSerial());
    const SpareKeycodes::Lending lending = spares.plan(symsOf(text), 0, onKeyboard);
    QStringList made;
    for (const auto &[spare, sym] : spares.bindings(lending, now))
        made << QString::number(spare->code) + charOf(sym);
    QCOMPARE(made.join(QLatin1Char(' ')), expected);
    // The character asked for gets the keycode the caller waits for.
    QCOMPARE(lending.needed.front(), symOf(text.at(0)));
    QCOMPARE(spares.bindings(lending, now).front().first, lending.first);
}

void KeycodeLendingTest::safeAge_data()
{
    QTest::addColumn<int>("sinceUse"); // milliseconds since a keycode was used
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<int>("ageWait");
    QTest::addColumn<int>("restoreWait");
    QTest::newRow("just used") << 0 << false << false << 150 << 500;
    QTest::newRow("149 ms") << 149 << false << false << 1 << 351;
    QTest::newRow("150 ms") << 150 << false << true << 0 << 350;
    QTest::newRow("500 ms") << 500 << false << true << 0 << 0;
    QTest::newRow("just used, read by the target") << 0 << true << true << 150 << 0;
}

void KeycodeLendingTest::safeAge()
{
    QFETCH(int, sinceUse);
    QFETCH(bool, confirmed);
    QFETCH(bool, safe);
    QFETCH(int, ageWait);
    QFETCH(int, restoreWait);
    const qint64 usedAt = 1000;
    SpareKeycodes spares;
    const SpareKeycodes::Mark use = spares.mark(usedAt);
    if (confirmed)
        spares.confirm(use.serial);
    QCOMPARE(spares.isSafe(use, usedAt + sinceUse), safe);
    QCOMPARE(SpareKeycodes::ageWait(use.at, usedAt + sinceUse), qint64(ageWait));
    QCOMPARE(spares.restoreWait(use, usedAt + sinceUse), qint64(restoreWait));
    // A keycode never used may be lent at once.
    QVERIFY(spares.isSafe(SpareKeycodes::Mark(), 0));
}

void KeycodeLendingTest::reserve_data()
{
    QTest::addColumn<int>("spareCount");
    QTest::addColumn<int>("reservable");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("one: it stays for the text") << 1 << 0;
    QTest::newRow("three: the input method's off and on keys") << 3 << 2;
}

void KeycodeLendingTest::reserve()
{
    QFETCH(int, spareCount);
    QFETCH(int, reservable);
    SpareKeycodes spares(std::vector<SpareKeycodes::Code>(size_t(spareCount), 10));
    const QVector<Sym> syms = symsOf(QStringLiteral("中"));
    int reserved = 0;
    while (SpareKeycodes::Spare *spare = spares.reserve()) {
        spares.bind(*spare, 0xff21 + Sym(reserved), 100); // Kanji, Muhenkan
        ++reserved;
    }
    QCOMPARE(reserved, reservable);
    QCOMPARE(spares.plan(syms, 0, onKeyboard).first != nullptr, spareCount > 0);
    // The map goes back only after the last binding, reserved ones too.
    QCOMPARE(spares.lastChange(SpareKeycodes::Mark()).at,
             reserved ? qint64(100) : SpareKeycodes::Mark().at);
}

void KeycodeLendingTest::recordText_data()
{
    QTest::addColumn<QString>("lent"); // characters lent to keycode 30 in turn
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("one character") << "中" << QByteArray("key 30 bound 1004e2d original 0 0");
    QTest::newRow("two") << "中文" << QByteArray("key 30 bound 1004e2d 1006587 original 0 0");
    // The server may still have the one before the last: the two last, not the
    // two smallest keysyms.
    QTest::newRow("the last two") << "中一文"
                                  << QByteArray("key 30 bound 1004e00 1006587 original 0 0");
    QTest::newRow("one lent again")
        << "中文中" << QByteArray("key 30 bound 1006587 1004e2d original 0 0");
}

void KeycodeLendingTest::recordText()
{
    QFETCH(QString, lent);
    QFETCH(QByteArray, line);
    KeycodeRecord record;
    for (const QChar c : lent)
        record.lend(30, {0, 0}, symOf(c));
    const QByteArray text = record.text({42, "7", ":5"});
    QCOMPARE(text, "pid 42 7\ndisplay :5\n" + line + '\n');

    KeycodeRecord::Writer writer;
    QVERIFY(KeycodeRecord::readWriter(text, &writer));
    QCOMPARE(writer.pid, qint64(42));
    QCOMPARE(writer.started, QByteArray("7"));
    QCOMPARE(writer.display, QByteArray(":5"));
    QVERIFY(!KeycodeRecord::readWriter("key 30 bound 1004e2d original 0\n", &writer));
    const std::vector<KeycodeRecord::Key> keys = KeycodeRecord::readKeys(text);
    QCOMPARE(keys.size(), size_t(1));
    QCOMPARE(keys.front().code, 30);
    QCOMPARE(keys.front().original, symList(QStringLiteral("0 0")));
    QCOMPARE(keys.front().bound.back(), symOf(lent.back()));
}

void KeycodeLendingTest::giveBack_data()
{
    QTest::addColumn<QByteArray>("line"); // of a record
    QTest::addColumn<bool>("modifier");   // the keycode is a modifier now
    QTest::addColumn<QString>("carried"); // what the keycode gives now
    QTest::addColumn<bool>("givenBack");
    const QByteArray zhong = "key 30 bound 1004e2d original 0";
    QTest::newRow("lent to 中") << zhong << false << "1004e2d" << true;
    QTest::newRow("lent to 中 in every column") << zhong << false << "1004e2d 0 1004e2d" << true;
    QTest::newRow("the one before the last")
        << QByteArray("key 30 bound 1004e2d 1006587 original 0") << false << "1004e2d" << true;
    QTest::newRow("changed by the user since") << zhong << false << "1006587" << false;
    QTest::newRow("given another symbol too") << zhong << false << "1004e2d 61" << false;
    QTest::newRow("carrying nothing") << zhong << false << "" << false;
    QTest::newRow("a modifier") << zhong << true << "1004e2d" << false;
    QTest::newRow("Return") << QByteArray("key 36 bound ff0d original 0") << false << "ff0d"
                            << false;
    QTest::newRow("a letter") << QByteArray("key 38 bound 61 41 original 0") << false << "61 41"
                              << false;
    QTest::newRow("the blank") << QByteArray("key 65 bound 20 original 0") << false << "20"
                               << false;
    QTest::newRow("a keycode the keyboard has not")
        << QByteArray("key 300 bound 1004e2d original 0") << false << "1004e2d" << false;
    QTest::newRow("no original symbols")
        << QByteArray("key 30 bound 1004e2d original ") << false << "1004e2d" << false;
    QTest::newRow("no key line") << QByteArray("key 30 original 0 bound 1004e2d") << false
                                 << "1004e2d" << false;
}

void KeycodeLendingTest::giveBack()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, modifier);
    QFETCH(QString, carried);
    QFETCH(bool, givenBack);
    const std::vector<KeycodeRecord::Key> keys = KeycodeRecord::readKeys(line + '\n');
    const bool given = keys.size() == 1 && KeycodeRecord::isOnKeyboard(keys.front(), 8, 255) &&
                       KeycodeRecord::mayGiveBack(keys.front(), modifier, symList(carried));
    QCOMPARE(given, givenBack);
}

QTEST_APPLESS_MAIN(KeycodeLendingTest)
#include "tst_keycodelending.moc"
