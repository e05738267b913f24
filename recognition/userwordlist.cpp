#include "recognition/userwordlist.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {
// The longest start of a JSON text cut short that ends after a whole element of an
// array, with the brackets still open closed: a word list cut at the byte bound
// keeps the words before the cut.
QByteArray closedPrefix(const QByteArray &json)
{
    QByteArray open; // the '[' and '{' not yet closed, outermost first
    QByteArray openAtCut;
    int cut = -1;
    bool inString = false;
    bool escaped = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        bool elementEnds = false;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false, elementEnds = true;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            open += c;
        } else if ((c == ']' || c == '}') && !open.isEmpty()) {
            open.chop(1);
            elementEnds = true;
        }
        if (elementEnds && open.endsWith('[')) {
            cut = i + 1;
            openAtCut = open;
        }
    }
    if (cut < 0)
        return QByteArray();
    QByteArray closed = json.left(cut);
    for (int i = openAtCut.size() - 1; i >= 0; --i)
        closed += openAtCut.at(i) == '[' ? ']' : '}';
    return closed;
}

QStringList wordsOf(const QByteArray &data, bool cut)
{
    QStringList words;
    QJsonDocument json = QJsonDocument::fromJson(data);
    if (!json.isObject() && cut && data.trimmed().startsWith('{'))
        json = QJsonDocument::fromJson(closedPrefix(data));
    if (json.isObject()) {
        for (const QJsonValue &group : json.object().value(QStringLiteral("userword")).toArray()) {
            for (const QJsonValue &word : group.toObject().value(QStringLiteral("words")).toArray())
                words.append(word.toString().trimmed());
        }
        return words;
    }
    words = QString::fromUtf8(data).split(QRegularExpression(QStringLiteral("[\\r\\n,]")));
    if (cut && !words.isEmpty())
        words.removeLast(); // the word the cut went through
    for (QString &word : words)
        word = word.trimmed();
    return words;
}
} // namespace

UserWordList UserWordList::parse(const QByteArray &data)
{
    const bool cut = data.size() > maxBytes;
    UserWordList result;
    int tooLong = 0;
    int overLimit = 0;
    QString firstOverLimit;
    for (const QString &word : wordsOf(cut ? data.left(maxBytes) : data, cut)) {
        if (word.isEmpty())
            continue;
        if (word.size() > maxWordLength) {
            ++tooLong;
        } else if (result.words.size() < maxWords) {
            result.words.append(word);
        } else if (overLimit++ == 0) {
            firstOverLimit = word;
        }
    }
    QStringList leftOut;
    if (overLimit > 0)
        leftOut << QStringLiteral("%1 words after the first %2, from \"%3\" on")
                       .arg(overLimit)
                       .arg(maxWords)
                       .arg(firstOverLimit);
    if (tooLong > 0)
        leftOut
            << QStringLiteral("%1 words longer than %2 characters").arg(tooLong).arg(maxWordLength);
    if (cut)
        leftOut << QStringLiteral("all after the first %1 MB of %2 MB")
                       .arg(maxBytes >> 20)
                       .arg(data.size() / 1048576.0, 0, 'f', 1);
    result.leftOut = leftOut.join(QStringLiteral("; "));
    return result;
}
