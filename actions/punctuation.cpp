#include "actions/punctuation.h"

#include <QVector>

namespace {

// Unicode files these under punctuation, but people write them as signs of
// amounts and addresses (50%, me@example.org, #3, A&B, 3*4, km/h, C:\, a_b).
bool isSymbolLike(uint c)
{
    static const QString signs = QStringLiteral("%‰@#&*/\\_％＠＃＆＊／＼＿");
    return c <= 0xFFFF && signs.contains(QChar(c));
}

bool isAsciiLetterOrDigit(uint c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// 3.5, 1,000, 12:30, 2024-01-02, 010-1234; the dots of example.org and
// report.pdf; and the sign or point that starts a number: -5, .5.
bool joinsAt(uint c, uint before, uint after)
{
    if (c == ',' || c == ':')
        return QChar::isDigit(before) && QChar::isDigit(after);
    if (c == '.' && isAsciiLetterOrDigit(before) && isAsciiLetterOrDigit(after))
        return true;
    if (c == '-' && QChar::isDigit(before) && QChar::isDigit(after))
        return true;
    const bool startsNumber = !QChar::isLetterOrNumber(before) && QChar::isDigit(after);
    return (c == '-' || c == '.') && startsNumber;
}

bool joinsWords(uint c)
{
    return c == '\'' || c == 0x2019; // ' and ’
}

} // namespace

QString removePunctuation(const QString &text)
{
    const QVector<uint> chars = text.toUcs4();
    QVector<uint> kept;
    kept.reserve(chars.size());
    for (int i = 0; i < chars.size(); ++i) {
        const uint c = chars.at(i);
        if (!QChar::isPunct(c) || isSymbolLike(c)) {
            kept.append(c);
            continue;
        }
        const bool inside = i > 0 && i + 1 < chars.size();
        const uint before = i > 0 ? chars.at(i - 1) : 0;
        const uint after = i + 1 < chars.size() ? chars.at(i + 1) : 0;
        if (joinsAt(c, before, after))
            kept.append(c);
        else if (inside && joinsWords(c) && QChar::isLetter(before) && QChar::isLetter(after))
            kept.append(c);
    }
    return QString::fromUcs4(kept.constData(), kept.size());
}
