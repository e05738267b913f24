#include "recognition/serviceclient.h"

#include "app/logsafe.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
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

QNetworkRequest request(const QUrl &endpoint, const QString &apiKey)
{
    QNetworkRequest request(endpoint);
    if (!apiKey.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    // The key goes with every request, a redirected one too: it may only go on
    // to the same scheme, host and port.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

namespace {
// One loop waits for the reply, the time-outs and a cancelled caller alike.
class ReplyWaiter
{
public:
    ReplyWaiter(QNetworkReply *reply, int connectTimeoutMs, int totalTimeoutMs,
                const std::atomic_bool *cancelled)
        : m_reply(reply), m_connectTimeoutMs(connectTimeoutMs), m_totalTimeoutMs(totalTimeoutMs),
          m_cancelled(cancelled)
    {
    }
    Wait run();

private:
    void limitReadBuffer();
    void headersCame();
    void readSome();
    void tick();

    QNetworkReply *const m_reply;
    const int m_connectTimeoutMs;
    const int m_totalTimeoutMs;
    const std::atomic_bool *const m_cancelled;
    Wait m_wait;
    QEventLoop m_loop;
    QElapsedTimer m_elapsed;
};

Wait ReplyWaiter::run()
{
    m_elapsed.start();
    QTimer ticker;
    ticker.setInterval(20);
    QObject::connect(m_reply, &QNetworkReply::finished, &m_loop, &QEventLoop::quit);
    QObject::connect(m_reply, &QNetworkReply::uploadProgress, &m_loop, [this](qint64 sent, qint64) {
        m_wait.connected = m_wait.connected || sent > 0;
    });
    QObject::connect(m_reply, &QNetworkReply::metaDataChanged, &m_loop, [this] { headersCame(); });
    QObject::connect(m_reply, &QNetworkReply::readyRead, &m_loop, [this] { readSome(); });
    QObject::connect(&ticker, &QTimer::timeout, &m_loop, [this] { tick(); });
    ticker.start();
    QMetaObject::invokeMethod(&m_loop, [this] { limitReadBuffer(); }, Qt::QueuedConnection);
    if (!m_reply->isFinished())
        m_loop.exec();
    ticker.stop();
    if (!m_wait.tooLong)
        m_wait.body += m_reply->read(maxReplyBytes + 1 - m_wait.body.size());
    m_wait.tooLong = m_wait.tooLong || m_wait.body.size() > maxReplyBytes;
    m_wait.finished = m_reply->isFinished() && !m_wait.tooLong;
    if (!m_reply->isFinished())
        m_reply->abort();
    if (m_wait.tooLong)
        m_wait.body = QByteArray();
    return m_wait;
}

// The reply is read as it comes, into a body that stops at the bound. The network
// thread holds only a little at a time for us to take, so a long reply cannot pile
// up faster than this loop takes it. It hears of the limit only once it has the
// request in hand. The request reaches it when this thread's loop first runs,
// through a call queued before the one in run(), so that limit follows it there
// before any byte of the reply can come; the limit is told again with the headers,
// for a request that had to wait longer. Asked only once the request was sent, a
// busy machine let a localhost server pile up 60 MB first.
void ReplyWaiter::limitReadBuffer()
{
    m_reply->setReadBufferSize(64 * 1024);
}

void ReplyWaiter::headersCame()
{
    m_wait.connected = true;
    limitReadBuffer();
    if (m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxReplyBytes) {
        m_wait.tooLong = true;
        m_loop.quit();
    }
}

void ReplyWaiter::readSome()
{
    if (m_wait.tooLong)
        return;
    m_wait.body += m_reply->read(maxReplyBytes + 1 - m_wait.body.size());
    if (m_wait.body.size() > maxReplyBytes) {
        m_wait.tooLong = true;
        m_loop.quit();
    }
}

void ReplyWaiter::tick()
{
    if (m_cancelled && *m_cancelled) {
        m_loop.quit();
    } else if (!m_wait.connected && m_elapsed.elapsed() >= m_connectTimeoutMs) {
        m_wait.timedOutMs = m_connectTimeoutMs;
        m_loop.quit();
    } else if (m_elapsed.elapsed() >= m_totalTimeoutMs) {
        m_wait.timedOutMs = m_totalTimeoutMs;
        m_loop.quit();
    }
}
} // namespace

Wait waitForReply(QNetworkReply *reply, int connectTimeoutMs, int totalTimeoutMs,
                  const std::atomic_bool *cancelled)
{
    return ReplyWaiter(reply, connectTimeoutMs, totalTimeoutMs, cancelled).run();
}

QString timedOut(const Wait &wait, const QString &section, const QString &settingsFile)
{
    return QStringLiteral("did not %1 within %2 s: check that it runs, or raise %3 in [%4] of %5")
        .arg(wait.connected ? QStringLiteral("answer") : QStringLiteral("accept the connection"),
             QString::number(wait.timedOutMs / 1000.0, 'g', 3),
             wait.connected ? QStringLiteral("timeout") : QStringLiteral("connect_timeout"),
             section, settingsFile);
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
