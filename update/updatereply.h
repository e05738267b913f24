#pragma once

#include <QByteArray>
#include <QString>

// The version this build reports as its own.
constexpr char runningVersion[] = "1.00";

// The version an update server's reply names: the string "version" inside the
// object "data" of a JSON object. A null string when the body is not such a
// document (malformed JSON, no "data", a "version" that is not a string).
QString announcedVersion(const QByteArray &body);

// Versions are compared as plain strings, code unit by code unit, a longer
// string greater than its prefix: "1.01", "10" and "1.00a" are newer than
// "1.00", "1.0" and "0.99" are not.
bool isNewerThanRunning(const QString &version);
