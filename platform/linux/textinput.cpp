#include "platform/linux/textinput.h"

#include "platform/linux/inputmethods.h"
#include "platform/linux/typingkeys.h"
#include "platform/linux/x11windows.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QVector>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>

namespace {

// Keys pressed under one server grab, so under one focus test. An input
// method that must be switched off is switched off and on once per group.
constexpr int kGroupKeys = 64;

// IBus's Qt module hands every key to the daemon and takes the answer later,
// unless the answer is already there when it looks: then that key is taken at
// once, ahead of an earlier key whose answer is still on its way. Seen under
// load as two neighbouring letters swapped. So past IBus each key goes alone:
// the target has read it and sent it on (a ping), is given time for the
// daemon's answer, and has handled that answer (a second ping) before the next
// key. The answer passes the daemon twice, the engine and the target's bus
// thread, each of which a loaded machine lets wait; one call through the
// daemon, made right then, says how long such a wait is. So the time given is
// twice such a call, at least the floor and at most the cap. Load comes in
// bursts: a slow call counts for the next keys too, fading by an eighth a key
// (fading by half let two letters swap under heavy load).
constexpr qint64 kIBusAnswerUs = 750;
constexpr qint64 kIBusAnswerCapUs = 20000;

using Stroke = TypingKeys::Stroke;
using Mark = TypingKeys::Mark;

// passAscii: ASCII characters as Unicode keysyms too, which input methods do
// not take for the letters, digits and punctuation they compose.
KeySym keysymFor(uint codePoint, bool passAscii)
{
    if (codePoint == '\n')
        return XK_Return;
    if (codePoint == '\t')
        return XK_Tab;
    if (codePoint < 0x20 || (codePoint >= 0x7f && codePoint < 0xa0))
        return NoSymbol;
    if (codePoint < 0x7f && passAscii)
        return 0x01000000 + codePoint;
    if (codePoint <= 0xff)
        return codePoint; // Latin-1 keysyms are the code points themselves
    return 0x01000000 + codePoint;
}

// The characters of text that can be typed, a line break of any kind as one
// line feed.
QVector<uint> typableCodePoints(const QString &text)
{
    QVector<uint> codePoints;
    const QVector<uint> all = text.toUcs4();
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i) == '\r' && i + 1 < all.size() && all.at(i + 1) == '\n')
            continue;
        const uint codePoint = all.at(i) == '\r' ? '\n' : all.at(i);
        if (keysymFor(codePoint, false) != NoSymbol)
            codePoints.append(codePoint);
    }
    return codePoints;
}

// How one typing run goes: the input method's keys around each group of keys,
// what tells us the target has read them, and how far it got.
struct Run
{
    Stroke off, on;
    bool switchKeys = false;
    bool confirmByInputMethod = false;
    bool oneKeyAtATime = false;
    // How long a call through IBus took lately, in microseconds.
    qint64 callUs = 0;
    int typed = 0;
    bool focusKept = true;
    Mark lastKey;
};

// Presses group, between the input method's off and on keys when there are
// such. False when the focus moved.
bool pressGroup(TypingKeys &keys, const QVector<Stroke> &group, Run &run)
{
    const bool onAfter = run.switchKeys && !run.confirmByInputMethod;
    if (!keys.press(group, run.switchKeys ? &run.off : nullptr, onAfter ? &run.on : nullptr,
                    &run.lastKey)) {
        qDebug() << "focus changed, typing stopped !";
        run.focusKept = false;
        return false;
    }
    run.typed += group.size();
    return true;
}

// Past IBus: the target has read the key, the daemon's answer has had its time,
// and the target has handled that answer.
void awaitIBus(TypingKeys &keys, Run &run, InputMethods &inputMethods)
{
    if (!keys.roundTrip())
        return;
    keys.confirm(run.lastKey);
    QElapsedTimer call;
    call.start();
    if (inputMethods.callIBus())
        run.callUs = std::max(call.nsecsElapsed() / 1000, run.callUs - run.callUs / 8);
    QThread::usleep(ulong(qBound(kIBusAnswerUs, 2 * run.callUs, kIBusAnswerCapUs)));
    keys.roundTrip();
}

