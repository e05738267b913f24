#include "actions/commandtext.h"

#include <QStringList>

#include <algorithm>

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

QVector<int> wordsSpoken(const QString &sentence, const QStringList &words)
{
    QVector<int> spoken;
    for (int i = 0; i < words.size(); ++i)
        if (!words.at(i).isEmpty() && sentence.contains(words.at(i)))
            spoken.append(i);
    std::stable_sort(spoken.begin(), spoken.end(), [&](int a, int b) {
        return sentence.indexOf(words.at(a)) < sentence.indexOf(words.at(b));
    });
    return spoken;
}

} // namespace commandtext
