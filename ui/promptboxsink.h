#pragma once

#include "app/promptsink.h"

#include <memory>

// The program's prompts as the user sees them: each text in a prompt box of
// its own for one second (ui/promptbox.h); prompt() returns after that second.
// The box goes with it, so prompts never pile up over a long run.
class PromptBoxSink : public PromptSink
{
public:
    void prompt(const QString &text) override;
};

// What start-up installs with installPromptSink().
std::unique_ptr<PromptSink> promptBoxSink();
