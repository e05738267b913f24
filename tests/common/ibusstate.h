#pragma once

#include "common/targetwindow.h"

#include <QTest>

// What the IBus daemon of the test (scripts/testenv/with-ibus) says, asked
// with its own tools.

// The global engine's name.
inline QString ibusEngine()
{
    return runTool(QStringLiteral("ibus"), {QStringLiteral("engine")}).trimmed();
}

// IBus's path of the focused input context; a stand-in one when no window has
// the focus.
inline QString ibusFocusedContext()
{
    static const QString address =
        runTool(QStringLiteral("ibus"), {QStringLiteral("address")}).trimmed();
    return runTool(QStringLiteral("gdbus"),
                   {QStringLiteral("call"), QStringLiteral("--address"), address,
                    QStringLiteral("--dest"), QStringLiteral("org.freedesktop.IBus"),
                    QStringLiteral("--object-path"), QStringLiteral("/org/freedesktop/IBus"),
                    QStringLiteral("--method"),
                    QStringLiteral("org.freedesktop.IBus.CurrentInputContext")})
        .trimmed();
}

// What arrived in window once the user typed "nihao" and a space: "你好" where
// libpinyin composed it, "nihao " where it did not. The window is emptied again.
inline QString composedNihao(TargetWindow &window)
{
    QString text;
    (void)QTest::qWaitFor(
        [&]() {
            text = window.text();
            return text == QStringLiteral("你好") || text == QStringLiteral("nihao ");
        },
        10000);
    window.clear();
    return text;
}
