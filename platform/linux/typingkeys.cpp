#include "platform/linux/typingkeys.h"

#include "platform/linux/keyboardmap.h"
#include "platform/linux/targetping.h"
#include "platform/linux/x11windows.h"

#include <QDebug>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

// How long modifiers the user still holds (after the push-to-talk click) may
// take to be released before typing goes on without them.
constexpr qint64 kModifierWaitMs = 500;

// Modifiers that would turn a typed character into a shortcut.
constexpr unsigned kShortcutModifiers =
    ShiftMask | ControlMask | Mod1Mask | Mod3Mask | Mod4Mask | Mod5Mask;

struct ModifiersFree
{
    void operator()(XModifierKeymap *map) const { XFreeModifiermap(map); }
};

} // namespace

TypingKeys::TypingKeys(_XDisplay *display, unsigned long focus, const X11Windows &windows)
    : m_display(display), m_focus(focus), m_windows(windows),
      m_keyboard(std::make_unique<KeyboardMap>(display)), m_spares(m_keyboard->spareCodes())
{
    m_clock.start();
    m_ping = std::make_unique<TargetPing>(display, focus);
    releaseHeldModifiers();
    if (m_keyboard->capsLocked())
        XkbLockModifiers(display, XkbUseCoreKbd, LockMask, 0);
}

TypingKeys::~TypingKeys() = default;

bool TypingKeys::pings() const
{
    return m_ping->isAvailable();
}

bool TypingKeys::roundTrip()
{
    return m_ping->roundTrip(pingTimeoutMs);
}

void TypingKeys::releaseHeldModifiers()
{
    XkbStateRec state{};
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        XkbGetState(m_display, XkbUseCoreKbd, &state);
        if (!(state.base_mods & kShortcutModifiers))
            return;
        if (waited.elapsed() >= kModifierWaitMs)
            break;
        QThread::msleep(10);
    }
    // Still held: type without them rather than turn characters into shortcuts.
    char keys[32] = {};
    XQueryKeymap(m_display, keys);
    std::unique_ptr<XModifierKeymap, ModifiersFree> modifiers(XGetModifierMapping(m_display));
    if (!modifiers)
        return;
    for (int index = 0; index < 8; ++index) {
        if (index == LockMapIndex || !(state.base_mods & (1u << index)))
            continue;
        for (int i = 0; i < modifiers->max_keypermod; ++i) {
            const KeyCode code = modifiers->modifiermap[index * modifiers->max_keypermod + i];
            if (code && (keys[code / 8] & (1 << (code % 8))))
                XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        }
    }
    XSync(m_display, False);
    qDebug() << "modifier keys still held, typing without them !";
}

void TypingKeys::tap(const Stroke &stroke)
{
    if (stroke.shift)
        XTestFakeKeyEvent(m_display, m_keyboard->shiftCode(), True, CurrentTime);
    XTestFakeKeyEvent(m_display, stroke.code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, stroke.code, False, CurrentTime);
    if (stroke.shift)
        XTestFakeKeyEvent(m_display, m_keyboard->shiftCode(), False, CurrentTime);
}

// The focus test and the key presses happen under a server grab, so the focus
// cannot move to another window in between, and a window left behind has its
// input method on again.
bool TypingKeys::press(const QVector<Stroke> &strokes, const Stroke *off, const Stroke *on,
                       Mark *at)
{
    XGrabServer(m_display);
    const bool same = m_windows.inputFocus() == m_focus;
    if (same) {
        if (off)
            tap(*off);
        for (const Stroke &stroke : strokes)
            tap(stroke);
        if (on)
            tap(*on);
    }
    XUngrabServer(m_display);
    XFlush(m_display);
    if (!same)
        return false;
    *at = m_spares.mark(m_clock.elapsed());
    for (const Stroke &pressed : strokes)
        if (pressed.spare)
            pressed.spare->lastUse = *at;
    m_spares.reservedUsed(*at);
    return true;
}

