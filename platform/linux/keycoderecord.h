#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <map>
#include <vector>

// What the record of lent keycodes says, as text: which keycodes a typing run
// has bound to characters, with their original symbols, and which of those a
// later run may give back. A record is read from a file that anyone who got at
// it could have written, so a keycode is given back only when it is one a run
// lends and still carries what that run bound: a record never takes away
// Return, a letter or a modifier, nor a change the user made since.
class KeycodeRecord
{
public:
    using Sym = unsigned long; // an X keysym

    // One keycode of a record.
    struct Key
    {
        int code = 0;
        std::vector<Sym> bound;    // the last two characters, in the order bound
        std::vector<Sym> original; // its core symbols before the first
    };

    // Who wrote a record: a process (its pid and start time, which together tell
    // it from a later process given the same pid) on a display.
    struct Writer
    {
        qint64 pid = 0;
        QByteArray started;
        QByteArray display;
    };

    // Notes that code, whose core symbols were original, is bound to sym. The
    // last two characters are kept: a run may die after saving a binding,
    // before sending it, and then the server still has the one before.
    void lend(int code, const std::vector<Sym> &original, Sym sym);
    void clear() { m_keys.clear(); }
    bool isEmpty() const { return m_keys.empty(); }

    QByteArray text(const Writer &writer) const;

    // The writer that record names; false when it names none.
    static bool readWriter(const QByteArray &record, Writer *writer);
    // The keycodes record names, in its order; lines that name none are passed over.
    static std::vector<Key> readKeys(const QByteArray &record);

    // Whether the keyboard (keycodes minCode to maxCode) has key's keycode and
    // key knows what to give back: only then may the keycode be looked at.
    static bool isOnKeyboard(const Key &key, int minCode, int maxCode);
    // Whether key's keycode, a modifier or not, that now carries carried (its
    // core symbols), gets its original symbols back.
    static bool mayGiveBack(const Key &key, bool modifier, const std::vector<Sym> &carried);

private:
    std::map<int, Key> m_keys;
};
