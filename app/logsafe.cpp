#include "app/logsafe.h"

#include <QVector>

bool isBidiControl(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

QString logSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (c == '\\') {
            out += QLatin1String("\\\\");
        } else if (c == '\n') {
            out += QLatin1String("\\n");
        } else if (c == '\r') {
            out += QLatin1String("\\r");
        } else if (c == '\t') {
            out += QLatin1String("\\t");
        } else if (c < 0x100 && category == QChar::Other_Control) {
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        } else if (category == QChar::Other_Control || category == QChar::Separator_Line ||
                   category == QChar::Separator_Paragraph || isBidiControl(c)) {
            out += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QLatin1Char('0'));
        } else {
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

QString logSafe(const QByteArray &utf8)
{
    return logSafe(QString::fromUtf8(utf8.constData(), utf8.size())); // NULs too
}
