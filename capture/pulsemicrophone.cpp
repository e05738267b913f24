#include "capture/pulsemicrophone.h"

#include <pulse/pulseaudio.h>

namespace {

// A server that took the connection but does not answer (stopped, swapping)
// holds up the press no longer than this.
constexpr pa_usec_t answerTimeout = 2 * PA_USEC_PER_SEC;
// Blocks of 50 ms: the stop loses at most this much of the utterance's end.
constexpr pa_usec_t blockTime = 50 * 1000;

const pa_sample_spec sampleSpec = {PA_SAMPLE_S16LE, 16000, 1};

} // namespace

PulseMicrophone::~PulseMicrophone()
{
    release();
}

QString PulseMicrophone::lastError() const
{
    return QString::fromUtf8(pa_strerror(m_context ? pa_context_errno(m_context) : PA_ERR_UNKNOWN));
}

// The first failure's reason is the one kept: later ones follow from it.
void PulseMicrophone::markBroken()
{
    if (m_broken)
        return;
    m_brokenReason = lastError();
    m_broken = true;
}

void PulseMicrophone::onContextState(pa_context *context, void *self)
{
    auto *that = static_cast<PulseMicrophone *>(self);
    if (that->m_ready && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        that->markBroken();
    pa_threaded_mainloop_signal(that->m_loop, 0);
}

void PulseMicrophone::onStreamState(pa_stream *stream, void *self)
{
    auto *that = static_cast<PulseMicrophone *>(self);
    if (that->m_ready && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        that->markBroken();
    pa_threaded_mainloop_signal(that->m_loop, 0);
}

void PulseMicrophone::onRead(pa_stream *stream, size_t, void *self)
{
    auto *that = static_cast<PulseMicrophone *>(self);
    while (pa_stream_readable_size(stream) > 0) {
        const void *data = nullptr;
        size_t size = 0;
        if (pa_stream_peek(stream, &data, &size) < 0) {
            that->markBroken();
            return;
        }
        if (size == 0)
            return;
        if (data) // a hole in the stream has no samples to keep
            that->m_sink(static_cast<const char *>(data), size);
        pa_stream_drop(stream);
    }
}

// With the loop locked: until the context or stream is ready, fails, or the
// server has not answered within the bound.
bool PulseMicrophone::waitUntilReady(Awaited what, QString *error)
{
    struct Timeout
    {
        pa_threaded_mainloop *loop;
        bool expired = false;
    } timeout{m_loop};
    pa_time_event *timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + answerTimeout,
        [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
            auto *t = static_cast<Timeout *>(data);
            t->expired = true;
            pa_threaded_mainloop_signal(t->loop, 0);
        },
        &timeout);
    bool ready = false;
    for (;;) {
        bool good;
        if (what == Awaited::Context) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            ready = state == PA_CONTEXT_READY;
            good = PA_CONTEXT_IS_GOOD(state);
        } else {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            ready = state == PA_STREAM_READY;
            good = PA_STREAM_IS_GOOD(state);
        }
        if (ready)
            break;
        if (!good) {
            *error = lastError();
            break;
        }
        if (timeout.expired) {
            *error = QStringLiteral("no answer within %1 s").arg(answerTimeout / PA_USEC_PER_SEC);
            break;
        }
        pa_threaded_mainloop_wait(m_loop);
    }
    if (timer)
        pa_threaded_mainloop_get_api(m_loop)->time_free(timer);
    return ready;
}

bool PulseMicrophone::start(Sink sink, QString *error)
{
    release();
    m_sink = std::move(sink);
    m_broken = false;
    m_brokenReason.clear();
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
        *error = QStringLiteral("the client library could not start its thread");
        release();
        return false;
    }

    pa_threaded_mainloop_lock(m_loop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Ferrule");
    bool ok = m_context != nullptr;
    if (ok) {
        pa_context_set_state_callback(m_context, &PulseMicrophone::onContextState, this);
        // Never start a server of our own: the user's session runs one or none.
        ok = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
        if (!ok)
            *error = lastError();
        else
            ok = waitUntilReady(Awaited::Context, error);
    }
    if (ok) {
        m_stream = pa_stream_new(m_context, "microphone", &sampleSpec, nullptr);
        ok = m_stream != nullptr;
        if (!ok)
            *error = lastError();
    }
    if (ok) {
        pa_stream_set_state_callback(m_stream, &PulseMicrophone::onStreamState, this);
        pa_stream_set_read_callback(m_stream, &PulseMicrophone::onRead, this);
        pa_buffer_attr attr;
        attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(blockTime, &sampleSpec));
        // No device name: the server's default source as it is now.
        ok = pa_stream_connect_record(m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) >= 0;
        if (!ok)
            *error = lastError();
        else
            ok = waitUntilReady(Awaited::Stream, error);
    }
    m_ready = ok;
    pa_threaded_mainloop_unlock(m_loop);
    if (!ok)
        release();
    return ok;
}

bool PulseMicrophone::stop(QString *error)
{
    if (!m_loop)
        return true;
    pa_threaded_mainloop_lock(m_loop);
    // What has arrived but not yet been handed on belongs to the utterance.
    if (!m_broken && m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        onRead(m_stream, 0, this);
    const bool broken = m_broken;
    if (broken)
        *error = m_brokenReason;
    pa_threaded_mainloop_unlock(m_loop);
    release();
    return !broken;
}

void PulseMicrophone::release()
{
    if (!m_loop)
        return;
    pa_threaded_mainloop_lock(m_loop);
    m_ready = false;
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
    m_sink = nullptr;
}
