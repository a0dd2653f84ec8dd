#pragma once

#include "SwitchStandIn.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class FSManager;
class Velmar;

// Tests of phone-app sessions end to end: fresh databases in a temporary
// folder, the switch stand-in, the SIP manager, the switch manager on
// loopback and the central object. SetUp of a derived test calls the
// set-up steps in order, putting its own settings in between.
class VelmarSwitchFixture : public ::testing::Test
{
protected:
    // Databases in the temporary folder, upgraded, with the default group.
    void setUpData();
    // SIP manager and switch manager on loopback, RTP ports in the range.
    void setUpSwitch(int rtpFirst, int rtpLast);
    void createVelmar();
    void TearDown() override;

    // Starts the switch and waits until the central object has started its
    // services.
    void startSwitch();
    QString consoleJournal() const;

    QTemporaryDir m_data;
    PaTest::SwitchStandIn m_switch{true};
    QString m_oldDataDir;
    bool m_dataSet = false;
    FSManager *m_fs = nullptr;
    Velmar *m_velmar = nullptr;
    int m_internalPort = 0;
};
