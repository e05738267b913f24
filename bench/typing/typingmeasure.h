#pragma once

#include "actions/typabletext.h"
#include "actions/typing.h"
#include "common/targetwindow.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <cstdlib>
#include <functional>

// Characters that differ, position by position, plus those missing or extra.
inline int wrongChars(const QString &typed, const QString &expected)
{
    const QVector<uint> a = typed.toUcs4(), b = expected.toUcs4();
    int wrong = std::abs(a.size() - b.size());
    for (int i = 0; i < std::min(a.size(), b.size()); ++i)
        wrong += a.at(i) != b.at(i);
    return wrong;
}

// Waits until the target shows the whole text or stops changing for a second;
// done is when it got there, on clock.
inline QString settle(TargetWindow &target, const QString &expected, const QElapsedTimer &clock,
                      qint64 *done)
{
    QString text = target.text(), last;
    QElapsedTimer still;
    still.start();
    while (text != expected && still.elapsed() < 1000) {
        QThread::msleep(5);
        last = text;
        text = target.text();
        if (text != last)
            still.restart();
    }
    *done = clock.elapsed();
    return text;
}

// Characters per second of text typed in ms.
inline double perSecond(const QString &text, qint64 ms)
{
    return text.toUcs4().size() * 1000.0 / double(std::max<qint64>(ms, 1));
}

// What arrived in the target and how fast.
struct Typed
{
    QString text;
    double perSecond;
};

inline Typed timeTyping(TargetWindow &target, const QString &text,
                        const std::function<void()> &type)
{
    QElapsedTimer clock;
    qint64 done = 0;
    clock.start();
    type();
    const QString arrived = settle(target, text, clock, &done);
    return {arrived, perSecond(text, done)};
}

// Ferrule types line breaks and tabs as blanks: what must arrive is the text as
// typableText makes it.
inline Typed typeWithFerrule(TargetWindow &target, const QString &text)
{
    return timeTyping(target, typableText(text),
                      [&text] { typeText(text.toUtf8().constData()); });
}

// `xdotool type` with its default delay.
inline Typed typeWithXdotool(TargetWindow &target, const QString &text)
{
    return timeTyping(target, text, [&text] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"),
                      {QStringLiteral("type"), QStringLiteral("--"), text});
        xdotool.waitForFinished(600000);
    });
}
