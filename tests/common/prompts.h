#pragma once

#include <QApplication>
#include <QLabel>
#include <QWidget>

// How tests find the prompt boxes (ui/promptbox.h) on screen. They are told by
// class name, so that tests which do not link the UI library can look too.

inline bool isPromptBox(const QObject *object)
{
    return object && object->inherits("PromptBox");
}

inline QString promptText(const QWidget *box)
{
    const QLabel *label = box->findChild<QLabel *>(QStringLiteral("label"));
    return label ? label->text() : QString();
}

// Every prompt box there is, shown or not; with an owner, those it owns, oldest first.
inline QWidgetList promptBoxes(const QObject *owner = nullptr)
{
    QWidgetList boxes;
    const QWidgetList candidates =
        owner ? owner->findChildren<QWidget *>() : QApplication::topLevelWidgets();
    for (QWidget *widget : candidates)
        if (isPromptBox(widget))
            boxes << widget;
    return boxes;
}

// The texts of the prompt boxes on screen now.
inline QStringList shownPrompts(const QObject *owner = nullptr)
{
    QStringList texts;
    for (QWidget *box : promptBoxes(owner))
        if (box->isVisible())
            texts << promptText(box);
    return texts;
}