// The group ended with composing off; once fcitx5 says so it has read that
// key. The on key follows, and once fcitx5 says it is on it has read every key
// before. False when the focus moved.
bool confirmThroughInputMethod(TypingKeys &keys, Run &run, InputMethods &inputMethods)
{
    const bool readOff = inputMethods.waitUntilComposing(false, TypingKeys::pingTimeoutMs);
    if (!keys.press({}, nullptr, &run.on, &run.lastKey)) {
        qDebug() << "focus changed, typing stopped !";
        inputMethods.leftOff();
        run.focusKept = false;
        return false;
    }
    if (readOff && inputMethods.waitUntilComposing(true, TypingKeys::pingTimeoutMs)) {
        keys.confirm(run.lastKey);
    } else {
        // What is still on its way is unknown: the age rule for the rest.
        qDebug() << "fcitx5 slow to read the keys, waiting by time !";
        run.confirmByInputMethod = false;
    }
    return true;
}

void finish(TypingKeys &keys, const Run &run, InputMethods &inputMethods)
{
    keys.restore(inputMethods.isSwitchedOff() ? run.lastKey : Mark());
    // A toolkit's input-method module hands keys on to fcitx5 over the bus,
    // from a thread of its own and possibly after the window has answered a
    // ping. Switched on over the bus too soon, fcitx5 would compose the last
    // keys, so the last key must also have aged.
    if (inputMethods.isSwitchedOff() && run.focusKept && run.typed > 0)
        keys.waitUntilAged(run.lastKey.at);
    inputMethods.restore(run.focusKept);
}

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};

} // namespace

class TextInput::Private
{
public:
    std::unique_ptr<Display, DisplayCloser> display;
    // Goes before the display closes.
    std::unique_ptr<X11Windows> windows;
};

TextInput::TextInput() : d(new Private)
{
    d->display.reset(XOpenDisplay(nullptr));
    if (d->display)
        d->windows = std::make_unique<X11Windows>(d->display.get());
}

TextInput::~TextInput() = default;

bool TextInput::isConnected() const
{
    return d->display != nullptr;
}

quint64 TextInput::foregroundWindow()
{
    return d->windows ? d->windows->foreground() : 0;
}

quint64 TextInput::focusWindow(quint64 foreground)
{
    if (!d->windows || !foreground)
        return 0;
    return d->windows->focusIn(foreground);
}

quint64 TextInput::windowOwner(quint64 window)
{
    if (!d->windows || !window)
        return 0;
    return d->windows->owner(window);
}

int TextInput::type(const QString &text, quint64 focus)
{
    if (!d->display || !focus)
        return 0;
    const QVector<uint> codePoints = typableCodePoints(text);
    if (codePoints.isEmpty())
        return 0;
    InputMethods inputMethods;
    QVector<KeySym> syms;
    for (const uint codePoint : codePoints)
        syms.append(keysymFor(codePoint, inputMethods.passAscii()));
    TypingKeys keys(d->display.get(), focus, *d->windows);

    Run run;
    run.switchKeys = inputMethods.offKey() && keys.reserve(inputMethods.offKey(), &run.off) &&
                     keys.reserve(inputMethods.onKey(), &run.on);
    if (!run.switchKeys)
        inputMethods.switchOff();
    // A target that answers no pings (xterm) may get its keys by way of fcitx5
    // (XIM), later than any safe age. Then each group is confirmed through
    // fcitx5 itself (confirmThroughInputMethod). Composing is off between the
    // two presses only while fcitx5 reads the group.
    run.confirmByInputMethod = run.switchKeys && !keys.pings();
    run.oneKeyAtATime = inputMethods.passAscii() && keys.pings();
    while (run.typed < syms.size()) {
        const QVector<Stroke> group =
            keys.nextGroup(syms, run.typed, run.oneKeyAtATime ? 1 : kGroupKeys);
        if (group.isEmpty() || !pressGroup(keys, group, run))
            break;
        if (run.oneKeyAtATime)
            awaitIBus(keys, run, inputMethods);
        if (run.confirmByInputMethod && !confirmThroughInputMethod(keys, run, inputMethods))
            break;
    }
    finish(keys, run, inputMethods);
    return run.typed;
}
