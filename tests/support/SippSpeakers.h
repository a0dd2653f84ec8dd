#pragma once

#include "SippDevices.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace PaTest {

// SIP speakers played by SIPp against the switch's internal port: each
// registers with its account, then answers the switch's call on the same
// port with its audio sent to a socket of the test, and waits for the BYE.
// The runs are those of a SippDevices: every sipp it starts it also ends.
// sipp runs in `workDir`.
class SippSpeakers
{
public:
    struct Account
    {
        QString number;
        QString password;
    };

    explicit SippSpeakers(const QString &workDir);
    SippSpeakers(const SippSpeakers &) = delete;
    SippSpeakers &operator=(const SippSpeakers &) = delete;

    // The audio of one G.711 RTP packet (PCMU or PCMA by its payload type);
    // empty for anything else.
    static std::vector<double> g711Audio(const QByteArray &packet);
    // `ms` of the 8 kHz audio arriving on `socket` from `skipMs` after the
    // first sound (a conference is silent until its source starts); what
    // came by when `timeoutMs` has passed, empty when no more than the skip.
    static std::vector<double> receivedAudio(QUdpSocket &socket, int skipMs, int ms, int timeoutMs = 15000);

    // Starts sipp on loopback with a 15 s time-out and the given arguments
    // (SippDevices::start).
    QProcess *sipp(const QStringList &args) { return m_devices.start(args); }

    // Each account registers at 127.0.0.1:`switchPort` (SippDevices::signIn:
    // a refused attempt is tried again, twice at most) and is then ready for
    // calls (awaitCalls).
    ::testing::AssertionResult registerAll(int switchPort, const std::vector<Account> &accounts);
    // Each account registers and at once waits for one call as awaitCalls
    // does, before the next registers: a running zone calls a speaker as
    // soon as it is registered.
    ::testing::AssertionResult registerAndAnswer(int switchPort, const std::vector<Account> &accounts);
    // Every registered speaker waits for one call, its audio going to a
    // fresh socket (audio(i)); returns once each sipp holds its port.
    ::testing::AssertionResult awaitCalls();
    // Waits for every waiting speaker to end its call with the switch's BYE
    // answered.
    ::testing::AssertionResult waitHungUp(int timeoutMs = 25000);
    // Ends the waiting speakers without a call and forgets every
    // registration (a switch that went away forgot them too).
    void dropAll();

    // The registered speakers, in the order they registered.
    int count() const { return int(m_speakers.size()); }
    // Speaker `i`'s audio socket of its latest call (unbound before its
    // first wait for a call).
    QUdpSocket &audio(int i) { return *m_speakers.at(size_t(i)).audio; }

private:
    struct Speaker
    {
        QString number;
        int sipPort = 0;
        std::unique_ptr<QUdpSocket> audio = std::make_unique<QUdpSocket>();
        // Its run waiting for a call, null when none waits.
        QProcess *answering = nullptr;
    };

    ::testing::AssertionResult registerOne(int switchPort, const Account &account);
    // `speaker` waits for one call with a fresh audio socket.
    ::testing::AssertionResult answer(Speaker &speaker);

    SippDevices m_devices;
    std::vector<Speaker> m_speakers;
};

} // namespace PaTest
