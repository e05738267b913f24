#pragma once

#include <QString>

// Whether a D-Bus server at address (a unix socket, by path or abstract name)
// takes a connection and answers the first step of the handshake within
// timeoutMs. Connecting with QtDBus blocks with no bound while the server is
// stopped or hung; this tells first. Addresses of other kinds are assumed to
// answer.
bool busAnswers(const QString &address, int timeoutMs);
