#pragma once

#include "SwitchStandIn.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>

class FSManager;
class Velmar;

namespace PaTest {

// The central object over a private database (application and event log,
// created and upgraded), with the SIP layer and the switch manager set up on
// a private copy of the switch package, on loopback. The switch is started
// only by startSwitch(). Needs no test framework: the test fixture and the
// benchmarks that run the whole back end share it.
class LoopbackBackEnd
{
public:
    struct Options
    {
        // The application database starts with its default group.
        bool defaultGroup = true;
        // The HTTP port the switch's call scripts report to.
        int switchReportPort = 9391;
        // The switch's RTP ports: `rtpPorts` of them from `rtpFirstPort`.
        int rtpFirstPort = 31000;
        int rtpPorts = 100;
        // The switch lets its caller sign devices in (its test hooks).
        bool switchTestHooks = false;
        // How long startSwitch() waits for the central object's services
        // once the switch is ready.
        int servicesStartMs = 10000;
    };

    LoopbackBackEnd() = default;
    LoopbackBackEnd(const LoopbackBackEnd &) = delete;
    LoopbackBackEnd &operator=(const LoopbackBackEnd &) = delete;

    // Makes the databases, then runs `configure` (settings, environment;
    // false stops the setup), then makes the SIP layer, the switch manager
    // and the central object. False when a step failed; error() says which.
    bool setUp(const Options &options, const std::function<bool()> &configure = {});
    // Starts the switch and waits until it is ready and the central object
    // has started its services and its app API. False with error() when
    // one did not come.
    bool startSwitch();
    // Ends what setUp made (also after a setUp that failed half-way, or
    // none) and gives the data folder back.
    void tearDown();

    QString error() const { return m_error; }
    // What the switch's console was told, as its journal holds it.
    QString consoleJournal() const;

    QTemporaryDir &data() { return m_data; }
    SwitchStandIn &switchCopy() { return m_switch; }
    FSManager *fs() const { return m_fs; }
    Velmar *velmar() const { return m_velmar; }
    // The switch's internal SIP port.
    int internalPort() const { return m_internalPort; }

private:
    bool fail(const QString &what);

    Options m_options;
    QTemporaryDir m_data;
    SwitchStandIn m_switch{true};
    QString m_oldDataDir;
    bool m_dataDirSet = false;
    FSManager *m_fs = nullptr;
    Velmar *m_velmar = nullptr;
    int m_internalPort = 0;
    QString m_error;
};

} // namespace PaTest
