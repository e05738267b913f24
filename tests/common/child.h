#pragma once

#include <QObject>
#include <QString>

// A named child of a window made from a Designer form; the test stops at once
// when the form no longer has it.
template <typename T> T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}
