#include "recognition/serviceclient.h"

#include "app/logsafe.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTimer>

namespace ServiceClient {

QUrl endpoint(const QString &url, const QString &apiPath)
{
    QUrl result(url.trimmed());
    QString path = result.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path.endsWith(QLatin1Char('/') + apiPath))
        return result;
    if (path.endsWith(QLatin1String("/v1")))
        result.setPath(path + QLatin1Char('/') + apiPath);
    else
        result.setPath(path + QStringLiteral("/v1/") + apiPath);
    return result;
}

bool isWebUrl(const QUrl &url)
{
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

Wait waitForReply(QNetworkReply *reply, int connectTimeoutMs, int totalTimeoutMs,
                  const std::atomic_bool *cancelled)
{
    // One loop waits for the reply, the time-outs and a cancelled caller alike.
    Wait wait;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The reply is read as it comes, into a body that stops at the bound. The
    // network layer holds a little at a time for us to take (set once the request
    // is on its way: before, it is not there yet to hear of it), so it cannot pile
    // up a long reply faster than this loop takes it.
    bool limited = false;
    const auto limitReadBuffer = [&limited, reply] {
        if (!limited)
            reply->setReadBufferSize(64 * 1024);
        limited = true;
    };
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, [&](qint64 sent, qint64) {
        wait.connected = wait.connected || sent > 0;
        limitReadBuffer();
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        wait.connected = true;
        limitReadBuffer();
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxReplyBytes) {
            wait.tooLong = true;
            loop.quit();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (wait.tooLong)
            return;
        wait.body += reply->read(maxReplyBytes + 1 - wait.body.size());
        if (wait.body.size() > maxReplyBytes) {
            wait.tooLong = true;
            loop.quit();
        }
    });
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (cancelled && *cancelled) {
            loop.quit();
        } else if (!wait.connected && elapsed.elapsed() >= connectTimeoutMs) {
            wait.timedOutMs = connectTimeoutMs;
            loop.quit();
        } else if (elapsed.elapsed() >= totalTimeoutMs) {
            wait.timedOutMs = totalTimeoutMs;
            loop.quit();
        }
    });
    tick.start();
    if (!reply->isFinished())
        loop.exec();
    tick.stop();
    if (!wait.tooLong)
        wait.body += reply->read(maxReplyBytes + 1 - wait.body.size());
    wait.tooLong = wait.tooLong || wait.body.size() > maxReplyBytes;
    wait.finished = reply->isFinished() && !wait.tooLong;
    if (!reply->isFinished())
        reply->abort();
    if (wait.tooLong)
        wait.body = QByteArray();
    return wait;
}

QString errorMessage(const QByteArray &body)
{
    return logSafe(QJsonDocument::fromJson(body)
                       .object()
                       .value(QStringLiteral("error"))
                       .toObject()
                       .value(QStringLiteral("message"))
                       .toString()
                       .left(200));
}

} // namespace ServiceClient
