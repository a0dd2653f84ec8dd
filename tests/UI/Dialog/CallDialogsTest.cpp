// The zone and device call dialogs over the program's SIP agent and the fake
// sound server: the far end is SIPp playing the switch (registrar and the
// called device), or the real switch with a SIPp device signed in on it, on
// loopback.
#include "FakeAudioBackend.h"
#include "PAGroupCallDialog.h"
#include "PASipManager.h"
#include "RDConfigure.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupInfoWidget.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDSipCallDialog.h"
#include "SippDevices.h"
#include "SippProcess.h"
#include "TestSupport.h"
#include "Tone.h"
#include "UdpPeer.h"
#include "UiTestSupport.h"
#include "Velmar.h"
#include "VelmarFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

namespace {

class CallDialogTest : public VelmarFixture
{
protected:
    CallDialogTest()
    {
        m_audio.addEndpoint("mic-desk", "Desk microphone", 0, 1000.0);
        m_audio.addEndpoint("mic-headset", "Headset microphone", 0, 600.0);
        m_audio.addEndpoint("spk", "Speakers", 1);
        // Apart from the other suites that run the switch.
        m_rtpFirstPort = 31600;
    }
    void TearDown() override
    {
        EXPECT_EQ(RDModal::pendingAnswers(), 0);
        RDModal::clearAnswers();
        VelmarFixture::TearDown();
    }

    // SIPp as the switch on its internal port: it takes the PC account's
    // sign-in and sign-out and runs `scenario` for the call.
    bool startSwitch(SippProcess &sipp, const char *scenario)
    {
        m_mediaPort = PaTest::freeSippMediaPort();
        return sipp.start({"-sf", std::string(PA_CALL_SCENARIO_DIR "/") + scenario, "-i", "127.0.0.1", "-p",
                           std::to_string(m_internalPort), "-mp", std::to_string(m_mediaPort), "-rtp_echo",
                           "-m", "3", "-nostdin", "-timeout", "20s", "-timeout_error"});
    }

    static bool waitStatus(PAGroupCallDialog &dialog, const char *status, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return dialog.statusLabel()->text() == QLatin1String(status); }, ms);
    }

    // The dominant share of `hz` in the last 200 ms played on the PC.
    double playedShare(double hz) const
    {
        const std::vector<float> played = m_audio.played();
        const size_t frames = 9600;
        if (played.size() < frames * 2)
            return 0.0;
        std::vector<double> mono;
        for (size_t i = played.size() - frames * 2; i + 1 < played.size(); i += 2)
            mono.push_back(played[i]);
        return Tone::goertzelShare(mono, hz, 48000);
    }

    int accounts()
    {
        PASipManager::Use sip;
        return sip ? sip->accountCount() : -1;
    }

    FakeAudioBackend m_audio;
    int m_mediaPort = 0;
};

TEST_F(CallDialogTest, EndpointListsAndTheRememberedEndpoint)
{
    struct Case {
        const char *remembered;
        int zoneIndex;
        int deviceIndex;
    } cases[] = {{"", 0, 0}, {"mic-headset", 1, 1}, {"spk", 2, 0}, {"MIC-HEADSET", 0, 0}, {"gone", 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remembered);
        RDConfigure().setCallConferenceId(QLatin1String(c.remembered));
        RDConfigure().setCallDeviceId(QLatin1String(c.remembered));
        PAGroupCallDialog zone;
        RDSipCallDialog device;
        ASSERT_EQ(zone.captureCombo()->count(), 3) << "capture endpoints, then render endpoints";
        EXPECT_EQ(zone.captureCombo()->itemText(2), "Speakers");
        ASSERT_EQ(device.captureCombo()->count(), 2) << "capture endpoints only";
        EXPECT_EQ(zone.captureCombo()->currentIndex(), c.zoneIndex);
        EXPECT_EQ(device.captureCombo()->currentIndex(), c.deviceIndex);
        EXPECT_EQ(device.captureDevice().id(), device.captureCombo()->currentData().toString());
        EXPECT_EQ(RDConfigure().callDeviceId(), QLatin1String(c.remembered)) << "the first selection is no change";
    }

    // A pick is remembered under each dialog's own key.
    RDConfigure().setCallConferenceId(QString());
    RDConfigure().setCallDeviceId(QString());
    RDSipCallDialog device;
    device.captureCombo()->setCurrentIndex(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RDConfigure().callDeviceId() == "mic-headset"; }, 3000));
    EXPECT_EQ(device.captureDevice().name(), "Headset microphone");
    EXPECT_EQ(RDConfigure().callConferenceId(), QString());
}

