#pragma once

#include <QString>
#include <QUrl>

#include <atomic>

class QByteArray;
class QNetworkReply;
class QNetworkRequest;

// What the clients of OpenAI-compatible HTTP services (transcription, chat
// completions) have in common: where the endpoint is, and a wait for the reply
// that no server can stretch beyond the configured time-outs.
namespace ServiceClient {

// The endpoint for a configured url: a full URL ending in apiPath (such as
// "audio/transcriptions") as it stands, a base ending in /v1 gets /apiPath, any
// other base /v1/apiPath.
QUrl endpoint(const QString &url, const QString &apiPath);
// Whether the endpoint can be asked at all: a valid http or https URL.
bool isWebUrl(const QUrl &url);
// A request to the endpoint with apiKey (when there is one) as the bearer token;
// a redirect is followed only to the same scheme, host and port.
QNetworkRequest request(const QUrl &endpoint, const QString &apiKey);

// The most of a reply that is read. A transcription or a translation is a few
// kilobytes, an error page some more; a reply past this is no answer of such a
// service (a broken server, a stream that never ends), and reading it on would
// fill the memory until the time-out.
constexpr qint64 maxReplyBytes = 1024 * 1024;

struct Wait
{
    bool finished = false;  // false: a time-out ran out, the caller cancelled or tooLong
    bool connected = false; // the server took the connection (sent headers or accepted data)
    int timedOutMs = 0;     // the time-out that ran out, 0 when none did
    bool tooLong = false;   // the reply was, or said it would be, longer than maxReplyBytes
    QByteArray body;        // what the reply has read, whole when finished; empty when tooLong
};
// Runs a local event loop of the calling thread until the reply has finished, the
// connection was not made within connectTimeoutMs, the whole reply took
// totalTimeoutMs, the reply grew past maxReplyBytes, or *cancelled became true; in
// all but the first case the reply is aborted. The reply is read into the body as it
// comes: read it there, not from the reply. Call it in a worker thread: the loop
// handles that thread's events only.
Wait waitForReply(QNetworkReply *reply, int connectTimeoutMs, int totalTimeoutMs,
                  const std::atomic_bool *cancelled = nullptr);

// The end of a log line for a wait whose time-out ran out: what the server did not do
// within how long, and which key of which section of the settings file to raise.
QString timedOut(const Wait &wait, const QString &section, const QString &settingsFile);

// The "error": {"message": ...} of an OpenAI-style error reply, cut to 200
// characters and made safe for a log line; empty when the body has none.
QString errorMessage(const QByteArray &body);

} // namespace ServiceClient
