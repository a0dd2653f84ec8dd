// The program's back end with the switch over real SIP: three SIPp devices
// register with the passwords the program wrote, a zone of them is started
// and stopped through "/action", and each device sees the switch's INVITE,
// RTP and BYE.
#include "HttpTestClient.h"
#include "RDConfigure.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "TestSupport.h"
#include "Velmar.h"
#include "VelmarFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

QString scenario(const QString &name)
{
    return PaTest::sourceDir() + QStringLiteral("/tests/ruvidaza/sip/") + name;
}

// Calls a sipp run completed, from its final statistics screen (a stray
// retransmission arriving after the call can make sipp wait for a second
// call and end with a time-out, which says nothing of the first).
int completedCalls(const QByteArray &screen)
{
    int calls = -1;
    for (const QByteArray &line : screen.split('\n')) {
        if (line.trimmed().startsWith("Successful call")) {
            const QList<QByteArray> cells = line.split('|');
            if (cells.size() >= 3)
                calls = cells[2].trimmed().toInt();
        }
    }
    return calls;
}

class SwitchEndToEnd : public VelmarFixture
{
protected:
    SwitchEndToEnd() { m_rtpFirstPort = 31400; }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
            GTEST_SKIP() << "sipp is not installed";
        m_port = freeLoopbackPort();
        VelmarFixture::SetUp();
    }

    void configure() override
    {
        RDConfigure conf;
        conf.setHttpServerPort(m_port);
        conf.setHttpApiEnable(true);
    }

    void TearDown() override
    {
        for (auto &p : m_sipps) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        VelmarFixture::TearDown();
    }

    QProcess *sipp(const QStringList &args)
    {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(m_work.path());
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral("sipp"), QStringList{QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
                                                     QStringLiteral("-nostdin"), QStringLiteral("-timeout"),
                                                     QStringLiteral("15s"), QStringLiteral("-timeout_error")} +
                                             args);
        m_sipps.push_back(std::move(p));
        return m_sipps.back().get();
    }

    std::string action(const std::string &query)
    {
        HttpTestClient client;
        int status = 0;
        std::string head;
        std::string body;
        EXPECT_TRUE(client.connectTo(m_port));
        EXPECT_TRUE(client.send("GET /action?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        EXPECT_TRUE(client.readResponse(status, head, body, 30000));
        return body;
    }

    QTemporaryDir m_work;
    int m_port = 0;
    std::vector<std::unique_ptr<QProcess>> m_sipps;
};

TEST_F(SwitchEndToEnd, ZoneStartDialsRegisteredDevicesAndStopHangsThemUp)
{
    ASSERT_TRUE(m_work.isValid());
    QStringList ids;
    const QStringList numbers{QStringLiteral("6201"), QStringLiteral("6202"), QStringLiteral("6203")};
    for (const QString &number : numbers) {
        RDDevice d;
        d.name = QStringLiteral("Speaker ") + number;
        d.number = number;
        d.password = QStringLiteral("s3cret") + number;
        const int id = m_velmar->addDevice(d);
        ASSERT_GT(id, 0);
        ids << QString::number(id);
    }
    RDGroup group;
    group.name = QStringLiteral("Hall");
    group.conference = QStringLiteral("3001");
    group.source = QStringLiteral("media");
    group.devices = ids.join(QLatin1Char(';'));
    group.volume = 4;
    group.priority = 3;
    ASSERT_GT(m_velmar->addGroup(group), 0);
    startSwitch();
    if (HasFatalFailure())
        return;

    // Each device registers with the password the program wrote for it,
    // then waits for the switch's call on the same port.
    std::vector<std::unique_ptr<QUdpSocket>> audio;
    std::vector<QProcess *> devices;
    for (const QString &number : numbers) {
        const int port = PaTest::freeUdpPort();
        const QString csv = m_work.path() + QStringLiteral("/%1.csv").arg(number);
        ASSERT_TRUE(PaTest::writeFile(csv, QStringLiteral("SEQUENTIAL\n%1;[authentication username=%1 password=s3cret%1];300\n")
                                               .arg(number)
                                               .toUtf8()));
        QProcess *reg = sipp({QStringLiteral("127.0.0.1:%1").arg(m_internalPort), QStringLiteral("-sf"),
                              scenario(QStringLiteral("register.xml")), QStringLiteral("-inf"), csv,
                              QStringLiteral("-p"), QString::number(port), QStringLiteral("-m"), QStringLiteral("1")});
        ASSERT_TRUE(reg->waitForFinished(20000));
        ASSERT_EQ(reg->exitCode(), 0) << number.toStdString() << reg->readAll().toStdString();
        audio.push_back(std::make_unique<QUdpSocket>());
        ASSERT_TRUE(audio.back()->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        devices.push_back(sipp({QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")),
                                QStringLiteral("-p"), QString::number(port), QStringLiteral("-key"),
                                QStringLiteral("rtpport"), QString::number(audio.back()->localPort()),
                                QStringLiteral("-m"), QStringLiteral("1")}));
        // Called only once it holds its port (sipp binds after it starts).
        ASSERT_TRUE(PaTest::waitUntilUdpPortHeld(port));
    }

    QElapsedTimer sinceStart;
    sinceStart.start();
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    // Every device is called, answers, and hears the conference, within a
    // supervision pass or two.
    for (auto &socket : audio)
        EXPECT_TRUE(socket->waitForReadyRead(15000));
    EXPECT_LT(sinceStart.elapsed(), 5000);

    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    // Each device's scenario ends only with the switch's BYE answered.
    for (QProcess *d : devices) {
        ASSERT_TRUE(d->waitForFinished(25000));
        EXPECT_EQ(completedCalls(d->readAll()), 1);
    }
}

} // namespace