TEST_F(CallDialogTest, WithoutAMicrophoneNothingIsSignedInAndTheDialogCloses)
{
    m_audio.removeEndpoint("mic-desk");
    m_audio.removeEndpoint("mic-headset");
    RDSipCallDialog dialog;
    EXPECT_EQ(dialog.captureCombo()->count(), 0);
    dialog.setNumber(QStringLiteral("6001"));
    dialog.show();
    dialog.startCallThread();
    EXPECT_TRUE(waitStatus(dialog, "Microphone not found"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 4000)) << "closes itself after a second";
    EXPECT_FALSE(dialog.isCallRunning());
    EXPECT_EQ(accounts(), 0);
}

// The device answers, the PC's microphone reaches it and its echo is played
// on the PC; another microphone takes over during the call; "Hang up" sends
// BYE and signs the account out.
TEST_F(CallDialogTest, DeviceCallTalksBothWaysSwitchesMicrophoneAndHangsUp)
{
    if (!SippProcess::available())
        GTEST_SKIP() << "sipp is not installed";
    SippProcess sipp;
    ASSERT_TRUE(startSwitch(sipp, "call_answer.xml"));
    QTest::qWait(200); // SIPp binds its port

    RDSipCallDialog dialog;
    dialog.setNumber(QStringLiteral("6001"));
    dialog.show();
    dialog.startCallThread();
    ASSERT_TRUE(waitStatus(dialog, "Talking", 8000)) << dialog.statusLabel()->text().toStdString();
    ASSERT_TRUE(m_audio.waitPlayedFrames(48000 / 2, 5000)) << "nothing of the device reached the PC";
    EXPECT_TRUE(QTest::qWaitFor([&] { return playedShare(1000.0) > 0.5; }, 4000))
        << "the desk microphone's tone comes back from the device";

    dialog.captureCombo()->setCurrentIndex(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playedShare(600.0) > 0.5; }, 5000))
        << "the headset takes over within about a second";
    EXPECT_EQ(RDConfigure().callDeviceId(), "mic-headset");

    QPointer<RDSipCallDialog> alive(&dialog);
    PaUiTest::click(dialog.hangUpButton(), Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isCallRunning());
    EXPECT_EQ(sipp.wait(10000), 0) << "SIPp saw sign-in, the call with its BYE, and sign-out";
    EXPECT_EQ(accounts(), 0);
}

// The device call through the switch: a device signs in with the password
// the program wrote for it, the dialog calls it and the switch bridges the
// call. The device sends back all it hears, and the switch never plays a
// caller its own voice, so the desk microphone's tone reaches the PC's
// speaker only by way of the device. "Hang up" ends the call, and the
// switch's BYE ends the device's.
TEST_F(CallDialogTest, DeviceCallThroughTheSwitchTalksBothWaysAndHangsUp)
{
    if (!PaTest::SippDevices::available())
        GTEST_SKIP() << "sipp is not installed";
    RDDevice gate;
    gate.number = QStringLiteral("6001");
    gate.name = QStringLiteral("Gate");
    gate.password = QStringLiteral("g4te-6001");
    ASSERT_GT(m_velmar->addDevice(gate), 0);
    VelmarFixture::startSwitch();
    if (HasFatalFailure())
        return;
    PaTest::SippDevices sipp;
    QProcess *device = sipp.registerAndAnswer(m_internalPort, gate.number, gate.password);
    ASSERT_TRUE(device) << sipp.error().toStdString();

    RDSipCallDialog dialog;
    dialog.setNumber(gate.number);
    dialog.show();
    dialog.startCallThread();
    ASSERT_TRUE(waitStatus(dialog, "Talking", 8000)) << dialog.statusLabel()->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return playedShare(1000.0) > 0.5; }, 6000))
        << "the desk microphone's tone comes back from the device";
    EXPECT_EQ(device->state(), QProcess::Running) << device->readAll().toStdString();

    PaUiTest::click(dialog.hangUpButton(), Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isCallRunning());
    ASSERT_TRUE(device->waitForFinished(10000)) << "the device got no BYE";
    EXPECT_EQ(PaTest::sippCompletedCalls(device->readAll()), 1);
    EXPECT_EQ(accounts(), 0);
}

