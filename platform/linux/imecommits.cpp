#include "platform/linux/imecommits.h"

#include <QDebug>

ImeCommitResult commitThroughInputMethods(const ImeCommits &inputMethods, const QString &text)
{
    ImeCommitResult result;
    for (const std::unique_ptr<ImeCommit> &inputMethod : inputMethods) {
        if (!inputMethod->isAvailable())
            continue;
        switch (inputMethod->commit(text)) {
        case ImeCommit::Outcome::Committed:
            result.by = inputMethod.get();
            return result;
        case ImeCommit::Outcome::NoFocusedContext:
            break;
        case ImeCommit::Outcome::Refused:
        case ImeCommit::Outcome::NoAnswer:
            qWarning().noquote() << "input method" << inputMethod->name()
                                 << "did not take the text !";
            result.failed = true;
            break;
        }
    }
    return result;
}
