#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <set>
#include <vector>

namespace PaTest {

// The sipp runs of one test (or benchmark) that play SIP devices (and
// callers, and upstream servers) against the switch, on loopback, with the
// scenarios kept under tests/ruvidaza/sip. Every run gets media ports of its
// own and sipp's own time-out; whatever still runs when this goes is killed.
// No run is given a port another run of this object was given: a SIP port
// devices registered from stays theirs while no process holds it (between
// the registering and the answering run).
class SippDevices
{
public:
    // The runs' working folder is `folder`, or a temporary one of its own
    // when empty.
    explicit SippDevices(const QString &folder = QString());
    ~SippDevices();
    SippDevices(const SippDevices &) = delete;
    SippDevices &operator=(const SippDevices &) = delete;

    // sipp's time-out of a run unless the caller names another.
    static constexpr int kRunSeconds = 15;

    // True when a sipp binary is on the PATH.
    static bool available();
    // Path of a scenario under tests/ruvidaza/sip.
    static QString scenario(const QString &name);

    // False when the working folder could not be made.
    bool isValid() const { return !m_folder.isEmpty(); }
    // The runs' working folder (injection files, media files).
    QString folder() const { return m_folder; }
    // An injection file for register.xml and the callers' scenarios:
    // "number;[authentication username=number password=password];expires".
    QString credentials(const QString &number, const QString &password, int expires = 300);
    // A free UDP port for a run's SIP side (-p); 0 when none was found.
    int sipPort();

    // Starts sipp on 127.0.0.1 (signalling and media) with `args` after the
    // common options; it ends itself with an error after `timeoutSeconds`.
    // The caller waits for it.
    QProcess *start(const QStringList &args, int timeoutSeconds = kRunSeconds);

    // Device `number` signs in (register.xml) on the switch's internal port
    // with `password`, from a SIP port of its own, which it returns. A busy
    // switch may answer a retransmitted REGISTER twice, and the stray answer
    // ends sipp's run: like a real device, a refused attempt is tried again,
    // twice at most. 0 when it did not sign in; error() then says why.
    int signIn(int switchPort, const QString &number, const QString &password);
    // A device on `sipPort` waits for one call, which it answers and keeps
    // until the switch's BYE (device_answers.xml). Its answer names
    // `rtpPort` for its audio (a socket of the caller's); with 0 it names
    // sipp's own media port and sipp sends back every RTP packet it gets
    // there. Returns once sipp holds the port; null when it did not take it
    // (error() then says why).
    QProcess *answer(int sipPort, int rtpPort = 0);
    // signIn, then answer on the port it signed in from.
    QProcess *registerAndAnswer(int switchPort, const QString &number, const QString &password, int rtpPort = 0);
    QString error() const { return m_error; }

private:
    // A media base for one run: sipp binds four ports from it.
    int mediaPort();
    QProcess *launch(const QStringList &args, int mediaPort, int timeoutSeconds);

    std::unique_ptr<QTemporaryDir> m_ownFolder;
    QString m_folder;
    std::vector<std::unique_ptr<QProcess>> m_runs;
    std::set<int> m_taken;
    int m_files = 0;
    QString m_error;
};

} // namespace PaTest
