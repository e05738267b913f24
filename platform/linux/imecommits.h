#pragma once

#include "platform/linux/imecommit.h"

#include <QString>

#include <memory>
#include <vector>

using ImeCommits = std::vector<std::unique_ptr<ImeCommit>>;

// Offers text to each running input method in turn until one commits it into
// the input context that has the focus (and says which did); false when none
// did. One that refused the text or did not answer in time committed none of it.
bool commitThroughInputMethods(const ImeCommits &inputMethods, const QString &text);
