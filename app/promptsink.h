#pragma once

#include <QString>

#include <memory>

// Where the logic tells the user something in passing ("请说口令！", the
// sentence a command understood, a device coming or going). The logic only
// names the text; the desktop's prompt box (ui/promptboxsink.h) shows it, so
// actions, capture, recognition and devices need no widgets of their own.
class PromptSink
{
public:
    virtual ~PromptSink() = default;

    // Tells the user text and returns when that is done. The prompt box takes
    // its second in a local event loop: anything may happen before this
    // returns, and callers check what they rely on afterwards.
    virtual void prompt(const QString &text) = 0;
};

// Tells the user text through the installed sink. Until start-up installs
// one, nothing is shown: code run without a desktop tells nobody.
void showPrompt(const QString &text);

// Makes showPrompt() go to sink from now on and hands back the one it
// replaces. Start-up installs the prompt box before anything is told.
std::unique_ptr<PromptSink> installPromptSink(std::unique_ptr<PromptSink> sink);
