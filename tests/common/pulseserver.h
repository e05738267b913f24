#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// A private PulseAudio daemon that a test starts, kills and starts again,
// set up as scripts/testenv/with-pulse sets up its own: the default source is
// the monitor of a null sink, kept running by a silent writer. This process
// and the programs it starts reach it through PULSE_SERVER, set here; the
// daemon keeps its runtime files in a folder of its own.
class PulseServer
{
public:
    PulseServer()
    {
        const QString dir = m_runtime.path();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PULSE_RUNTIME_PATH", QFile::encodeName(dir + QStringLiteral("/pulse")));
        qputenv("PULSE_STATE_PATH", QFile::encodeName(dir + QStringLiteral("/state")));
        qputenv("PULSE_COOKIE", QFile::encodeName(dir + QStringLiteral("/cookie")));
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(socketPath()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        m_daemon.setProcessEnvironment(env);
        m_silence.setProcessEnvironment(env);
    }
    ~PulseServer() { kill(); }
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Starts the daemon and waits until it answers (at most 10 s).
    bool start()
    {
        const QString dir = m_runtime.path();
        m_daemon.start(QStringLiteral("pulseaudio"),
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                        "--use-pid-file=no", "--log-target=file:" + dir + "/pulse.log", "-L",
                        "module-native-protocol-unix auth-anonymous=1 socket=" + socketPath(), "-L",
                        "module-null-sink sink_name=ferrule_sink rate=16000 channels=1", "-L",
                        "module-always-sink"});
        if (!m_daemon.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!pactl({"info"})) {
            if (clock.elapsed() > 10000 || m_daemon.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(100);
        }
        if (!pactl({"set-default-sink", "ferrule_sink"}) ||
            !pactl({"set-default-source", "ferrule_sink.monitor"}))
            return false;
        m_silence.start(QStringLiteral("pacat"),
                        {"--playback", "--raw", "--rate=16000", "--channels=1", "--format=s16le",
                         "--latency-msec=20", "/dev/zero"});
        return m_silence.waitForStarted(5000);
    }

    // Kills the daemon at once, as a crash would, and its writer with it.
    void kill()
    {
        for (QProcess *process : {&m_silence, &m_daemon}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->kill();
            process->waitForFinished(5000);
        }
    }

    QString socketPath() const { return m_runtime.path() + QStringLiteral("/pulse/native"); }

private:
    bool pactl(const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(m_daemon.processEnvironment());
        p.start(QStringLiteral("pactl"), args);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QTemporaryDir m_runtime;
    QProcess m_daemon;
    QProcess m_silence;
};
