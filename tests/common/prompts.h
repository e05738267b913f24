#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>

#include <functional>

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

// Notes the text of every prompt box as it comes on screen, and can act while
// it is there: the prompt's second runs a local event loop in which anything
// may happen.
class PromptWatcher : public QObject
{
public:
    PromptWatcher() { QCoreApplication::instance()->installEventFilter(this); }
    ~PromptWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }

    QStringList texts;
    std::function<void()> whileShown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && isPromptBox(watched)) {
            texts << promptText(static_cast<QWidget *>(watched));
            if (whileShown)
                whileShown();
        }
        return false;
    }
};
