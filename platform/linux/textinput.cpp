#include "platform/linux/textinput.h"

#include "platform/linux/inputmethods.h"
#include "platform/linux/keyboardmap.h"
#include "platform/linux/ownwindow.h"
#include "platform/linux/targetping.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QVector>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <unordered_set>

namespace {

// A target reads the new keyboard map only when it gets to the mapping
// notification, possibly after the key press that used it. A keycode is
// therefore rebound only this long after its last use (100 ms never failed in
// trials, 20 ms did), or once the target has answered a ping sent after that
// use, which is sooner and also holds when the target is slow.
constexpr qint64 kSafeAgeMs = 150;

// The map goes back once per run, so a target that cannot tell us it has
// caught up gets more time before its last characters lose their keycodes.
constexpr qint64 kRestoreAgeMs = 500;

// How long a target that answers pings may take to catch up with the keys
// typed so far before we fall back on the age rule.
constexpr int kPingTimeoutMs = 2000;

// How long modifiers the user still holds (after the push-to-talk click) may
// take to be released before typing goes on without them.
constexpr qint64 kModifierWaitMs = 500;

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

// Modifiers that would turn a typed character into a shortcut.
constexpr unsigned kShortcutModifiers =
    ShiftMask | ControlMask | Mod1Mask | Mod3Mask | Mod4Mask | Mod5Mask;

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

// Counts X errors instead of letting Xlib end the process: windows come and
// go while we look at them.
int &errorCount()
{
    static int count = 0;
    return count;
}

int countError(Display *, XErrorEvent *)
{
    ++errorCount();
    return 0;
}

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};

struct ModifiersFree
{
    void operator()(XModifierKeymap *map) const { XFreeModifiermap(map); }
};

struct XFreer
{
    void operator()(void *data) const { XFree(data); }
};

// When something the target must read (a key press, a new binding) was sent:
// the time, for the age rule, and the place in all that was sent, for pings.
// Times alone cannot tell a key sent in the same millisecond as a ping from
// one sent before it.
struct Mark
{
    qint64 at = -kSafeAgeMs;
    quint64 serial = 0;
};

// A keycode lent to one character at a time.
struct SpareKey
{
    KeyCode code = 0;
    KeySym bound = NoSymbol;
    Mark lastUse;
    bool changed = false;
};

// One key press, with Shift or without.
struct Stroke
{
    KeyCode code = 0;
    bool shift = false;
    SpareKey *spare = nullptr;
};

} // namespace

class TextInput::Private
{
public:
    std::unique_ptr<Display, DisplayCloser> display;
    XErrorHandler previousHandler = nullptr;
    QElapsedTimer clock;

    std::unique_ptr<KeyboardMap> keyboard;
    std::vector<SpareKey> spares;
    // Keycodes kept for the input method's keys for the whole run.
    std::vector<SpareKey> reserved;
    std::unique_ptr<TargetPing> ping;
    quint64 serial = 0;
    // Everything sent up to this serial has been handled by the target.
    quint64 confirmed = 0;

    Mark mark() { return Mark{clock.elapsed(), ++serial}; }

    Window root() const { return DefaultRootWindow(display.get()); }

    Window parentOf(Window window) const
    {
        Window rootReturn = 0, parent = 0;
        Window *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display.get(), window, &rootReturn, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        return parent;
    }

    // The child of the root window that holds window.
    Window topLevelOf(Window window) const
    {
        while (window) {
            const Window parent = parentOf(window);
            if (!parent || parent == root())
                return parent ? window : 0;
            window = parent;
        }
        return 0;
    }

    bool isInside(Window window, Window ancestor) const
    {
        for (; window && window != root(); window = parentOf(window))
            if (window == ancestor)
                return true;
        return false;
    }

