#pragma once

#include <QVector>
#include <QtGlobal>

#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

// The keycodes that carry no symbol, lent in turn to the characters of a text
// that no key of the keyboard types: which keycode a character gets, and when a
// keycode may be bound to another character without the target reading a key
// press with the wrong map. Bookkeeping only: the caller binds, sends, presses
// and waits. Times are milliseconds of one clock; serials count, in order, all
// that was sent for the target to read.
class SpareKeycodes
{
public:
    using Sym = unsigned long;  // an X keysym
    using Code = unsigned char; // an X keycode

    // A target reads the new keyboard map only when it gets to the mapping
    // notification, possibly after the key press that used it. A keycode is
    // therefore rebound only this long after its last use (100 ms never failed in
    // trials, 20 ms did), or once the target has answered a ping sent after that
    // use, which is sooner and also holds when the target is slow.
    static constexpr qint64 safeAgeMs = 150;

    // The map goes back once per run, so a target that cannot tell us it has
    // caught up gets more time before its last characters lose their keycodes.
    static constexpr qint64 restoreAgeMs = 500;

    // When something the target must read (a key press, a new binding) was sent:
    // the time, for the age rule, and the place in all that was sent, for pings.
    // Times alone cannot tell a key sent in the same millisecond as a ping from
    // one sent before it.
    struct Mark
    {
        qint64 at = -safeAgeMs;
        quint64 serial = 0;
    };

    // A keycode lent to one character at a time.
    struct Spare
    {
        Code code = 0;
        Sym bound = 0;
        Mark lastUse;
        bool changed = false;
    };

    // What lending a keycode for one character involves: the keycode to lend
    // first, which may have to be waited for, and the characters coming up soon.
    struct Lending
    {
        Spare *first = nullptr;
        std::vector<Spare *> order; // the keycodes least wanted soon first
        std::vector<Sym> needed;    // characters coming up that no keycode gives yet
        std::unordered_set<Sym> comingUp;
    };

    explicit SpareKeycodes(const std::vector<Code> &codes = {});

    // Notes that something was sent at now.
    Mark mark(qint64 now) { return Mark{now, ++m_serial}; }
    quint64 lastSerial() const { return m_serial; }
    // The target has handled everything sent up to serial.
    void confirm(quint64 serial) { m_confirmed = serial; }
    bool isConfirmed(Mark sent) const { return sent.serial <= m_confirmed; }

    // Whether what was sent at lastUse has surely been read by the target at now.
    bool isSafe(Mark lastUse, qint64 now) const;
    // How long after now lastUse has aged safeAgeMs; 0 when it has.
    static qint64 ageWait(qint64 lastUse, qint64 now);

    // The keycode in the rotation that gives sym, null when none does.
    Spare *boundTo(Sym sym);
    // Takes a keycode out of the rotation for the whole run (the input
    // method's keys) while at least one is left for the text; null otherwise.
    Spare *reserve();
    // Notes that spare now gives sym, bound at now.
    void bind(Spare &spare, Sym sym, qint64 now);
    // A key press at lastKey used the reserved keycodes too (they stay bound).
    void reservedUsed(Mark lastKey);

    // The keycode to lend for syms[at], with the characters coming up within a
    // window of four per keycode that no keycode gives yet. onKeyboard tells the
    // characters the keyboard types itself. No keycode when there are none.
    Lending plan(const QVector<Sym> &syms, int at, const std::function<bool(Sym)> &onKeyboard);
    // Once lending.first may be rebound: the characters needed in turn, bound to
    // lending.first and to the keycodes that have rested already and whose
    // characters are not coming up, in lending's order.
    std::vector<std::pair<Spare *, Sym>> bindings(const Lending &lending, qint64 now) const;

    // The last thing sent that the target must have read before the map goes
    // back: lastKey, or a later binding.
    Mark lastChange(Mark lastKey) const;
    // How long after now, once lastChange may have been read, the map waits
    // before it goes back; 0 when the target has confirmed it.
    qint64 restoreWait(Mark lastChange, qint64 now) const;

private:
    std::vector<Spare> m_spares;
    std::vector<Spare> m_reserved;
    quint64 m_serial = 0;
    quint64 m_confirmed = 0;
};
