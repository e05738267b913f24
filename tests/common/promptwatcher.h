#pragma once

#include "ui/promptbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QStringList>

#include <functional>

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
        auto *box = qobject_cast<PromptBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            texts << box->findChild<QLabel *>(QStringLiteral("label"))->text();
            if (whileShown)
                whileShown();
        }
        return false;
    }
};