    Window inputFocus() const
    {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display.get(), &focus, &revert);
        if (focus == None || focus == PointerRoot)
            return 0;
        return focus;
    }

    Window activeWindow() const
    {
        const Atom atom = XInternAtom(display.get(), "_NET_ACTIVE_WINDOW", True);
        if (atom == None)
            return 0;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display.get(), root(), atom, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) != Success)
            return 0;
        std::unique_ptr<unsigned char, XFreer> owned(data);
        if (type != XA_WINDOW || format != 32 || count != 1 || !data)
            return 0;
        return *reinterpret_cast<Window *>(data);
    }

    void restoreKeyboard(Mark lastKey);
    void releaseHeldModifiers();
    void tap(const Stroke &stroke);
    bool press(Window focus, const QVector<Stroke> &strokes, const Stroke *off, const Stroke *on);
    bool strokeFor(const QVector<KeySym> &syms, int at, bool mayBind, Stroke *stroke);
    bool reserve(KeySym sym, Stroke *stroke);
    SpareKey *spareFor(const QVector<KeySym> &syms, int at);
    void bind(SpareKey &spare, KeySym sym);
    void waitUntilAged(qint64 lastUse);
    bool mayRebind(const SpareKey &spare, qint64 now) const
    {
        return now - spare.lastUse.at >= kSafeAgeMs || spare.lastUse.serial <= confirmed;
    }
    void waitUntilSafe(Mark lastUse);
};

void TextInput::Private::bind(SpareKey &spare, KeySym sym)
{
    keyboard->bind(spare.code, sym);
    spare.bound = sym;
    spare.changed = true;
    spare.lastUse = mark();
}

void TextInput::Private::waitUntilAged(qint64 lastUse)
{
    const qint64 wait = lastUse + kSafeAgeMs - clock.elapsed();
    if (wait > 0)
        QThread::msleep(static_cast<unsigned long>(wait));
}

// Until what was sent at lastUse has surely been read by the target: it says
// so by answering a ping, or enough time has passed.
void TextInput::Private::waitUntilSafe(Mark lastUse)
{
    if (clock.elapsed() - lastUse.at >= kSafeAgeMs || lastUse.serial <= confirmed)
        return;
    if (ping && ping->isAvailable()) {
        const quint64 sent = serial;
        if (ping->roundTrip(kPingTimeoutMs)) {
            confirmed = sent;
            return;
        }
    }
    waitUntilAged(lastUse.at);
}

// lastKey: the last key press the target must have read before the map goes
// back (and the input method with it); an empty mark when only lent
// keycodes matter.
void TextInput::Private::restoreKeyboard(Mark lastKey)
{
    Mark lastUse = lastKey;
    for (const std::vector<SpareKey> *keys : {&spares, &reserved})
        for (const SpareKey &spare : *keys)
            if (spare.changed && spare.lastUse.serial > lastUse.serial)
                lastUse = spare.lastUse;
    waitUntilSafe(lastUse);
    const qint64 rest = lastUse.at + kRestoreAgeMs - clock.elapsed();
    if (lastUse.serial > confirmed && rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
    keyboard->restore();
    if (keyboard->capsLocked())
        XkbLockModifiers(display.get(), XkbUseCoreKbd, LockMask, LockMask);
    XSync(display.get(), False);
}

void TextInput::Private::releaseHeldModifiers()
{
    Display *dpy = display.get();
    XkbStateRec state{};
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        XkbGetState(dpy, XkbUseCoreKbd, &state);
        if (!(state.base_mods & kShortcutModifiers))
            return;
        if (waited.elapsed() >= kModifierWaitMs)
            break;
        QThread::msleep(10);
    }
    // Still held: type without them rather than turn characters into shortcuts.
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    std::unique_ptr<XModifierKeymap, ModifiersFree> modifiers(XGetModifierMapping(dpy));
    if (!modifiers)
        return;
    for (int index = 0; index < 8; ++index) {
        if (index == LockMapIndex || !(state.base_mods & (1u << index)))
            continue;
        for (int i = 0; i < modifiers->max_keypermod; ++i) {
            const KeyCode code = modifiers->modifiermap[index * modifiers->max_keypermod + i];
            if (code && (keys[code / 8] & (1 << (code % 8))))
                XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        }
    }
    XSync(dpy, False);
    qDebug() << "modifier keys still held, typing without them !";
}

