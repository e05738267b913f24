#include "actions/typing.h"

#include "actions/typabletext.h"
#include "platform/platform.h"

#include <QDebug>
#include <QString>

namespace {

QString handle(quint64 window)
{
    return QStringLiteral("0x%1").arg(window, 0, 16);
}

} // namespace

void typeText(const char *utf8)
{
    // Every road that types recognized text comes here: the one place to make it safe.
    const QString text = typableText(QString::fromUtf8(utf8 ? utf8 : ""));
    const TypingTarget target = platform().typingTarget();
    if (!target.desktop) {
        qDebug() << "no display to type into !";
        return;
    }
    qDebug().noquote() << handle(target.window);
    if (!target.window)
        return;
    qDebug().noquote() << handle(target.focus);
    if (!target.focus)
        return;
    platform().type(text, target);
}
