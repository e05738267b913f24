#include "actions/typing.h"

#include "actions/dictationjoin.h"
#include "actions/punctuation.h"
#include "actions/typabletext.h"
#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "platform/platform.h"

#include <QDebug>
#include <QString>

#include <optional>

namespace {

QString handle(quint64 window)
{
    return QStringLiteral("0x%1").arg(window, 0, 16);
}

// Where the last dictation went and what it ended with, so that the next one
// into the same place joins it as typed text would.
struct LastTyped
{
    quint64 window = 0;
    quint64 focus = 0;
    quint64 owner = 0;
    QString text;
};

LastTyped &lastTyped()
{
    static LastTyped last;
    return last;
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
    LastTyped &last = lastTyped();
    const bool samePlace =
        last.window == target.window && last.focus == target.focus && last.owner == target.owner;
    // What the input method tells of the text before the cursor is right
    // where memory is not: the user typed by hand, moved the cursor, or
    // deleted the last dictation.
    const std::optional<QString> beforeCursor = platform().textBeforeCursor(target);
    const QString before = beforeCursor ? *beforeCursor : samePlace ? last.text : QString();
    if (needsBlankBetween(before, text))
        text.prepend(QLatin1Char(' '));
    const int typed = platform().type(text, target);
    if (typed < 0) {
        // Kept where the user can find it again.
        qWarning().noquote() << "text not typed:" << text;
        showPrompt(QStringLiteral("无法输入文字"));
    }
    if (text.isEmpty())
        return;
    // Cut short, the typing stopped because the focus left: the next text
    // goes somewhere else.
    last.window = target.window;
    last.focus = target.focus;
    last.owner = target.owner;
    last.text = typed >= text.size() ? text : QString();
}
