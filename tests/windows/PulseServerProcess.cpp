#include "PulseServerProcess.h"

#include "PlatformPulseConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

PulseServerProcess::PulseServerProcess(const QString &sinkName, const QString &sinkDescription)
    : m_sink(sinkName), m_description(sinkDescription)
{
    m_hadPreviousServer = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_previousServer = qgetenv("PULSE_SERVER");
}

PulseServerProcess::~PulseServerProcess()
{
    kill();
    if (m_hadPreviousServer)
        qputenv("PULSE_SERVER", m_previousServer);
    else
        qunsetenv("PULSE_SERVER");
}

bool PulseServerProcess::start(int timeoutMs)
{
    if (!m_dir.isValid()) {
        m_error = "no temporary folder for the sound server";
        return false;
    }
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString socket = m_dir.filePath("native");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", m_dir.path());
    env.insert("XDG_RUNTIME_DIR", m_dir.path());
    env.insert("PULSE_RUNTIME_PATH", m_dir.filePath("run"));
    env.insert("PULSE_STATE_PATH", m_dir.filePath("state"));
    env.remove("PULSE_SERVER");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start("pulseaudio",
                    {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--system=false",
                     "--log-target=stderr", "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                     "-L",
                     "module-null-sink sink_name=" + m_sink + " sink_properties=device.description=" + m_description});
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = "pulseaudio could not be started: " + m_process.errorString();
        return false;
    }
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());

    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            m_error = "pulseaudio ended at start: " + QString::fromLocal8Bit(m_process.readAll());
            return false;
        }
        if (QFile::exists(socket)) {
            PlatformPulseConnection probe;
            if (probe.connect(int(std::max<qint64>(deadline.remainingTime(), 1))))
                return true;
        }
        // The server makes its socket within milliseconds of starting.
        m_process.waitForReadyRead(50);
    }
    m_error = "pulseaudio did not take clients in time: " + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

void PulseServerProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}
