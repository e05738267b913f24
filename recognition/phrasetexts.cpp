#include "recognition/phrasetexts.h"

#include <QString>

namespace {
bool isChinese(uint c)
{
    return QChar::script(c) == QChar::Script_Han || (c >= 0x3000 && c <= 0x303f) ||
           (c >= 0xff00 && c <= 0xffef);
}
} // namespace

QByteArray joinPhraseTexts(const QList<QByteArray> &texts)
{
    QString joined;
    for (const QByteArray &text : texts) {
        const QString phrase = QString::fromUtf8(text).trimmed();
        if (phrase.isEmpty())
            continue;
        if (!joined.isEmpty()) {
            const QVector<uint> before = joined.right(2).toUcs4();
            const QVector<uint> after = phrase.left(2).toUcs4();
            if (!(isChinese(before.last()) && isChinese(after.first())))
                joined += QLatin1Char(' ');
        }
        joined += phrase;
    }
    return joined.toUtf8();
}