void TypingKeys::confirm(Mark sent)
{
    m_spares.confirm(sent.serial);
}

QVector<TypingKeys::Stroke> TypingKeys::nextGroup(const QVector<Sym> &syms, int from, int size)
{
    QVector<Stroke> group;
    Stroke stroke;
    for (int i = from; i < syms.size() && group.size() < size; ++i) {
        if (!strokeFor(syms, i, group.isEmpty(), &stroke))
            break;
        group.append(stroke);
    }
    return group;
}

// The key that types syms[at]. Only with mayBind may a keycode be lent for it
// (which may mean waiting until one has rested).
bool TypingKeys::strokeFor(const QVector<Sym> &syms, int at, bool mayBind, Stroke *stroke)
{
    KeyboardMap::Key key;
    if (m_keyboard->find(syms.at(at), &key)) {
        *stroke = Stroke{key.code, key.shift, nullptr};
        return true;
    }
    SpareKeycodes::Spare *spare = m_spares.boundTo(syms.at(at));
    if (!spare && mayBind)
        spare = spareFor(syms, at);
    if (!spare)
        return false;
    *stroke = Stroke{spare->code, false, spare};
    return true;
}

bool TypingKeys::reserve(Sym sym, Stroke *stroke)
{
    KeyboardMap::Key key;
    if (m_keyboard->find(sym, &key)) {
        *stroke = Stroke{key.code, key.shift, nullptr};
        return true;
    }
    SpareKeycodes::Spare *reserved = m_spares.reserve();
    if (!reserved)
        return false;
    bind(*reserved, sym);
    m_keyboard->send();
    *stroke = Stroke{reserved->code, false, nullptr};
    return true;
}

// The spare keycode lent for syms[at], bound with the next characters of the
// text in the same go, in one request to the server.
SpareKeycodes::Spare *TypingKeys::spareFor(const QVector<Sym> &syms, int at)
{
    KeyboardMap::Key key;
    const SpareKeycodes::Lending lending =
        m_spares.plan(syms, at, [this, &key](Sym sym) { return m_keyboard->find(sym, &key); });
    if (!lending.first)
        return nullptr;
    // The first keycode may have to be waited for: with one keycode, it paces
    // the text.
    waitUntilSafe(lending.first->lastUse);
    for (const auto &[spare, sym] : m_spares.bindings(lending, m_clock.elapsed()))
        bind(*spare, sym);
    m_keyboard->send();
    return lending.first;
}

void TypingKeys::bind(SpareKeycodes::Spare &spare, Sym sym)
{
    m_keyboard->bind(spare.code, sym);
    m_spares.bind(spare, sym, m_clock.elapsed());
}

void TypingKeys::waitUntilAged(qint64 at)
{
    const qint64 wait = SpareKeycodes::ageWait(at, m_clock.elapsed());
    if (wait > 0)
        QThread::msleep(static_cast<unsigned long>(wait));
}

// Until what was sent at lastUse has surely been read by the target: it says
// so by answering a ping, or enough time has passed.
void TypingKeys::waitUntilSafe(Mark lastUse)
{
    if (m_spares.isSafe(lastUse, m_clock.elapsed()))
        return;
    if (m_ping->isAvailable()) {
        const quint64 sent = m_spares.lastSerial();
        if (m_ping->roundTrip(pingTimeoutMs)) {
            m_spares.confirm(sent);
            return;
        }
    }
    waitUntilAged(lastUse.at);
}

void TypingKeys::restore(Mark lastKey)
{
    const Mark lastChange = m_spares.lastChange(lastKey);
    waitUntilSafe(lastChange);
    const qint64 rest = m_spares.restoreWait(lastChange, m_clock.elapsed());
    if (rest > 0)
        QThread::msleep(static_cast<unsigned long>(rest));
    m_keyboard->restore();
    if (m_keyboard->capsLocked())
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, LockMask);
    XSync(m_display, False);
}
