#pragma once

#include <QString>

// The text without its punctuation, for "去除标点" (RemovePunctuation=1): the
// marks of both alphabets go (，。！？、；：“”‘’《》（）…— as well as . , ! ? ; : " ' ( ) -),
// letters, digits, blanks and symbols (+ = < > $ ￥ % @ # & * / \ _ ~ ^ |) stay.
// What holds a word, a name or a number together stays too: the comma and
// colon of 1,000 and 12:30 between two digits, the dot of 3.5 and example.org
// between two Latin letters or digits, the apostrophe of don't between two letters.
QString removePunctuation(const QString &text);
