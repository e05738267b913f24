#include "capture/sessioncheck.h"

#include "app/promptsink.h"
#include "platform/platform.h"

#include <QDebug>

bool reportSessionLimits(bool hearsButtons)
{
    const bool types = platform().typingTarget().desktop;
    if (hearsButtons && types)
        return false;
    QString line, prompt;
    if (!hearsButtons && !types) {
        line = QStringLiteral("Ferrule can neither hear the side buttons nor type into a window in "
                              "this session");
        prompt = QStringLiteral("听不到鼠标侧键，也无法输入文字，请见README");
    } else if (!hearsButtons) {
        line = QStringLiteral("Ferrule cannot hear the side buttons in this session, push-to-talk "
                              "is off");
        prompt = QStringLiteral("听不到鼠标侧键，请见README");
    } else {
        line = QStringLiteral("Ferrule can type into no window in this session (no display to "
                              "type on)");
        prompt = QStringLiteral("无法向窗口输入文字，请见README");
    }
    qWarning().noquote() << line + QStringLiteral(": see README \"Push-to-talk\" !");
    showPrompt(prompt);
    return true;
}
