#pragma once

#include <QString>

// Two dictations typed one after the other into the same place should read as
// if typed by hand: "young man" and "eight of spades" become "young man eight
// of spades", not "young maneight of spades". A dictation that starts with a
// Latin letter or digit gets a blank in front when the text before it ended
// with one, or with sentence punctuation (. , ! ? ; :): the text before the
// cursor where the input method tells it, else the dictation typed there
// last. Chinese, and anything after Chinese or full-width punctuation, gets
// none: Chinese is written without blanks.
bool needsBlankBetween(const QString &before, const QString &next);
