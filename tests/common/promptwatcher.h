#pragma once

#include "ui/promptbox.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStringList>

// Records the text of every prompt box shown while it lives, whoever owns
// the box and however briefly it is shown.
class PromptWatcher : public QObject
{
public:
    PromptWatcher() { qApp->installEventFilter(this); }
    ~PromptWatcher() override { qApp->removeEventFilter(this); }

    QStringList shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<PromptBox *>(watched);
        if (box && event->type() == QEvent::Show)
            shown << box->findChild<QLabel *>(QStringLiteral("label"))->text();
        return false;
    }
};
