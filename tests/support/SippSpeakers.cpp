#include "SippSpeakers.h"

#include "SipG711.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>

#include <algorithm>
#include <cmath>

namespace PaTest {

SippSpeakers::SippSpeakers(const QString &workDir)
    : m_devices(workDir)
{
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

::testing::AssertionResult SippSpeakers::registerOne(int switchPort, const Account &account)
{
    const int port = m_devices.signIn(switchPort, account.number, account.password);
    if (port <= 0)
        return ::testing::AssertionFailure() << m_devices.error().toStdString();
    Speaker speaker;
    speaker.number = account.number;
    speaker.sipPort = port;
    m_speakers.push_back(std::move(speaker));
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::answer(Speaker &speaker)
{
    speaker.answering = nullptr;
    speaker.audio = std::make_unique<QUdpSocket>();
    if (!speaker.audio->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return ::testing::AssertionFailure() << "no audio socket";
    speaker.answering = m_devices.answer(speaker.sipPort, speaker.audio->localPort());
    if (!speaker.answering)
        return ::testing::AssertionFailure() << speaker.number.toStdString() << ": "
                                             << m_devices.error().toStdString();
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
    for (const Account &account : accounts) {
        ::testing::AssertionResult done = registerOne(switchPort, account);
        if (done)
            done = answer(m_speakers.back());
        if (!done)
            return done;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::awaitCalls()
{
    for (Speaker &speaker : m_speakers)
        speaker.answering = nullptr;
    for (Speaker &speaker : m_speakers) {
        const ::testing::AssertionResult answering = answer(speaker);
        if (!answering)
            return answering;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SippSpeakers::waitHungUp(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (const Speaker &speaker : m_speakers) {
        QProcess *d = speaker.answering;
        if (!d)
            continue;
        const int left = std::max(0, int(timeoutMs - clock.elapsed()));
        if (!d->waitForFinished(left) && d->state() != QProcess::NotRunning)
            return ::testing::AssertionFailure() << speaker.number.toStdString() << " got no BYE";
        const QByteArray screen = d->readAll();
        if (sippCompletedCalls(screen) != 1)
            return ::testing::AssertionFailure() << speaker.number.toStdString() << " did not complete its call\n"
                                                 << screen.toStdString();
    }
    for (Speaker &speaker : m_speakers)
        speaker.answering = nullptr;
    return ::testing::AssertionSuccess();
}

void SippSpeakers::dropAll()
{
    for (const Speaker &speaker : m_speakers) {
        if (speaker.answering) {
            speaker.answering->kill();
            speaker.answering->waitForFinished(5000);
        }
    }
    m_speakers.clear();
}

} // namespace PaTest
