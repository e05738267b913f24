#include "platform/linux/keycoderecord.h"

#include <QList>

#include <algorithm>

namespace {

QByteArray symList(const std::vector<KeycodeRecord::Sym> &syms)
{
    QByteArray list;
    for (const KeycodeRecord::Sym sym : syms)
        list += (list.isEmpty() ? "" : " ") + QByteArray::number(qulonglong(sym), 16);
    return list;
}

std::vector<KeycodeRecord::Sym> parseSyms(const QByteArray &list)
{
    std::vector<KeycodeRecord::Sym> syms;
    for (const QByteArray &sym : list.simplified().split(' '))
        if (!sym.isEmpty())
            syms.push_back(KeycodeRecord::Sym(sym.toULongLong(nullptr, 16)));
    return syms;
}

// What a typing run binds a keycode to: a character, by its Latin-1 keysym or
// its Unicode one (0x01000000 + code point). The blank, Return, Tab and the keys
// of functions count as the keyboard's own, which a record never takes away (on
// the rare keyboard without a blank, a blank lent stays bound).
bool isLentSym(KeycodeRecord::Sym sym)
{
    return (sym > 0x20 && sym < 0x7f) || (sym >= 0xa0 && sym <= 0xff) ||
           (sym > 0x01000020 && sym <= 0x0110ffff);
}

} // namespace

void KeycodeRecord::lend(int code, const std::vector<Sym> &original, Sym sym)
{
    Key &key = m_keys[code];
    key.code = code;
    if (key.original.empty())
        key.original = original;
    key.bound.erase(std::remove(key.bound.begin(), key.bound.end(), sym), key.bound.end());
    if (key.bound.size() >= 2)
        key.bound.erase(key.bound.begin());
    key.bound.push_back(sym);
}

QByteArray KeycodeRecord::text(const Writer &writer) const
{
    QByteArray text = "pid " + QByteArray::number(writer.pid) + ' ' + writer.started +
                      "\ndisplay " + writer.display + '\n';
    for (const auto &entry : m_keys)
        text += "key " + QByteArray::number(entry.first) + " bound " + symList(entry.second.bound) +
                " original " + symList(entry.second.original) + '\n';
    return text;
}

bool KeycodeRecord::readWriter(const QByteArray &record, Writer *writer)
{
    const QList<QByteArray> lines = record.split('\n');
    const QList<QByteArray> pid = lines.value(0).split(' ');
    const QByteArray display = lines.value(1);
    if (pid.value(0) != "pid" || !display.startsWith("display "))
        return false;
    writer->pid = pid.value(1).toLongLong();
    writer->started = pid.value(2);
    writer->display = display.mid(8);
    return true;
}

std::vector<KeycodeRecord::Key> KeycodeRecord::readKeys(const QByteArray &record)
{
    std::vector<Key> keys;
    for (const QByteArray &line : record.split('\n')) {
        const int bound = line.indexOf(" bound ");
        const int original = line.indexOf(" original ");
        if (!line.startsWith("key ") || bound < 0 || original < bound)
            continue;
        Key key;
        key.code = line.mid(4, bound - 4).toInt();
        key.bound = parseSyms(line.mid(bound + 7, original - bound - 7));
        key.original = parseSyms(line.mid(original + 10));
        keys.push_back(key);
    }
    return keys;
}

bool KeycodeRecord::isOnKeyboard(const Key &key, int minCode, int maxCode)
{
    return key.code >= minCode && key.code <= maxCode && !key.original.empty();
}

bool KeycodeRecord::mayGiveBack(const Key &key, bool modifier, const std::vector<Sym> &carried)
{
    // A key that carries several symbols, or none a run lends, is an ordinary
    // key of the keyboard.
    if (modifier || carried.empty())
        return false;
    const Sym sym = carried.front();
    if (!isLentSym(sym) || std::find(key.bound.begin(), key.bound.end(), sym) == key.bound.end())
        return false;
    return std::all_of(carried.begin() + 1, carried.end(),
                       [sym](Sym other) { return other == 0 || other == sym; });
}
