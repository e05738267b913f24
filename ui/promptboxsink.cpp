#include "ui/promptboxsink.h"

#include "ui/promptbox.h"

void PromptBoxSink::prompt(const QString &text)
{
    // Without a parent: nothing that goes away during the second can take the box with it.
    PromptBox box;
    box.showPrompt(text);
}

std::unique_ptr<PromptSink> promptBoxSink()
{
    return std::make_unique<PromptBoxSink>();
}
