#include "platform/linux/ownwindow.h"

#include <QApplication>
#include <QDebug>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

// Return and Tab arrive as the keys, as they would when typed: Return may
// accept a dialog, Tab moves the focus on.
void pressKey(QWidget *widget, int key, const QString &text)
{
    const QPointer<QWidget> receiver = widget;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    if (receiver)
        QCoreApplication::sendEvent(receiver, &release);
}

} // namespace

int typeIntoOwnWindow(const QString &text, quint64 focus)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return -1;
    QWidget *found = QWidget::find(WId(focus));
    if (!found)
        return -1;
    const QPointer<QWidget> window = found->window();
    // Asked again before every step: Tab moves the focus, Return may close the window.
    auto target = [&]() -> QWidget * {
        if (!window || !window->isVisible())
            return nullptr;
        return window->focusWidget() ? window->focusWidget() : window.data();
    };
    int typed = 0;
    QString run;
    int runLength = 0;
    auto commit = [&]() {
        QWidget *widget = target();
        if (!widget)
            return false;
        if (runLength > 0) {
            QInputMethodEvent event;
            event.setCommitString(run);
            QCoreApplication::sendEvent(widget, &event);
        }
        typed += runLength;
        run.clear();
        runLength = 0;
        return true;
    };
    const QVector<uint> codePoints = text.toUcs4();
    bool stopped = false;
    for (int i = 0; i < codePoints.size() && !stopped; ++i) {
        const uint codePoint = codePoints.at(i);
        if (codePoint == '\r' && i + 1 < codePoints.size() && codePoints.at(i + 1) == '\n')
            continue;
        if (codePoint == '\r' || codePoint == '\n' || codePoint == '\t') {
            stopped = !commit();
            if (stopped)
                break;
            if (codePoint == '\t')
                pressKey(target(), Qt::Key_Tab, QStringLiteral("\t"));
            else
                pressKey(target(), Qt::Key_Return, QStringLiteral("\r"));
            ++typed;
        } else if (codePoint >= 0x20 && (codePoint < 0x7f || codePoint >= 0xa0)) {
            run += QString::fromUcs4(&codePoint, 1);
            ++runLength;
        }
    }
    if (stopped || !commit())
        qDebug() << "our window closed, typing stopped !";
    return typed;
}
