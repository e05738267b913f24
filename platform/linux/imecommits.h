#pragma once

#include "platform/linux/imecommit.h"

#include <QString>

#include <memory>
#include <vector>

using ImeCommits = std::vector<std::unique_ptr<ImeCommit>>;

// What offering a text to the running input methods came to.
struct ImeCommitResult
{
    // The input method that committed the text, null when none did.
    ImeCommit *by = nullptr;
    // One that serves the focused window (or may: it did not answer) refused
    // the text or did not answer in time. It did not commit any of it.
    bool failed = false;
};

// Offers text to each running input method in turn until one commits it into
// the input context that has the focus.
ImeCommitResult commitThroughInputMethods(const ImeCommits &inputMethods, const QString &text);
