#include "actions/websearchtable.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

// Each line on its own: one line saved in another encoding must not garble the
// others, as decoding the whole file in the encoding of its worst line would.
QString decodeLine(const QByteArray &line)
{
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(line.constData(), line.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    if (QTextCodec *gb = QTextCodec::codecForName("GB18030"))
        return gb->toUnicode(line);
    return text;
}

} // namespace

QList<int> parseWebSearchTable(WebSearchTable *table, const QByteArray &bytes)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    // What the interpreter opens is this prefix with the search term after it: a
    // line without one would open the bare term, which the desktop takes for a file.
    static const QRegularExpression webPrefix(QStringLiteral("^https?://"),
                                              QRegularExpression::CaseInsensitiveOption);
    QList<int> skipped;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = decodeLine(lines.at(i)).split(blanks, Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() < 2 || !webPrefix.match(fields.at(1)).hasMatch()) {
            skipped << i + 1;
            continue;
        }
        const QByteArray name = fields.at(0).toUtf8();
        if (!table->contains(name))
            table->insert(name, fields.at(1).toUtf8());
    }
    return skipped;
}

void loadWebSearchTable(WebSearchTable *table, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<int> skipped = parseWebSearchTable(table, file.readAll());
    if (skipped.isEmpty())
        return;
    QStringList numbers;
    for (const int line : skipped)
        numbers << QString::number(line);
    qWarning().noquote() << QStringLiteral(
                                "%1: lines without an http:// or https:// URL prefix skipped: %2 !")
                                .arg(path, numbers.join(QStringLiteral(", ")));
}
