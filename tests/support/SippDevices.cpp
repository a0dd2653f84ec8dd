#include "SippDevices.h"

#include "TestSupport.h"

#include <QStandardPaths>

namespace PaTest {

namespace {

// How long a run with the default time-out is waited for: sipp ends it by
// then.
constexpr int kRunMs = (SippDevices::kRunSeconds + 5) * 1000;

} // namespace

SippDevices::SippDevices(const QString &folder)
{
    if (folder.isEmpty()) {
        m_ownFolder = std::make_unique<QTemporaryDir>();
        if (m_ownFolder->isValid())
            m_folder = m_ownFolder->path();
    } else {
        m_folder = folder;
    }
}

SippDevices::~SippDevices()
{
    for (auto &p : m_runs) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

bool SippDevices::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty();
}

QString SippDevices::scenario(const QString &name)
{
    return sourceDir() + QStringLiteral("/tests/ruvidaza/sip/") + name;
}

QString SippDevices::credentials(const QString &number, const QString &password, int expires)
{
    const QString path = m_folder + QStringLiteral("/users-%1.csv").arg(++m_files);
    const QByteArray text = QStringLiteral("SEQUENTIAL\n%1;[authentication username=%1 password=%2];%3\n")
                                .arg(number, password)
                                .arg(expires)
                                .toUtf8();
    return writeFile(path, text) ? path : QString();
}

int SippDevices::sipPort()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int port = freeUdpPort();
        if (port <= 0)
            break;
        if (m_taken.insert(port).second)
            return port;
    }
    return 0;
}

int SippDevices::mediaPort()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int base = freeSippMediaPort();
        if (base <= 0)
            break;
        bool free = true;
        for (int i = 0; i < 4 && free; ++i)
            free = m_taken.count(base + i) == 0;
        if (!free)
            continue;
        for (int i = 0; i < 4; ++i)
            m_taken.insert(base + i);
        return base;
    }
    return 0;
}

QProcess *SippDevices::start(const QStringList &args, int timeoutSeconds)
{
    return launch(args, mediaPort(), timeoutSeconds);
}

QProcess *SippDevices::launch(const QStringList &args, int mediaPort, int timeoutSeconds)
{
    auto p = std::make_unique<QProcess>();
    p->setWorkingDirectory(m_folder);
    p->setProcessChannelMode(QProcess::MergedChannels);
    // sipp's default media port would be shared by every run at once.
    p->start(QStringLiteral("sipp"),
             QStringList{QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-mi"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("-mp"), QString::number(mediaPort),
                         QStringLiteral("-nostdin"), QStringLiteral("-timeout"),
                         QStringLiteral("%1s").arg(timeoutSeconds), QStringLiteral("-timeout_error")} +
                 args);
    m_runs.push_back(std::move(p));
    return m_runs.back().get();
}

int SippDevices::signIn(int switchPort, const QString &number, const QString &password)
{
    m_error.clear();
    const int port = sipPort();
    const QString users = credentials(number, password);
    if (port <= 0 || users.isEmpty()) {
        m_error = QStringLiteral("no free port or no injection file");
        return 0;
    }
    QByteArray screen;
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess *reg = start({QStringLiteral("127.0.0.1:%1").arg(switchPort), QStringLiteral("-sf"),
                               scenario(QStringLiteral("register.xml")), QStringLiteral("-inf"), users,
                               QStringLiteral("-p"), QString::number(port), QStringLiteral("-m"),
                               QStringLiteral("1")});
        const bool finished = reg->waitForFinished(kRunMs);
        if (!finished) {
            reg->kill();
            reg->waitForFinished(5000);
        }
        screen += reg->readAll();
        if (finished && reg->exitStatus() == QProcess::NormalExit && reg->exitCode() == 0)
            return port;
    }
    m_error = number + QStringLiteral(" did not sign in: ") + QString::fromLocal8Bit(screen);
    return 0;
}

QProcess *SippDevices::answer(int sipPort, int rtpPort)
{
    m_error.clear();
    m_taken.insert(sipPort);
    const int media = mediaPort();
    QStringList args{QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")), QStringLiteral("-p"),
                     QString::number(sipPort), QStringLiteral("-m"), QStringLiteral("1")};
    if (rtpPort <= 0)
        args << QStringLiteral("-rtp_echo");
    args << QStringLiteral("-key") << QStringLiteral("rtpport") << QString::number(rtpPort > 0 ? rtpPort : media);
    QProcess *device = launch(args, media, kRunSeconds);
    // Called only once it holds its port (sipp binds a moment after it starts).
    if (!waitUntilUdpPortHeld(sipPort)) {
        m_error = QStringLiteral("sipp did not take SIP port %1: ").arg(sipPort) +
                  QString::fromLocal8Bit(device->readAll());
        return nullptr;
    }
    return device;
}

QProcess *SippDevices::registerAndAnswer(int switchPort, const QString &number, const QString &password,
                                         int rtpPort)
{
    const int sipPort = signIn(switchPort, number, password);
    if (sipPort <= 0)
        return nullptr;
    QProcess *device = answer(sipPort, rtpPort);
    if (!device)
        m_error = number + QStringLiteral(": ") + m_error;
    return device;
}

} // namespace PaTest
