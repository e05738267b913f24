#include "actions/typing.h"

#include "actions/punctuation.h"
#include "actions/typabletext.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "ui/promptbox.h"

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
    // Every road that types recognized text comes here: the one place to make
    // it safe, and to take out the punctuation the user asked not to have.
    QString text = QString::fromUtf8(utf8 ? utf8 : "");
    if (settingsMap()->value(QLatin1String(SettingKey::RemovePunctuation)) == 1)
        text = removePunctuation(text);
    text = typableText(text);
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
    if (platform().type(text, target) < 0) {
        // Kept where the user can find it again.
        qWarning().noquote() << "text not typed:" << text;
        showPrompt(QStringLiteral("无法输入文字"));
    }
}
