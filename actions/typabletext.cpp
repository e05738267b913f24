#include "actions/typabletext.h"

#include <QVector>

namespace {

// Embeddings, overrides and isolates, and the marks (LRM, RLM, ALM): a mark
// alone turns a run of digits around ("1 2 3 4" framed by RLM shows "4 3 2 1").
bool isBidiControl(uint c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

bool isBreakOrControl(uint c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString typableText(const QString &text)
{
    QString typable;
    typable.reserve(text.size());
    bool blank = false; // a run of controls is pending
    for (const uint c : text.toUcs4()) {
        if (isBidiControl(c))
            continue;
        if (isBreakOrControl(c)) {
            blank = true;
            continue;
        }
        if (blank)
            typable += QLatin1Char(' ');
        blank = false;
        if (QChar::requiresSurrogates(c)) {
            typable += QChar(QChar::highSurrogate(c));
            typable += QChar(QChar::lowSurrogate(c));
        } else {
            typable += QChar(c);
        }
    }
    if (blank)
        typable += QLatin1Char(' ');
    return typable;
}