void TextInput::Private::tap(const Stroke &stroke)
{
    Display *dpy = display.get();
    if (stroke.shift)
        XTestFakeKeyEvent(dpy, keyboard->shiftCode(), True, CurrentTime);
    XTestFakeKeyEvent(dpy, stroke.code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, stroke.code, False, CurrentTime);
    if (stroke.shift)
        XTestFakeKeyEvent(dpy, keyboard->shiftCode(), False, CurrentTime);
}

// Presses the strokes, between the input method's off and on keys when there
// are such. The focus test and the key presses happen under a server grab, so
// the focus cannot move to another window in between, and a window left
// behind has its input method on again.
bool TextInput::Private::press(Window focus, const QVector<Stroke> &strokes, const Stroke *off,
                               const Stroke *on)
{
    Display *dpy = display.get();
    XGrabServer(dpy);
    const bool same = inputFocus() == focus;
    if (same) {
        if (off)
            tap(*off);
        for (const Stroke &stroke : strokes)
            tap(stroke);
        if (on)
            tap(*on);
    }
    XUngrabServer(dpy);
    XFlush(dpy);
    return same;
}

// The key that types syms[at]. Only with mayBind may a keycode be lent for it
// (which may mean waiting until one has rested).
bool TextInput::Private::strokeFor(const QVector<KeySym> &syms, int at, bool mayBind,
                                   Stroke *stroke)
{
    KeyboardMap::Key key;
    if (keyboard->find(syms.at(at), &key)) {
        *stroke = Stroke{key.code, key.shift, nullptr};
        return true;
    }
    for (SpareKey &spare : spares) {
        if (spare.bound == syms.at(at)) {
            *stroke = Stroke{spare.code, false, &spare};
            return true;
        }
    }
    if (!mayBind)
        return false;
    SpareKey *spare = spareFor(syms, at);
    if (!spare)
        return false;
    *stroke = Stroke{spare->code, false, spare};
    return true;
}

// A key for sym for the whole run: the keyboard's own, or a spare keycode
// taken out of the rotation while at least one is left for the text.
bool TextInput::Private::reserve(KeySym sym, Stroke *stroke)
{
    KeyboardMap::Key key;
    if (keyboard->find(sym, &key)) {
        *stroke = Stroke{key.code, key.shift, nullptr};
        return true;
    }
    if (spares.size() < 2)
        return false;
    reserved.push_back(spares.back());
    spares.pop_back();
    bind(reserved.back(), sym);
    keyboard->send();
    *stroke = Stroke{reserved.back().code, false, nullptr};
    return true;
}

// The spare key that gives syms[at], binding it first when needed. Binds the
// next characters of the text in the same go, to keycodes that have rested
// long enough, preferring those whose characters are not coming up soon.
SpareKey *TextInput::Private::spareFor(const QVector<KeySym> &syms, int at)
{
    const KeySym wanted = syms.at(at);
    for (SpareKey &spare : spares)
        if (spare.bound == wanted)
            return &spare;
    if (spares.empty())
        return nullptr;

    const int window = int(spares.size()) * 4;
    std::unordered_set<KeySym> comingUp;
    std::vector<KeySym> needed;
    std::unordered_set<KeySym> bound;
    for (const SpareKey &spare : spares)
        bound.insert(spare.bound);
    KeyboardMap::Key key;
    for (int i = at; i < syms.size() && i < at + window; ++i) {
        const KeySym sym = syms.at(i);
        if (keyboard->find(sym, &key))
            continue;
        comingUp.insert(sym);
        if (!bound.count(sym) && std::find(needed.begin(), needed.end(), sym) == needed.end())
            needed.push_back(sym);
    }

    std::vector<SpareKey *> order;
    for (SpareKey &spare : spares)
        order.push_back(&spare);
    std::stable_sort(order.begin(), order.end(), [&](const SpareKey *a, const SpareKey *b) {
        const bool aSoon = comingUp.count(a->bound) > 0, bSoon = comingUp.count(b->bound) > 0;
        if (aSoon != bSoon)
            return !aSoon;
        return a->lastUse.serial < b->lastUse.serial;
    });

    // The first victim may have to be waited for (one keycode: pace it); the
    // others are taken only when they have rested already.
    SpareKey *first = order.front();
    waitUntilSafe(first->lastUse);
    const qint64 now = clock.elapsed();
    size_t next = 0;
    for (SpareKey *spare : order) {
        if (next >= needed.size())
            break;
        if (spare != first && (!mayRebind(*spare, now) || comingUp.count(spare->bound)))
            continue;
        bind(*spare, needed.at(next++));
    }
    keyboard->send();
    return first;
}

