#pragma once

#include "platform/desktopprogram.h"

#include <QStringList>

// The programs of a kind that Linux desktops ship, the one to prefer first.
const QStringList &desktopProgramNames(DesktopProgram program);
