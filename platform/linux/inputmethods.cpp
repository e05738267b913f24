#include "platform/linux/inputmethods.h"

#include "platform/linux/fcitx5controller.h"
#include "platform/linux/ibusinput.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <X11/Xlib.h>

namespace {

// How long fcitx5 may take to read the activate key after the last typed key
// before it is switched on over the bus.
constexpr qint64 kBackOnMs = 1000;

// The first key of the list that needs no modifier: typing presses it alone.
InputMethods::Sym plainKey(const QStringList &keys)
{
    for (const QString &key : keys) {
        if (key.isEmpty() || key.contains(QLatin1Char('+')))
            continue;
        const KeySym sym = XStringToKeysym(key.toLatin1().constData());
        if (sym != NoSymbol)
            return sym;
    }
    return 0;
}

} // namespace

struct InputMethods::Fcitx5
{
    Fcitx5Controller controller;
    QString inputMethod;
};

InputMethods::InputMethods()
{
    std::unique_ptr<Fcitx5> found(new Fcitx5);
    if (found->controller.isRunning()) {
        // fcitx5 also answers for IBus clients, so IBus is not looked at.
        if (!found->controller.isActive())
            return;
        found->inputMethod = found->controller.currentInputMethod();
        off = plainKey(found->controller.hotkeys(QStringLiteral("DeactivateKeys")));
        on = plainKey(found->controller.hotkeys(QStringLiteral("ActivateKeys")));
        if (!found->controller.isAnswering()) {
            off = on = 0;
            return;
        }
        if (!off || !on)
            off = on = 0;
        fcitx5 = std::move(found);
        qDebug().noquote() << "typing past input method fcitx5" << fcitx5->inputMethod << "!";
        return;
    }
    std::unique_ptr<IBusInput> foundIBus(new IBusInput);
    const QString engine = foundIBus->engine();
    // Keyboard layouts ("xkb:us::eng") compose nothing.
    if (engine.isEmpty() || engine.startsWith(QLatin1String("xkb:")))
        return;
    ibus = std::move(foundIBus);
    ascii = true;
    qDebug().noquote() << "typing past input method IBus" << engine << "!";
}

InputMethods::~InputMethods() = default;

bool InputMethods::callIBus()
{
    return ibus && ibus->roundTrip();
}

void InputMethods::switchOff()
{
    if (!fcitx5 || switchedOff)
        return;
    fcitx5->controller.deactivate();
    switchedOff = true;
}

bool InputMethods::waitUntilComposing(bool on, int timeoutMs)
{
    if (!fcitx5)
        return false;
    QElapsedTimer waited;
    waited.start();
    while (fcitx5->controller.isActive() != on) {
        if (waited.elapsed() >= timeoutMs || !fcitx5->controller.isAnswering())
            return false;
        QThread::msleep(1);
    }
    return true;
}

void InputMethods::restore(bool focusKept)
{
    if (!fcitx5)
        return;
    Fcitx5Controller &controller = fcitx5->controller;
    if (!focusKept) {
        // The window typed into got its activate key with its last keys; the
        // controller now speaks of another window, which was never touched.
        if (switchedOff)
            qWarning() << "focus moved, fcitx5 stays off in the window typed into !";
        return;
    }
    if (!switchedOff && !waitUntilComposing(true, kBackOnMs) && controller.isAnswering()) {
        qWarning() << "fcitx5 missed its activate key, switching it on !";
        switchedOff = true;
    }
    if (switchedOff)
        controller.activate();
    if (!fcitx5->inputMethod.isEmpty() && controller.currentInputMethod() != fcitx5->inputMethod)
        controller.setCurrentInputMethod(fcitx5->inputMethod);
    switchedOff = false;
}
