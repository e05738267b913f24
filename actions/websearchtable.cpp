#include "actions/websearchtable.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

QString decodeTable(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    const QString text =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    if (QTextCodec *gb = QTextCodec::codecForName("GB18030"))
        return gb->toUnicode(bytes);
    return text;
}

} // namespace

void parseWebSearchTable(WebSearchTable *table, const QByteArray &bytes)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList lines = decodeTable(bytes).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines.at(i).split(blanks, Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        const QByteArray name = fields.at(0).toUtf8();
        if (table->contains(name))
            continue;
        table->insert(name, fields.size() > 1 ? fields.at(1).toUtf8() : QByteArray());
    }
}

void loadWebSearchTable(WebSearchTable *table, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    parseWebSearchTable(table, file.readAll());
}
