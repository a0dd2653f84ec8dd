#pragma once

#include "LoopbackBackEnd.h"
#include "SwitchStandIn.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

class FSManager;
class Velmar;

// The central object over a private database (application and event log,
// created and upgraded), with the SIP layer and the switch manager set up on
// a private copy of the switch package, on loopback: a LoopbackBackEnd set
// up and torn down around each test. The switch is started only when a test
// calls startSwitch(). Subclasses adjust the setup in configure() (settings,
// environment) and extend SetUp/TearDown, calling these first (SetUp) and
// last (TearDown).
class VelmarFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs after the databases exist and before the switch manager and the
    // central object are made: the place for settings and environment.
    virtual void configure() {}

    // Starts the switch and waits until it is ready and the central object
    // has started its services and its app API.
    void startSwitch();
    // What the switch's console was told, as its journal holds it.
    QString consoleJournal() const { return m_backEnd.consoleJournal(); }

    // Setup choices, to be set before SetUp runs (in the constructor).
    bool m_withDefaultGroup = true;
    int m_switchReportPort = 9391;
    int m_rtpFirstPort = 31000;
    // The switch lets the test sign devices in (its test hooks).
    bool m_switchTestHooks = false;

    PaTest::LoopbackBackEnd m_backEnd;
    QTemporaryDir &m_data = m_backEnd.data();
    PaTest::SwitchStandIn &m_switch = m_backEnd.switchCopy();
    FSManager *m_fs = nullptr;
    Velmar *m_velmar = nullptr;
    // The switch's internal SIP port.
    int m_internalPort = 0;
};
