#pragma once

// The forms name the Windows font "微软雅黑"; map it to an installed CJK font.
void installFontSubstitutions();
