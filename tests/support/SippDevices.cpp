#include "SippDevices.h"

#include "TestSupport.h"

#include <QStandardPaths>

namespace PaTest {

namespace {

constexpr int kRunMs = 20000;

} // namespace

SippDevices::SippDevices() = default;

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
    const QString path = m_work.path() + QStringLiteral("/users-%1.csv").arg(++m_files);
    const QByteArray text = QStringLiteral("SEQUENTIAL\n%1;[authentication username=%1 password=%2];%3\n")
                                .arg(number, password)
                                .arg(expires)
                                .toUtf8();
    return writeFile(path, text) ? path : QString();
}

QProcess *SippDevices::start(const QStringList &args, int mediaPort)
{
    auto p = std::make_unique<QProcess>();
    p->setWorkingDirectory(m_work.path());
    p->setProcessChannelMode(QProcess::MergedChannels);
    // sipp's default media port would be shared by every run at once.
    const int media = mediaPort > 0 ? mediaPort : freeSippMediaPort();
    p->start(QStringLiteral("sipp"),
             QStringList{QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-mi"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("-mp"), QString::number(media),
                         QStringLiteral("-nostdin"), QStringLiteral("-timeout"), QStringLiteral("15s"),
                         QStringLiteral("-timeout_error")} +
                 args);
    m_runs.push_back(std::move(p));
    return m_runs.back().get();
}

QProcess *SippDevices::registerAndAnswer(int switchPort, const QString &number, const QString &password,
                                         int rtpPort)
{
    m_error.clear();
    const int sipPort = freeUdpPort();
    const QString users = credentials(number, password);
    if (sipPort <= 0 || users.isEmpty()) {
        m_error = QStringLiteral("no free port or no injection file");
        return nullptr;
    }
    QProcess *reg = start({QStringLiteral("127.0.0.1:%1").arg(switchPort), QStringLiteral("-sf"),
                           scenario(QStringLiteral("register.xml")), QStringLiteral("-inf"), users,
                           QStringLiteral("-p"), QString::number(sipPort), QStringLiteral("-m"), QStringLiteral("1")});
    if (!reg->waitForFinished(kRunMs) || reg->exitStatus() != QProcess::NormalExit || reg->exitCode() != 0) {
        m_error = number + QStringLiteral(" did not sign in: ") + QString::fromLocal8Bit(reg->readAll());
        return nullptr;
    }
    QStringList args{QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")), QStringLiteral("-p"),
                     QString::number(sipPort), QStringLiteral("-m"), QStringLiteral("1")};
    const int media = rtpPort > 0 ? 0 : freeSippMediaPort();
    if (rtpPort <= 0)
        args << QStringLiteral("-rtp_echo");
    args << QStringLiteral("-key") << QStringLiteral("rtpport") << QString::number(rtpPort > 0 ? rtpPort : media);
    QProcess *device = start(args, media);
    // Called only once it holds its port (sipp binds a moment after it starts).
    if (!waitUntilUdpPortHeld(sipPort)) {
        m_error = number + QStringLiteral(" did not take its SIP port: ") + QString::fromLocal8Bit(device->readAll());
        return nullptr;
    }
    return device;
}

} // namespace PaTest
