#pragma once

#include "recognition/speechconfig.h"

#include <QString>

// The three parts of a pocketsphinx model, found by their names in a folder the
// user picked: the acoustic model folder (it holds "mdef" and "means"), the
// language model (*.lm.bin, *.lm.dmp, *.lm, *.arpa; not a phone model) and the
// dictionary (*.dict, *.dic). Looked for in the folder and two levels below it. A
// part with no candidate, or with two that its name cannot tell apart, stays
// empty for the user to pick by hand.
SpeechModelPaths findModelParts(const QString &folder);