TextInput::TextInput() : d(new Private)
{
    d->clock.start();
    d->display.reset(XOpenDisplay(nullptr));
    if (!d->display)
        return;
    d->previousHandler = XSetErrorHandler(&countError);
}

TextInput::~TextInput()
{
    if (!d->display)
        return;
    XSync(d->display.get(), False);
    XSetErrorHandler(d->previousHandler);
}

bool TextInput::isConnected() const
{
    return d->display != nullptr;
}

quint64 TextInput::foregroundWindow()
{
    if (!d->display)
        return 0;
    if (const Window active = d->activeWindow())
        return active;
    // Without a window manager there is no active window: the top-level
    // window that holds the keyboard focus is the one the user works in.
    const Window focus = d->inputFocus();
    const int errors = errorCount();
    const Window top = focus ? d->topLevelOf(focus) : 0;
    XSync(d->display.get(), False);
    return errorCount() == errors ? top : 0;
}

quint64 TextInput::focusWindow(quint64 foreground)
{
    if (!d->display || !foreground)
        return 0;
    const Window focus = d->inputFocus();
    if (!focus)
        return 0;
    const int errors = errorCount();
    // A window manager may keep the focus on the frame around the window.
    const bool related =
        d->isInside(focus, Window(foreground)) || d->isInside(Window(foreground), focus);
    XSync(d->display.get(), False);
    return related && errorCount() == errors ? focus : 0;
}

quint64 TextInput::windowOwner(quint64 window)
{
    if (!d->display || !window)
        return 0;
    const Atom atom = XInternAtom(d->display.get(), "_NET_WM_PID", True);
    if (atom == None)
        return 0;
    const int errors = errorCount();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(d->display.get(), Window(window), atom, 0, 1, False,
                                          XA_CARDINAL, &type, &format, &count, &after, &data);
    std::unique_ptr<unsigned char, XFreer> owned(data);
    XSync(d->display.get(), False);
    if (status != Success || errorCount() != errors || type != XA_CARDINAL || format != 32 ||
        count != 1 || !data)
        return 0;
    return *reinterpret_cast<unsigned long *>(data);
}

