#pragma once

#include "platform/linux/imecommit.h"

// Text committed through Ferrule's addon inside fcitx5 (addons/fcitx5), on
// the session bus. Without the addon in the running fcitx5 (not installed,
// or fcitx5 not restarted since) every commit is refused.
class Fcitx5Commit : public ImeCommit
{
public:
    QString name() const override;
    bool isAvailable() override;
    // Waits at most about a second: fcitx5 answers in milliseconds, but may be
    // busy for a good part of a second (loading a dictionary, saving what it
    // learnt); one that takes longer is stuck. A commit fcitx5 reads only
    // after that is dropped by the addon, never made late.
    Outcome commit(const QString &text) override;
    // Asked of the addon, which knows the surrounding text of clients that
    // offer it (Qt, GTK; not XIM). Waits a fifth of a second at most: a
    // dictation typed without the blank is better than one typed late.
    std::optional<QString> textBeforeCursor() override;
};
