#include "platform/linux/imecommits.h"

#include <QDebug>

bool commitThroughInputMethods(const ImeCommits &inputMethods, const QString &text)
{
    for (const std::unique_ptr<ImeCommit> &inputMethod : inputMethods) {
        if (!inputMethod->isAvailable())
            continue;
        switch (inputMethod->commit(text)) {
        case ImeCommit::Outcome::Committed:
            qDebug().noquote() << "typing through" << inputMethod->name();
            return true;
        case ImeCommit::Outcome::NoFocusedContext:
            break;
        case ImeCommit::Outcome::Refused:
        case ImeCommit::Outcome::NoAnswer:
            qWarning().noquote() << "input method" << inputMethod->name()
                                 << "did not take the text !";
            break;
        }
    }
    return false;
}