int TextInput::type(const QString &text, quint64 focus)
{
    if (!d->display || !focus)
        return 0;
    const int own = typeIntoOwnWindow(text, focus);
    if (own >= 0)
        return own;
    QVector<uint> codePoints;
    const QVector<uint> all = text.toUcs4();
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i) == '\r' && i + 1 < all.size() && all.at(i + 1) == '\n')
            continue;
        const uint codePoint = all.at(i) == '\r' ? '\n' : all.at(i);
        if (keysymFor(codePoint, false) != NoSymbol)
            codePoints.append(codePoint);
    }
    if (codePoints.isEmpty())
        return 0;

    InputMethods inputMethods;
    QVector<KeySym> syms;
    for (const uint codePoint : codePoints)
        syms.append(keysymFor(codePoint, inputMethods.passAscii()));

    Display *dpy = d->display.get();
    d->keyboard.reset(new KeyboardMap(dpy));
    d->spares.clear();
    d->reserved.clear();
    for (const KeyboardMap::Code code : d->keyboard->spareCodes()) {
        SpareKey spare;
        spare.code = code;
        d->spares.push_back(spare);
    }
    d->serial = 0;
    d->confirmed = 0;
    d->ping.reset(new TargetPing(dpy, Window(focus)));
    d->releaseHeldModifiers();
    if (d->keyboard->capsLocked())
        XkbLockModifiers(dpy, XkbUseCoreKbd, LockMask, 0);

    Stroke off, on;
    const bool switchKeys = inputMethods.offKey() && d->reserve(inputMethods.offKey(), &off) &&
                            d->reserve(inputMethods.onKey(), &on);
    if (!switchKeys)
        inputMethods.switchOff();

    int typed = 0;
    bool focusKept = true;
    Mark lastKey;
    // A target that answers no pings (xterm) may get its keys by way of fcitx5
    // (XIM), later than any safe age. Then each group is confirmed through
    // fcitx5 itself: the group ends with composing off, and once fcitx5 says
    // it is off it has read that key; the on key follows, and once fcitx5 says
    // it is on it has read every key before. Composing is off between the two
    // presses only while fcitx5 reads the group.
    bool confirmByInputMethod = switchKeys && !(d->ping && d->ping->isAvailable());
    const bool oneKeyAtATime = inputMethods.passAscii() && d->ping && d->ping->isAvailable();
    // How long a call through IBus took lately, in microseconds.
    qint64 callUs = 0;
    while (typed < syms.size()) {
        QVector<Stroke> group;
        Stroke stroke;
        const int groupKeys = oneKeyAtATime ? 1 : kGroupKeys;
        for (int i = typed; i < syms.size() && group.size() < groupKeys; ++i) {
            if (!d->strokeFor(syms, i, group.isEmpty(), &stroke))
                break;
            group.append(stroke);
        }
        if (group.isEmpty())
            break;
        const bool onAfter = switchKeys && !confirmByInputMethod;
        if (!d->press(Window(focus), group, switchKeys ? &off : nullptr, onAfter ? &on : nullptr)) {
            qDebug() << "focus changed, typing stopped !";
            focusKept = false;
            break;
        }
        lastKey = d->mark();
        for (const Stroke &pressed : group)
            if (pressed.spare)
                pressed.spare->lastUse = lastKey;
        for (SpareKey &spare : d->reserved)
            spare.lastUse = lastKey;
        typed += group.size();
        if (oneKeyAtATime && d->ping->roundTrip(kPingTimeoutMs)) {
            d->confirmed = lastKey.serial;
            QElapsedTimer call;
            call.start();
            if (inputMethods.callIBus())
                callUs = std::max(call.nsecsElapsed() / 1000, callUs - callUs / 8);
            QThread::usleep(ulong(qBound(kIBusAnswerUs, 2 * callUs, kIBusAnswerCapUs)));
            d->ping->roundTrip(kPingTimeoutMs);
        }
        if (!confirmByInputMethod)
            continue;
        const bool readOff = inputMethods.waitUntilComposing(false, kPingTimeoutMs);
        if (!d->press(Window(focus), {}, nullptr, &on)) {
            qDebug() << "focus changed, typing stopped !";
            inputMethods.leftOff();
            focusKept = false;
            break;
        }
        lastKey = d->mark();
        for (SpareKey &spare : d->reserved)
            spare.lastUse = lastKey;
        if (readOff && inputMethods.waitUntilComposing(true, kPingTimeoutMs))
            d->confirmed = lastKey.serial;
        else {
            // What is still on its way is unknown: the age rule for the rest.
            qDebug() << "fcitx5 slow to read the keys, waiting by time !";
            confirmByInputMethod = false;
        }
    }
    d->restoreKeyboard(inputMethods.isSwitchedOff() ? lastKey : Mark());
    // A toolkit's input-method module hands keys on to fcitx5 over the bus,
    // from a thread of its own and possibly after the window has answered a
    // ping. Switched on over the bus too soon, fcitx5 would compose the last
    // keys, so the last key must also have aged.
    if (inputMethods.isSwitchedOff() && focusKept && typed > 0)
        d->waitUntilAged(lastKey.at);
    inputMethods.restore(focusKept);
    d->ping.reset();
    d->keyboard.reset();
    return typed;
}
