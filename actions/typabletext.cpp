#include "actions/typabletext.h"

#include "app/logsafe.h"

#include <QVector>

namespace {

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
