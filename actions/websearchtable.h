#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Site name (UTF-8 bytes) -> URL prefix. QMap keeps the names in plain byte
// order, which is the order the command interpreter visits them in.
using WebSearchTable = QMap<QByteArray, QByteArray>;

// Adds one entry per line of the file at path. A missing or unreadable file
// leaves the table as it is; nothing is logged. The first line for a name wins.
void loadWebSearchTable(WebSearchTable *table,
                        const QString &path = QStringLiteral("./websearch.txt"));

// The same rules applied to the bytes of a whole file. The bytes are read as
// UTF-8; bytes that are not valid UTF-8 are read as GB18030, so tables written
// on Chinese Windows keep working. Names are stored as UTF-8. Lines without a
// site name are skipped: an empty name would occur in every sentence.
void parseWebSearchTable(WebSearchTable *table, const QByteArray &bytes);
