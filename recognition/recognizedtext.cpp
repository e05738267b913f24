#include "recognition/recognizedtext.h"

#include <QChar>
#include <QVector>

namespace {

bool isBlank(uint c)
{
    return c == ' ' || c == '\t' || c == 0x00A0 || c == 0x3000;
}

} // namespace

bool isChineseCharacter(uint c)
{
    if (QChar::script(c) == QChar::Script_Han)
        return true;
    // CJK symbols and punctuation, and the full-width forms of ASCII
    // punctuation (！，：；？（）); full-width letters and digits are not
    // punctuation and keep their blanks.
    const bool cjkPunctuation = c >= 0x3001 && c <= 0x303F;
    const bool fullWidth = c >= 0xFF01 && c <= 0xFF65;
    if (!cjkPunctuation && !fullWidth)
        return false;
    switch (QChar::category(c)) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return true;
    default:
        return false;
    }
}

QString withoutBlanksBetweenChinese(const QString &text)
{
    const QVector<uint> chars = text.toUcs4();
    QVector<uint> kept;
    kept.reserve(chars.size());
    for (int i = 0; i < chars.size(); ++i) {
        if (!isBlank(chars[i])) {
            kept.append(chars[i]);
            continue;
        }
        int end = i;
        while (end < chars.size() && isBlank(chars[end]))
            ++end;
        const bool between = i > 0 && end < chars.size() && isChineseCharacter(chars[i - 1]) &&
                             isChineseCharacter(chars[end]);
        if (!between)
            for (int j = i; j < end; ++j)
                kept.append(chars[j]);
        i = end - 1;
    }
    return QString::fromUcs4(kept.constData(), kept.size());
}
