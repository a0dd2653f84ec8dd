#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace PaTest {

// The sipp runs of one test that play SIP devices (and callers, and
// upstream servers) against the switch, on loopback, with the scenarios
// kept under tests/ruvidaza/sip. Every run gets its own media ports and
// sipp's own time-out; whatever still runs when this goes is killed.
class SippDevices
{
public:
    SippDevices();
    ~SippDevices();
    SippDevices(const SippDevices &) = delete;
    SippDevices &operator=(const SippDevices &) = delete;

    // True when a sipp binary is on the PATH.
    static bool available();
    // Path of a scenario under tests/ruvidaza/sip.
    static QString scenario(const QString &name);

    // False when the working folder could not be made.
    bool isValid() const { return m_work.isValid(); }
    // The runs' working folder (injection files, media files).
    QString folder() const { return m_work.path(); }
    // An injection file for register.xml and the callers' scenarios:
    // "number;[authentication username=number password=password];expires".
    QString credentials(const QString &number, const QString &password, int expires = 300);

    // Starts sipp on 127.0.0.1 with `args` after the common options; its
    // audio on `mediaPort` (0: a free base sipp alone uses). The caller
    // waits for it.
    QProcess *start(const QStringList &args, int mediaPort = 0);

    // Device `number` signs in on the switch's internal port with
    // `password`, then waits on the same SIP port for one call, which it
    // answers and keeps until the switch's BYE (device_answers.xml). Its
    // answer names `rtpPort` for its audio (a socket of the test's); with
    // 0 it names sipp's own media port and sipp sends back every RTP packet
    // it gets there. Null when the sign-in failed or sipp did not take its
    // port; error() then says why.
    QProcess *registerAndAnswer(int switchPort, const QString &number, const QString &password, int rtpPort = 0);
    QString error() const { return m_error; }

private:
    QTemporaryDir m_work;
    std::vector<std::unique_ptr<QProcess>> m_runs;
    int m_files = 0;
    QString m_error;
};

} // namespace PaTest
