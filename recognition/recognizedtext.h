#pragma once

#include <QString>

// Recognized text as it leaves the speech engine. Engines that recognize
// Mandarin word by word (pocketsphinx, some transcription services) put a
// blank between the words, which Chinese writing does not have: a run of
// blanks between two Chinese characters (Han characters or full-width
// punctuation) is taken out. Blanks between Chinese and Latin letters or
// digits, and between Latin words, stay.
QString withoutBlanksBetweenChinese(const QString &text);

// Whether c is written without blanks around it in Chinese: a Han character,
// or punctuation of the CJK and full-width forms (。，、！？：；「」《》（）…).
bool isChineseCharacter(uint c);
