#include "app/promptsink.h"

namespace {

// Lives for the whole run, like the desktop that shows the prompts.
std::unique_ptr<PromptSink> &installed()
{
    static std::unique_ptr<PromptSink> sink;
    return sink;
}

} // namespace

void showPrompt(const QString &text)
{
    if (installed())
        installed()->prompt(text);
}

std::unique_ptr<PromptSink> installPromptSink(std::unique_ptr<PromptSink> sink)
{
    std::swap(installed(), sink);
    return sink;
}
