#include "actions/dictationjoin.h"

#include <QChar>
#include <QVector>

namespace {

bool isLatinLetterOrDigit(uint c)
{
    if (c >= '0' && c <= '9')
        return true;
    return QChar::isLetter(c) && QChar::script(c) == QChar::Script_Latin;
}

bool isSentencePunctuation(uint c)
{
    switch (c) {
    case '.':
    case ',':
    case '!':
    case '?':
    case ';':
    case ':':
        return true;
    default:
        return false;
    }
}

} // namespace

bool needsBlankBetween(const QString &before, const QString &next)
{
    if (before.isEmpty() || next.isEmpty())
        return false;
    const QVector<uint> last = before.right(2).toUcs4();
    const QVector<uint> first = next.left(2).toUcs4();
    const uint end = last.last();
    return isLatinLetterOrDigit(first.first()) &&
           (isLatinLetterOrDigit(end) || isSentencePunctuation(end));
}
