#include "platform/linux/sparekeycodes.h"

#include <algorithm>

SpareKeycodes::SpareKeycodes(const std::vector<Code> &codes)
{
    for (const Code code : codes) {
        Spare spare;
        spare.code = code;
        m_spares.push_back(spare);
    }
    // Reserved keycodes are handed out by address.
    m_reserved.reserve(codes.size());
}

bool SpareKeycodes::isSafe(Mark lastUse, qint64 now) const
{
    return now - lastUse.at >= safeAgeMs || isConfirmed(lastUse);
}

qint64 SpareKeycodes::ageWait(qint64 lastUse, qint64 now)
{
    return std::max<qint64>(0, lastUse + safeAgeMs - now);
}

SpareKeycodes::Spare *SpareKeycodes::boundTo(Sym sym)
{
    for (Spare &spare : m_spares)
        if (spare.bound == sym)
            return &spare;
    return nullptr;
}

SpareKeycodes::Spare *SpareKeycodes::reserve()
{
    if (m_spares.size() < 2)
        return nullptr;
    m_reserved.push_back(m_spares.back());
    m_spares.pop_back();
    return &m_reserved.back();
}

void SpareKeycodes::bind(Spare &spare, Sym sym, qint64 now)
{
    spare.bound = sym;
    spare.changed = true;
    spare.lastUse = mark(now);
}

void SpareKeycodes::reservedUsed(Mark lastKey)
{
    for (Spare &spare : m_reserved)
        spare.lastUse = lastKey;
}

SpareKeycodes::Lending SpareKeycodes::plan(const QVector<Sym> &syms, int at,
                                           const std::function<bool(Sym)> &onKeyboard)
{
    Lending lending;
    if (m_spares.empty())
        return lending;
    const int window = int(m_spares.size()) * 4;
    std::unordered_set<Sym> bound;
    for (const Spare &spare : m_spares)
        bound.insert(spare.bound);
    for (int i = at; i < syms.size() && i < at + window; ++i) {
        const Sym sym = syms.at(i);
        if (onKeyboard(sym))
            continue;
        lending.comingUp.insert(sym);
        if (!bound.count(sym) &&
            std::find(lending.needed.begin(), lending.needed.end(), sym) == lending.needed.end())
            lending.needed.push_back(sym);
    }

    for (Spare &spare : m_spares)
        lending.order.push_back(&spare);
    const auto &comingUp = lending.comingUp;
    std::stable_sort(lending.order.begin(), lending.order.end(),
                     [&comingUp](const Spare *a, const Spare *b) {
                         const bool aSoon = comingUp.count(a->bound) > 0;
                         const bool bSoon = comingUp.count(b->bound) > 0;
                         if (aSoon != bSoon)
                             return !aSoon;
                         return a->lastUse.serial < b->lastUse.serial;
                     });
    lending.first = lending.order.front();
    return lending;
}

std::vector<std::pair<SpareKeycodes::Spare *, SpareKeycodes::Sym>>
SpareKeycodes::bindings(const Lending &lending, qint64 now) const
{
    // The first keycode may have been waited for (with one keycode the text is
    // paced by it); the others are taken only when they have rested already.
    std::vector<std::pair<Spare *, Sym>> bindings;
    for (Spare *spare : lending.order) {
        if (bindings.size() >= lending.needed.size())
            break;
        if (spare != lending.first &&
            (!isSafe(spare->lastUse, now) || lending.comingUp.count(spare->bound)))
            continue;
        bindings.emplace_back(spare, lending.needed.at(bindings.size()));
    }
    return bindings;
}

SpareKeycodes::Mark SpareKeycodes::lastChange(Mark lastKey) const
{
    Mark last = lastKey;
    for (const std::vector<Spare> *keys : {&m_spares, &m_reserved})
        for (const Spare &spare : *keys)
            if (spare.changed && spare.lastUse.serial > last.serial)
                last = spare.lastUse;
    return last;
}

qint64 SpareKeycodes::restoreWait(Mark lastChange, qint64 now) const
{
    if (isConfirmed(lastChange))
        return 0;
    return std::max<qint64>(0, lastChange.at + restoreAgeMs - now);
}
