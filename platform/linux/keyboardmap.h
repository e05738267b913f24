#pragma once

#include <memory>
#include <vector>

struct _XDisplay;

// The user's keyboard map as found at the start of a typing run: which key
// types a character, which keycodes may be lent to other characters, and the
// lending itself. restore() gives every lent keycode its own symbols back.
class KeyboardMap
{
public:
    using Sym = unsigned long;  // an X keysym
    using Code = unsigned char; // an X keycode

    struct Key
    {
        Code code = 0;
        bool shift = false;
    };

    explicit KeyboardMap(_XDisplay *display);
    ~KeyboardMap();
    KeyboardMap(const KeyboardMap &) = delete;
    KeyboardMap &operator=(const KeyboardMap &) = delete;

    // The key that types sym in the layout group in use, plain or with Shift.
    bool find(Sym sym, Key *key) const;

    // Keycodes that carry no symbol; when there are none, one borrowed key
    // that is no modifier and types no character of the keyboard.
    const std::vector<Code> &spareCodes() const;

    Code shiftCode() const;
    bool capsLocked() const;

    // Lends code to sym. Bindings go to the server together with send(), in
    // one request, so a target rebuilds its map once for all of them.
    void bind(Code code, Sym sym);
    void send();
    void restore();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