TEST_F(CallDialogTest, ARefusedCallEndsAndTheDialogClosesItself)
{
    if (!SippProcess::available())
        GTEST_SKIP() << "sipp is not installed";
    SippProcess sipp;
    ASSERT_TRUE(startSwitch(sipp, "call_busy.xml"));
    QTest::qWait(200);

    PAGroupCallDialog dialog;
    dialog.setNumber(QStringLiteral("3000"));
    dialog.show();
    dialog.startCallThread();
    EXPECT_TRUE(waitStatus(dialog, "Call Ended", 10000)) << dialog.statusLabel()->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
    EXPECT_FALSE(dialog.isCallRunning());
    EXPECT_EQ(sipp.wait(10000), 0) << "the account was signed out";
    EXPECT_EQ(accounts(), 0);
}

// Nobody answers the sign-in: the status stays, is not resent while it does
// not change, and closing the dialog ends the worker and drops the account.
TEST_F(CallDialogTest, ClosingWhileSigningInLeavesNoWorker)
{
    PaTest::UdpPeer silentSwitch(m_internalPort);
    RDSipCallDialog dialog;
    dialog.setNumber(QStringLiteral("6001"));
    dialog.show();
    dialog.startCallThread();
    ASSERT_TRUE(waitStatus(dialog, "Registring"));
    QTest::qWait(1000);
    EXPECT_EQ(dialog.statusLabel()->text(), "Registring");
    EXPECT_LE(dialog.statusPosts(), 2);
    EXPECT_EQ(accounts(), 1);
    dialog.close();
    EXPECT_FALSE(dialog.isCallRunning());
    EXPECT_EQ(accounts(), 0) << "signed out on close";
}

// The device list opens the device call dialog for the tile's device, from
// its call button and from the menu; the dialog's worker never outlives it.
// The device list and the zone panel call a device the same ways: its
// tile's call button and the first entry of its menu.
TEST_F(CallDialogTest, DeviceScreensCallTheDeviceFromTileAndMenu)
{
    RDDevice d;
    d.number = QStringLiteral("6007");
    d.name = QStringLiteral("Gate");
    d.password = QStringLiteral("pw");
    d.id = m_velmar->addDevice(d);
    ASSERT_GT(d.id, 0);
    RDDevicesDialog list;
    RDGroupInfoWidget panel;
    RDGroup zone;
    zone.conference = QStringLiteral("3001");
    zone.name = QStringLiteral("Gate zone");
    zone.source = QStringLiteral("media");
    zone.setDevices({d});
    panel.setGroup(zone);
    struct Screen {
        const char *name;
        RDDeviceWidget *grid;
        std::function<QMenu *()> menu;
    };
    const Screen screens[] = {
        {"device list", list.deviceWidget(), [&] { return list.contextMenu(); }},
        {"zone panel", panel.editor()->deviceWidget(), [&] { return panel.editor()->contextMenu(); }},
    };
    for (const Screen &screen : screens) {
        ASSERT_EQ(screen.grid->items().size(), 1) << screen.name;
        for (int viaMenu = 0; viaMenu < 2; ++viaMenu) {
            SCOPED_TRACE(std::string(screen.name) + (viaMenu ? " menu" : " tile"));
            QString called;
            bool running = false;
            RDModal::Answer answer;
            answer.kind = QStringLiteral("dialog:RDSipCallDialog");
            answer.action = [&](QObject *dialog) {
                auto *call = qobject_cast<RDSipCallDialog *>(dialog);
                ASSERT_TRUE(call);
                called = call->number();
                running = call->isCallRunning();
            };
            RDModal::queue(answer);
            RDDeviceItemWidget *tile = screen.grid->items().first();
            if (viaMenu) {
                PaUiTest::click(tile, Qt::RightButton, QPoint(80, 30));
                ASSERT_TRUE(screen.menu());
                QAction *call = screen.menu()->actions().value(0);
                ASSERT_TRUE(call);
                EXPECT_EQ(call->text(), "Call");
                EXPECT_TRUE(call->isEnabled());
                call->trigger();
            } else {
                PaUiTest::click(tile->callButton(), Qt::LeftButton, QPoint(5, 5));
            }
            EXPECT_TRUE(QTest::qWaitFor([] { return RDModal::pendingAnswers() == 0; }, 3000));
            EXPECT_EQ(called, "6007");
            EXPECT_TRUE(running) << "the call starts before the dialog runs";
            EXPECT_TRUE(PaTest::waitUntil([&] { return accounts() == 0; }, 3000)) << "signed out with the dialog";
        }
    }
}

} // namespace
