#include "actions/commandtext.h"

#include <QStringList>

namespace commandtext {

QString firstSentence(const QString &text)
{
    const int stop = text.indexOf(QStringLiteral("。"));
    return stop < 0 ? text : text.left(stop);
}

QString searchTerm(const QString &sentence, const QString &keyword)
{
    const QStringList pieces = sentence.split(keyword, Qt::KeepEmptyParts);
    return pieces.size() > 1 ? pieces.at(1) : QString();
}

QByteArray encodeTerm(const QString &term)
{
    return term.toUtf8().toPercentEncoding();
}

} // namespace commandtext
