#pragma once

#include "actions/websearchtable.h"

#include <QString>
#include <QWidget>

namespace Ui {
class QuilletIat;
}

// One recognition run of ./record.wav, done whole inside the constructor: log in
// to the speech SDK, upload ./userwords.txt, stream the audio, collect the text,
// hand it to the action of the work mode, log out. The widget is never shown.
class QuilletIat : public QWidget
{
    Q_OBJECT

public:
    explicit QuilletIat(QWidget *parent = nullptr);
    ~QuilletIat() override;

    // Returns 0, the SDK's error code, or -1 when ./userwords.txt cannot be read.
    int uploadUserWords();
    // Streams the file at path with the recognition parameters params and
    // dispatches the text; a null path only ends the session.
    void transcribe(const char *path, const char *params);

    void typeText(const char *utf8);
    void interpretCommand(const char *utf8);
    void loadWebSearchTable();

    // The recognition parameters the settings choose for the next run.
    static const char *sessionParamsFromSettings();
    // Loads the speech model of those parameters in the background, so the
    // first utterance does not wait for it.
    static void preloadSpeechModel();

private:
    // The text of one transcription: a zero-filled buffer of 4096 bytes that
    // takes at most 4095, so it always ends in a NUL.
    static constexpr long resultBufferSize = 4096;
    struct ResultText
    {
        char buffer[resultBufferSize] = {};
        long length = 0;
    };

    // The steps of transcribe; false ends the run without dispatching.
    void recognizeFile(const char *path, const char *params, const char **sessionId);
    bool sendAudio(const char *sessionId, const char *audio, long length, ResultText *text,
                   int *recogStatus);
    bool awaitResult(const char *sessionId, ResultText *text, int recogStatus);
    bool fetchResult(const char *sessionId, ResultText *text, int *recogStatus);
    void dispatch(const char *text);

    // Remembers the SDK's few words for a failed call (model missing, server
    // unreachable ...), or another prompt for the user, shown once the run has
    // ended; the first failure counts.
    void noteFailure(int errorCode);
    void notePrompt(const QString &prompt);

    Ui::QuilletIat *ui;
    WebSearchTable webSearchTable;
    qint32 lastError;
    const char *loginParams;
    const char *sessionParams;
    QString failurePrompt;
    int failureCode = 0; // the SDK's code of the first failure, 0 when none or another kind
};
