#pragma once

#include "app/datafiles.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Site name (UTF-8 bytes) -> URL prefix. QMap keeps the names in plain byte
// order, which is the order the command interpreter visits them in.
using WebSearchTable = QMap<QByteArray, QByteArray>;

// Adds one entry per line of the file at path. A missing or unreadable file
// leaves the table as it is; nothing is logged. The first line for a name wins.
// Lines that are skipped for want of a URL prefix are named in one log line.
void loadWebSearchTable(WebSearchTable *table, const QString &path = DataFiles::webSearch);

// The same rules applied to the bytes of a whole file. Each line is read as
// UTF-8 where it is valid UTF-8, otherwise as GB18030, so tables written on
// Chinese Windows keep working. Names are stored as UTF-8. Blank lines are
// skipped (an empty name would occur in every sentence), and so are lines whose
// second field is no http:// or https:// URL prefix; their numbers (from 1) are
// returned.
QList<int> parseWebSearchTable(WebSearchTable *table, const QByteArray &bytes);
