#pragma once

#include "platform/linux/keyboardmap.h"
#include "platform/linux/keycoderecord.h"

#include <QString>

#include <vector>

// A small record, in the user's runtime folder (in ~/.local/share/ferrule when
// that folder is not private), of the keycodes a typing run has lent to
// characters. It is written before a lent keycode reaches the server and removed
// once the keyboard map is restored, so a run that dies in between (killed,
// crashed) leaves it behind, and the next run gives those keycodes back: without
// that they stay bound to characters, and after a few such runs no spare keycode
// is left to type with.
class LentKeycodes
{
public:
    using Sym = KeyboardMap::Sym;
    using Code = KeyboardMap::Code;

    explicit LentKeycodes(_XDisplay *display);

    // Notes that code, whose core symbols were original, is bound to sym; save()
    // puts it on disk.
    void lend(Code code, const std::vector<Sym> &original, Sym sym);
    void save();
    // The map is restored: the record goes.
    void clear();

    // Gives back what the records of dead runs on this display lent, only where a
    // keycode still carries what that run bound (a later change of the user's
    // stays), and removes those records.
    static void reclaim(_XDisplay *display);

private:
    KeycodeRecord m_record;
    QString m_path;
    QString m_display;
    bool m_saved = false;
    bool m_failed = false;
};
