#include "recognition/remoteengine.h"

#include "app/logsafe.h"
#include "recognition/serviceclient.h"
#include "recognition/speecherror.h"

#include <QDebug>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
QHttpPart textPart(const char *name, const QByteArray &value)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"%1\"").arg(QLatin1String(name)));
    part.setBody(value);
    return part;
}

void appendLittleEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// The form of a transcription request: the audio, and the model, language code and user
// words where there are any.
QHttpMultiPart *transcriptionForm(const QByteArray &wav, const QString &model,
                                  const QString &languageCode, const QStringList &userWords)
{
    auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\"; filename=\"record.wav\""));
    file.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("audio/wav"));
    file.setBody(wav);
    form->append(file);
    if (!model.isEmpty())
        form->append(textPart("model", model.toUtf8()));
    if (!languageCode.isEmpty())
        form->append(textPart("language", languageCode.toUtf8()));
    if (!userWords.isEmpty())
        form->append(textPart("prompt", userWords.join(QStringLiteral(", ")).toUtf8()));
    form->append(textPart("response_format", "json"));
    return form;
}

// A reply too long, or none within the time-outs: the error code, after the log line.
int waitFailure(const ServiceClient::Wait &wait, const QString &where, bool cancelled)
{
    if (wait.tooLong) {
        qWarning().noquote()
            << QStringLiteral("speech: the reply of the speech server at %1 is longer than "
                              "%2 bytes, far more than a transcription; reading stopped. Is "
                              "url the transcription endpoint of an OpenAI-compatible server?")
                   .arg(where)
                   .arg(ServiceClient::maxReplyBytes);
        return SpeechError::BadReply;
    }
    if (wait.finished)
        return 0;
    if (cancelled)
        return SpeechError::ServerTimeout;
    qWarning().noquote() << QStringLiteral("speech: the speech server at %1 %2")
                                .arg(where, ServiceClient::timedOut(wait, QStringLiteral("remote"),
                                                                    QStringLiteral("speech.ini")));
    return SpeechError::ServerTimeout;
}

// A redirect not followed, no connection, or an HTTP error: the error code, after the
// log line.
int statusFailure(const QNetworkReply &reply, const QByteArray &body, const QString &where)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400) {
        // Only a redirect to another origin comes back here (or one too many).
        const QUrl target = reply.url().resolved(QUrl::fromEncoded(reply.rawHeader("Location")));
        qWarning().noquote() << QStringLiteral(
                                    "speech: the speech server at %1 redirected the request with "
                                    "HTTP %2 to %3, which was not followed: the api_key goes to "
                                    "no other server; put the right address in url in [remote] "
                                    "of speech.ini")
                                    .arg(where)
                                    .arg(status)
                                    .arg(logSafe(target.toString(QUrl::RemoveUserInfo)));
        return SpeechError::ServerRejected;
    }
    if (status == 0 && reply.error() != QNetworkReply::NoError) {
        qWarning().noquote() << QStringLiteral(
                                    "speech: cannot reach the speech server at %1: %2; check url "
                                    "in [remote] of speech.ini and that the server runs")
                                    .arg(where, logSafe(reply.errorString()));
        return SpeechError::ServerUnreachable;
    }
    if (status < 300)
        return 0;
    const QString message = ServiceClient::errorMessage(body);
    qWarning().noquote() << QStringLiteral(
                                "speech: the speech server at %1 refused the request with HTTP "
                                "%2%3; check model and api_key in [remote] of speech.ini")
                                .arg(where)
                                .arg(status)
                                .arg(message.isEmpty() ? QString()
                                                       : QStringLiteral(" (%1)").arg(message));
    return SpeechError::ServerRejected;
}

int readTranscription(const QByteArray &body, const QString &where, QByteArray *text)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(body, &parseError);
    const QJsonValue value = json.object().value(QStringLiteral("text"));
    if (parseError.error != QJsonParseError::NoError || !json.isObject() || !value.isString()) {
        qWarning().noquote()
            << QStringLiteral("speech: the reply of the speech server at %1 is not JSON with a "
                              "\"text\" string (%2 bytes, starting %3); is url the transcription "
                              "endpoint of an OpenAI-compatible server?")
                   .arg(where)
                   .arg(body.size())
                   .arg(logSafe(body.left(60)));
        return SpeechError::BadReply;
    }
    *text = value.toString().trimmed().toUtf8();
    return 0;
}
} // namespace

RemoteEngine::RemoteEngine(const SpeechConfig &config)
    : m_config(config), m_endpoint(endpoint(config.url))
{
}

RemoteEngine::~RemoteEngine() = default;

QUrl RemoteEngine::endpoint(const QString &url)
{
    return ServiceClient::endpoint(url, QStringLiteral("audio/transcriptions"));
}

QByteArray RemoteEngine::wavFile(const QByteArray &pcm)
{
    QByteArray wav("RIFF");
    wav.reserve(44 + pcm.size());
    appendLittleEndian(wav, quint32(36 + pcm.size()), 4);
    wav.append("WAVEfmt ");
    appendLittleEndian(wav, 16, 4);    // size of the format chunk
    appendLittleEndian(wav, 1, 2);     // PCM
    appendLittleEndian(wav, 1, 2);     // mono
    appendLittleEndian(wav, 16000, 4); // samples per second
    appendLittleEndian(wav, 32000, 4); // bytes per second
    appendLittleEndian(wav, 2, 2);     // bytes per frame
    appendLittleEndian(wav, 16, 2);    // bits per sample
    wav.append("data");
    appendLittleEndian(wav, quint32(pcm.size()), 4);
    return wav + pcm;
}

int RemoteEngine::checkLanguage(const QString &) const
{
    if (!ServiceClient::isWebUrl(m_endpoint)) {
        qWarning().noquote() << QStringLiteral(
                                    "speech: url in [remote] of %1 is not an http or https URL")
                                    .arg(m_config.path);
        return SpeechError::BadSettings;
    }
    return 0;
}

int RemoteEngine::prepare(const QString &language)
{
    return checkLanguage(language);
}

int RemoteEngine::transcribe(const QString &language, const QByteArray &pcm,
                             const QStringList &userWords, const std::atomic_bool &cancelled,
                             QByteArray *text)
{
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    QHttpMultiPart *form = transcriptionForm(wavFile(pcm), m_config.model,
                                             m_config.remoteLanguages.value(language), userWords);
    std::unique_ptr<QNetworkReply> reply(
        m_network->post(ServiceClient::request(m_endpoint, m_config.apiKey), form));
    form->setParent(reply.get());

    const ServiceClient::Wait wait = ServiceClient::waitForReply(
        reply.get(), m_config.connectTimeoutMs, m_config.requestTimeoutMs, &cancelled);
    const QString where = m_endpoint.toString(QUrl::RemoveUserInfo);
    int failure = waitFailure(wait, where, cancelled);
    if (failure == 0)
        failure = statusFailure(*reply, wait.body, where);
    if (failure == 0)
        failure = readTranscription(wait.body, where, text);
    return failure;
}
