#pragma once

#include "platform/linux/sparekeycodes.h"

#include <QElapsedTimer>
#include <QVector>

#include <memory>

struct _XDisplay;
class KeyboardMap;
class TargetPing;
class X11Windows;

// The keys of one typing run into one window, pressed through XTest: the
// keyboard's own, and spare keycodes lent to the characters no key types. A
// lent keycode is bound to another character only once the target has surely
// read the keys that used it (see SpareKeycodes); restore() gives the keyboard
// map back.
class TypingKeys
{
public:
    using Sym = SpareKeycodes::Sym;
    using Mark = SpareKeycodes::Mark;

    // How long a target that answers pings may take to catch up with the keys
    // typed so far before we fall back on the age rule.
    static constexpr int pingTimeoutMs = 2000;

    // One key press, with Shift or without.
    struct Stroke
    {
        SpareKeycodes::Code code = 0;
        bool shift = false;
        SpareKeycodes::Spare *spare = nullptr;
    };

    // Reads the keyboard map, lets go of modifiers the user still holds and
    // unlocks Caps Lock for the run.
    TypingKeys(_XDisplay *display, unsigned long focus, const X11Windows &windows);
    ~TypingKeys();
    TypingKeys(const TypingKeys &) = delete;
    TypingKeys &operator=(const TypingKeys &) = delete;

    // Whether the target answers pings, and one ping there and back (false
    // when no answer came in time).
    bool pings() const;
    bool roundTrip();

    // A key for sym for the whole run: the keyboard's own, or a spare keycode
    // taken out of the rotation while at least one is left for the text.
    bool reserve(Sym sym, Stroke *stroke);
    // The keys for the next characters from syms[from] on, at most size of
    // them: a keycode is lent for the first only, so the group never waits.
    QVector<Stroke> nextGroup(const QVector<Sym> &syms, int from, int size);
    // Presses strokes between off and on (either may be null) while the focus
    // stays where it was; at says when. False when the focus moved.
    bool press(const QVector<Stroke> &strokes, const Stroke *off, const Stroke *on, Mark *at);
    // The target has handled all that was sent up to sent.
    void confirm(Mark sent);

    // Gives the keyboard map and Caps Lock back once the target has surely
    // read lastKey and every binding (an empty mark: only the bindings).
    void restore(Mark lastKey);
    // Until at least the safe age has passed since at.
    void waitUntilAged(qint64 at);

private:
    void releaseHeldModifiers();
    void tap(const Stroke &stroke);
    bool strokeFor(const QVector<Sym> &syms, int at, bool mayBind, Stroke *stroke);
    SpareKeycodes::Spare *spareFor(const QVector<Sym> &syms, int at);
    void bind(SpareKeycodes::Spare &spare, Sym sym);
    void waitUntilSafe(Mark lastUse);

    _XDisplay *m_display;
    unsigned long m_focus;
    const X11Windows &m_windows;
    QElapsedTimer m_clock;
    std::unique_ptr<KeyboardMap> m_keyboard;
    SpareKeycodes m_spares;
    std::unique_ptr<TargetPing> m_ping;
};
