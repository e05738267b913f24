#pragma once

#include <QString>

#include <atomic>
#include <functional>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The default source of the PulseAudio server (PipeWire's pulse server too),
// recorded as 16 kHz mono signed 16-bit. Each capture connects afresh, so it
// finds the server and its default source as they are now: a server that was
// restarted, or only came up after Ferrule, is simply there at the next press.
// (Qt's audio input keeps one connection for the whole run and stops trying
// again when the server is away for more than a few seconds.)
class PulseMicrophone
{
public:
    // Called on the client library's own thread with every block that arrives.
    using Sink = std::function<void(const char *data, size_t size)>;

    PulseMicrophone() = default;
    ~PulseMicrophone();
    PulseMicrophone(const PulseMicrophone &) = delete;
    PulseMicrophone &operator=(const PulseMicrophone &) = delete;

    // Connects and starts recording into sink. False, with the reason in
    // *error, when no server answers or its source cannot be recorded; every
    // wait is bounded, so a hung server cannot hold up a press.
    bool start(Sink sink, QString *error);
    // Ends the capture; after it, sink is not called any more. False, with the
    // reason in *error, when the server went away or the stream broke off
    // while recording: what was captured is then not the whole utterance.
    bool stop(QString *error);

private:
    enum class Awaited
    {
        Context,
        Stream
    };
    bool waitUntilReady(Awaited what, QString *error);
    void release();
    QString lastError() const;
    // With the loop locked: notes that the capture broke off, and why.
    void markBroken();

    static void onContextState(pa_context *context, void *self);
    static void onStreamState(pa_stream *stream, void *self);
    static void onRead(pa_stream *stream, size_t length, void *self);

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    Sink m_sink;
    bool m_ready = false;
    std::atomic_bool m_broken{false};
    QString m_brokenReason; // written on the library's thread under its lock
};
