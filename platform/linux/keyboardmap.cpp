#include "platform/linux/keyboardmap.h"

#include "platform/linux/lentkeycodes.h"

#include <QDebug>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace {

struct KeyboardFree
{
    void operator()(XkbDescPtr xkb) const { XkbFreeKeyboard(xkb, 0, True); }
};

struct ModifiersFree
{
    void operator()(XModifierKeymap *map) const { XFreeModifiermap(map); }
};

struct XFreer
{
    void operator()(void *data) const { XFree(data); }
};

} // namespace

struct KeyboardMap::Private
{
    Display *display = nullptr;
    int minKeycode = 0;
    int maxKeycode = 0;
    int symsPerKeycode = 0;
    std::unordered_map<KeySym, Key> keys;
    std::vector<Code> spares;
    // Core symbols of the spare keycodes, for servers without XKB.
    std::unordered_map<Code, std::vector<KeySym>> originalSyms;
    Code shift = 0;
    bool capsLocked = false;

    // The keyboard as we found it, and the copy the characters are bound in.
    std::unique_ptr<XkbDescRec, KeyboardFree> original;
    std::unique_ptr<XkbDescRec, KeyboardFree> working;
    int pendingFirst = INT_MAX;
    int pendingLast = -1;
    int changedFirst = INT_MAX;
    int changedLast = -1;
    std::vector<Code> coreChanged;
    std::unique_ptr<LentKeycodes> lent;

    void read();
    void borrowOne(const KeySym *map, const XModifierKeymap *modifiers);

    static void sendRange(Display *display, XkbDescRec *xkb, int first, int last)
    {
        // The keys between the first and the last go along unchanged.
        XkbMapChangesRec changes{};
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = KeyCode(first);
        changes.num_key_syms = last - first + 1;
        XkbChangeMap(display, xkb, &changes);
    }
};

void KeyboardMap::Private::read()
{
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    const int count = maxKeycode - minKeycode + 1;
    std::unique_ptr<KeySym, XFreer> map(
        XGetKeyboardMapping(display, KeyCode(minKeycode), count, &symsPerKeycode));
    if (!map)
        return;

    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    capsLocked = state.locked_mods & LockMask;
    original.reset(XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd));
    working.reset(XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd));

    std::unique_ptr<XModifierKeymap, ModifiersFree> modifiers(XGetModifierMapping(display));
    if (modifiers) {
        for (int i = 0; i < modifiers->max_keypermod && !shift; ++i)
            shift = modifiers->modifiermap[ShiftMapIndex * modifiers->max_keypermod + i];
    }

    for (int code = minKeycode; code <= maxKeycode; ++code) {
        const KeySym *syms = map.get() + (code - minKeycode) * symsPerKeycode;
        if (std::all_of(syms, syms + symsPerKeycode, [](KeySym s) { return s == NoSymbol; })) {
            spares.push_back(Code(code));
            originalSyms[Code(code)] = std::vector<KeySym>(syms, syms + symsPerKeycode);
            continue;
        }
        if (!original)
            continue;
        // What the key gives in the group in use, plain and with Shift: the
        // same translation the target applies to the key press.
        for (const bool shifted : {false, true}) {
            if (shifted && !shift)
                continue;
            unsigned modsOut = 0;
            KeySym sym = NoSymbol;
            const unsigned mods = XkbBuildCoreState(shifted ? ShiftMask : 0, state.group);
            if (!XkbTranslateKeyCode(original.get(), KeyCode(code), mods, &modsOut, &sym) ||
                sym == NoSymbol)
                continue;
            auto found = keys.find(sym);
            if (found == keys.end() || (found->second.shift && !shifted))
                keys[sym] = Key{Code(code), shifted};
        }
    }
    if (spares.empty())
        borrowOne(map.get(), modifiers.get());
}

void KeyboardMap::Private::borrowOne(const KeySym *map, const XModifierKeymap *modifiers)
{
    for (int code = maxKeycode; code >= minKeycode; --code) {
        bool used = false;
        for (int i = 0; modifiers && i < 8 * modifiers->max_keypermod; ++i)
            used = used || modifiers->modifiermap[i] == code;
        for (const auto &entry : keys)
            used = used || entry.second.code == code;
        if (used)
            continue;
        const KeySym *syms = map + (code - minKeycode) * symsPerKeycode;
        spares.push_back(Code(code));
        originalSyms[Code(code)] = std::vector<KeySym>(syms, syms + symsPerKeycode);
        return;
    }
    qWarning() << "no keycode free for typing !";
}

KeyboardMap::KeyboardMap(_XDisplay *display) : d(new Private)
{
    d->display = display;
    // A run that died while typing left keycodes bound: free them before
    // looking for spare ones.
    LentKeycodes::reclaim(display);
    d->lent = std::make_unique<LentKeycodes>(display);
    d->read();
}

KeyboardMap::~KeyboardMap() = default;

bool KeyboardMap::find(Sym sym, Key *key) const
{
    const auto found = d->keys.find(sym);
    if (found == d->keys.end())
        return false;
    *key = found->second;
    return true;
}

const std::vector<KeyboardMap::Code> &KeyboardMap::spareCodes() const
{
    return d->spares;
}

KeyboardMap::Code KeyboardMap::shiftCode() const
{
    return d->shift;
}

bool KeyboardMap::capsLocked() const
{
    return d->capsLocked;
}

void KeyboardMap::bind(Code code, Sym sym)
{
    d->lent->lend(code, d->originalSyms[code], sym);
    int types[XkbNumKbdGroups] = {XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex,
                                  XkbOneLevelIndex};
    if (d->working &&
        XkbChangeTypesOfKey(d->working.get(), code, 1, XkbGroup1Mask, types, nullptr) == Success) {
        // One level in one group: neither Shift nor the layout group in use
        // change what the key gives.
        if (KeySym *syms = XkbResizeKeySyms(d->working.get(), code, 1))
            syms[0] = sym;
        d->pendingFirst = std::min(d->pendingFirst, int(code));
        d->pendingLast = std::max(d->pendingLast, int(code));
        return;
    }
    // Without XKB: the same symbol in every column of the core map.
    d->lent->save();
    std::vector<KeySym> syms(size_t(d->symsPerKeycode), sym);
    XChangeKeyboardMapping(d->display, code, d->symsPerKeycode, syms.data(), 1);
    if (std::find(d->coreChanged.begin(), d->coreChanged.end(), code) == d->coreChanged.end())
        d->coreChanged.push_back(code);
}

void KeyboardMap::send()
{
    if (d->pendingLast >= d->pendingFirst) {
        d->lent->save(); // on disk before the server has it
        Private::sendRange(d->display, d->working.get(), d->pendingFirst, d->pendingLast);
        d->changedFirst = std::min(d->changedFirst, d->pendingFirst);
        d->changedLast = std::max(d->changedLast, d->pendingLast);
        d->pendingFirst = INT_MAX;
        d->pendingLast = -1;
    }
    XSync(d->display, False);
}

void KeyboardMap::restore()
{
    if (d->changedLast >= d->changedFirst)
        Private::sendRange(d->display, d->original.get(), d->changedFirst, d->changedLast);
    for (const Code code : d->coreChanged)
        XChangeKeyboardMapping(d->display, code, d->symsPerKeycode, d->originalSyms[code].data(),
                               1);
    d->changedFirst = INT_MAX;
    d->changedLast = -1;
    d->coreChanged.clear();
    XSync(d->display, False);
    d->lent->clear();
}
