#include "SippSpeakers.h"

#include "SipG711.h"
#include "SippDevices.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>

#include <algorithm>
#include <cmath>

namespace PaTest {

SippSpeakers::SippSpeakers(const QString &workDir)
    : m_workDir(workDir)
{
}

SippSpeakers::~SippSpeakers()
{
    for (auto &p : m_sipps) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
}

std::vector<double> SippSpeakers::g711Audio(const QByteArray &packet)
{
    std::vector<double> out;
    if (packet.size() < 12 || (quint8(packet[0]) >> 6) != 2)
        return out;
    int offset = 12 + 4 * (quint8(packet[0]) & 0x0f);
    if (quint8(packet[0]) & 0x10) {
        if (packet.size() < offset + 4)
            return out;
        offset += 4 + 4 * ((quint8(packet[offset + 2]) << 8) | quint8(packet[offset + 3]));
    }
    const int type = quint8(packet[1]) & 0x7f;
    if (type != 0 && type != 8)
        return out;
    for (int i = offset; i < packet.size(); ++i) {
        const quint8 code = quint8(packet[i]);
        out.push_back(type == 0 ? SipG711::ulawToLinear(code) : SipG711::alawToLinear(code));
    }
    return out;
}

std::vector<double> SippSpeakers::receivedAudio(QUdpSocket &socket, int skipMs, int ms, int timeoutMs)
{
    std::vector<double> audio;
    const size_t skip = size_t(skipMs) * 8;
    const size_t wanted = skip + size_t(ms) * 8;
    QElapsedTimer clock;
    clock.start();
    while (audio.size() < wanted && clock.elapsed() < timeoutMs) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(int(timeoutMs - clock.elapsed())))
            break;
        while (socket.hasPendingDatagrams()) {
            const std::vector<double> frame = g711Audio(socket.receiveDatagram().data());
            auto from = frame.begin();
            if (audio.empty())
                from = std::find_if(frame.begin(), frame.end(), [](double v) { return std::abs(v) > 500; });
            audio.insert(audio.end(), from, frame.end());
        }
    }
    if (audio.size() <= skip)
        return {};
    return std::vector<double>(audio.begin() + long(skip), audio.end());
}

QProcess *SippSpeakers::sipp(const QStringList &args)
{
    auto p = std::make_unique<QProcess>();
    p->setWorkingDirectory(m_workDir);
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->start(QStringLiteral("sipp"), QStringList{QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                                                 QStringLiteral("-nostdin"), QStringLiteral("-timeout"),
                                                 QStringLiteral("15s"), QStringLiteral("-timeout_error")} +
                                         args);
    m_sipps.push_back(std::move(p));
    return m_sipps.back().get();
}

::testing::AssertionResult SippSpeakers::registerOne(int switchPort, const Account &account)
{
    const int port = freeUdpPort();
    const QString csv = m_workDir + QStringLiteral("/%1.csv").arg(account.number);
    if (!writeFile(csv, QStringLiteral("SEQUENTIAL\n%1;[authentication username=%1 password=%2];300\n")
                            .arg(account.number, account.password)
                            .toUtf8()))
        return ::testing::AssertionFailure() << "cannot write " << csv.toStdString();
    // A busy switch may answer a retransmitted REGISTER twice, and the
    // stray answer ends sipp's run: like a real device, it tries again.
    QByteArray screen;
    bool registered = false;
    for (int attempt = 0; attempt < 3 && !registered; ++attempt) {
        QProcess *reg = sipp({QStringLiteral("127.0.0.1:%1").arg(switchPort), QStringLiteral("-sf"),
                              SippDevices::scenario(QStringLiteral("register.xml")), QStringLiteral("-inf"), csv,
                              QStringLiteral("-p"), QString::number(port), QStringLiteral("-m"), QStringLiteral("1")});
        registered = reg->waitForFinished(20000) && reg->exitCode() == 0;
        screen += reg->readAll();
    }
    if (!registered)
        return ::testing::AssertionFailure() << account.number.toStdString() << " did not register\n"
                                             << screen.toStdString();
    m_ports.push_back(port);
    m_numbers.push_back(account.number);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::answerOn(size_t index)
{
    const int port = m_ports[index];
    m_audio.push_back(std::make_unique<QUdpSocket>());
    if (!m_audio.back()->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return ::testing::AssertionFailure() << "no audio socket";
    m_answering.push_back(sipp({QStringLiteral("-sf"), SippDevices::scenario(QStringLiteral("device_answers.xml")),
                                QStringLiteral("-p"), QString::number(port), QStringLiteral("-key"),
                                QStringLiteral("rtpport"), QString::number(m_audio.back()->localPort()),
                                QStringLiteral("-m"), QStringLiteral("1")}));
    // Called only once it holds its port (sipp binds after it starts).
    if (!waitUntilUdpPortHeld(port))
        return ::testing::AssertionFailure() << "sipp did not take port " << port << "\n"
                                             << m_answering.back()->readAll().toStdString();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::registerAll(int switchPort, const std::vector<Account> &accounts)
{
    for (const Account &account : accounts) {
        const ::testing::AssertionResult registered = registerOne(switchPort, account);
        if (!registered)
            return registered;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::registerAndAnswer(int switchPort, const std::vector<Account> &accounts)
{
    m_audio.clear();
    m_answering.clear();
    for (const Account &account : accounts) {
        ::testing::AssertionResult done = registerOne(switchPort, account);
        if (done)
            done = answerOn(m_ports.size() - 1);
        if (!done)
            return done;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::awaitCalls()
{
    m_audio.clear();
    m_answering.clear();
    for (size_t i = 0; i < m_ports.size(); ++i) {
        const ::testing::AssertionResult answering = answerOn(i);
        if (!answering)
            return answering;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::waitHungUp(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (size_t i = 0; i < m_answering.size(); ++i) {
        QProcess *d = m_answering[i];
        const int left = std::max(0, int(timeoutMs - clock.elapsed()));
        if (!d->waitForFinished(left) && d->state() != QProcess::NotRunning)
            return ::testing::AssertionFailure() << m_numbers[i].toStdString() << " got no BYE";
        const QByteArray screen = d->readAll();
        if (sippCompletedCalls(screen) != 1)
            return ::testing::AssertionFailure() << m_numbers[i].toStdString() << " did not complete its call\n"
                                                 << screen.toStdString();
    }
    m_answering.clear();
    return ::testing::AssertionSuccess();
}

void SippSpeakers::dropAll()
{
    for (QProcess *d : m_answering) {
        d->kill();
        d->waitForFinished(5000);
    }
    m_answering.clear();
    m_audio.clear();
    m_ports.clear();
    m_numbers.clear();
}

} // namespace PaTest
