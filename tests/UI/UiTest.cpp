#include "PAAlertDialog.h"
#include "RDDefaultFont.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDHomeDialog.h"
#include "FSLoadingDialog.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDModal.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QTest>
#include <QTemporaryDir>
#include <QSystemTrayIcon>
#include <QTimer>

#include <atomic>
#include <thread>

TEST(AlertBox, AnswersOkAndCancelAndNeverBlocksWithoutADisplay)
{
    PAAlertDialog::setNextAnswer(0);
    PAAlertDialog::setNextAnswer(1);
    PAAlertDialog box;
    box.setMessage(QStringLiteral("first"));
    EXPECT_EQ(box.exec(), 0);
    PAAlertDialog::showMessage(QStringLiteral("second"));
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    // Nothing queued and no test handler: on the offscreen platform the box
    // is taken as OK.
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    const RDModal::Handler handler = RDModal::unscriptedHandler();
    RDModal::setUnscriptedHandler(nullptr);
    PAAlertDialog third;
    third.setMessage(QStringLiteral("third"));
    EXPECT_EQ(third.exec(), 1);
    RDModal::setUnscriptedHandler(handler);
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")),
              (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}));
}

TEST(AlertBox, ButtonsAcceptAndRejectWithTheirTexts)
{
    for (const char *name : {"okButton", "cancelButton"}) {
        PAAlertDialog box;
        box.setOkText(QStringLiteral("Exit"));
        box.setCancelText(QStringLiteral("Minimized"));
        box.open();
        auto *button = box.findChild<RDLabel *>(QLatin1String(name));
        ASSERT_NE(button, nullptr);
        const bool ok = QLatin1String(name) == QLatin1String("okButton");
        EXPECT_EQ(button->text(), ok ? QStringLiteral("Exit") : QStringLiteral("Minimized"));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(box.result(), ok ? 1 : 0);
        EXPECT_FALSE(box.isVisible());
    }
}

TEST(DefaultFont, ChineseFilesGetTheirFamilyOthersArial)
{
    const struct { const char *language, *family; } cases[] = {
        {"cn", "msyh"}, {"CHINESE", "msyh"}, {"Chinese", "msyh"}, {"English", "Arial"}, {"", "Arial"}, {"cn2", "Arial"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(defaultFontFor(QLatin1String(c.language)).family(), QLatin1String(c.family)) << c.language;
}

TEST(LanguageFile, ShippedEnglishFileHoldsEveryTextTheProgramShows)
{
    QMap<QString, QString> map;
    ASSERT_TRUE(RDLocalize::loadFile(PaTest::binDir() + QStringLiteral("/language/English.txt"), map));
    const char *keys[] = {"Program already running", "The application can only run under the English path",
                          "Still running", "port", "Occupied", "Do you want to exit the application", "Exit",
                          "Minimized", "Maximized", "Close", "OK", "Cancel", "Starting Application", "Go to", "Page",
                          "Go", "Please select network", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
                          "Kelbrin Corvane Lite", "Playing", "Idle", "Name", "Conference", "Source",
                          "Online devices", "Devices", "Online", "Calling", "Offline", "English",
                          // The device screens.
                          "New Device", "Add Device", "Batch Add Devices", "Import Devices", "Select all",
                          "Deselect all", "Select", "Modify", "Delete", "Delete this devices", "Save Failure",
                          "Delete Failure", "%1 of %2 stored", "refused", "is stored already",
                          "Please input SIP number", "Please input name", "Please input sip password",
                          "Please enter a four digit account number", "SIP number is between 6000 and 6999",
                          "Please input start SIP number", "Please input name prefix", "Please input password prefix",
                          "Please input count", "Select file", "Upload", "Can not open file", "SIP Name",
                          "SIP Number", "SIP Password", "line too long", "not UTF-8 text", "read before",
                          // The zone editors.
                          "Number", "Volume", "Settings", "Priority", "Select Devices", "Call",
                          "Conference is invalid", "Conference is in use",
                          // The zone source editors.
                          "Audio Source", "Sound Device", "Live Radio", "Medium", "Pray",
                          "Please select server audio source", "Play live Radio to the zone",
                          "Please input radio url", "File play error", "Repeat type", "No repeat", "List loop",
                          "By times", "By durations", "seconds", "Duration", "Top", "Open In Explorer", "Add",
                          "Clear", "Clear medium", "Location", "Prayer Times for",
                          "Clear Pray Files", "Audio files",
                          // The settings dialog and the switch restart.
                          "Restarting Application", "General", "System", "About", "App Connect", "Data",
                          "Language", "Run at Start up", "Http API port", "Http API", "Save", "Copy to clipboard",
                          "Http server port invalid", "Http server start failure", "Save Success", "Local IP",
                          "Local Netmask", "SIP Server Port", "NAT IP", "SIP Trunk Port", "Audio Codec Settings",
                          "RTP Port", "Invalid SIP server port", "Invalid SIP trunk port", "Invalid rtp start port",
                          "Invalid rtp end port", "Invalid local ip", "Invalid NAT IP",
                          "Please select Audio Codec", "RTP start port is larger than RTP end port",
                          "SIP server port and SIP trunk port must differ",
                          "SIP ports must lie outside the RTP port range",
                          "The settings will take effect after the software is restarted.", "Restart now?",
                          "Enable P2P Connection", "P2P Code", "Enable IP Address Connection", "Enable Auth",
                          "Username", "Password", "Version", "Build Date", "Contact Us", "Export Data",
                          "Import Data", "Zone Log", "The file already exists, do you want to overwrite it",
                          "Export Success", "Export Failure", "Import data will overwrite the original data",
                          "Import", "Import Success", "Import Failure",
                          // The main window and the home zone panel.
                          "Save Configure", "Options", "Open", "All Zones", "Add Zone", "Delete Zone",
                          "Can not start pray manually"};
    for (const char *key : keys) {
        const QString lower = QString::fromLatin1(key).toLower();
        ASSERT_TRUE(map.contains(lower)) << key;
        EXPECT_EQ(map.value(lower), QLatin1String(key));
    }
}

namespace {

// The central object over a private database holding two zones and a device;
// no switch manager.
class ScreenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_data.isValid());
        m_oldDataDir = VDB::dataDir();
        VDB::setDataDir(m_data.path());
        {
            VelmarDB db(true);
            db.checkUpgrade();
            db.createDefaultGroup();
        }
        ASSERT_TRUE(Velmar::createInstance());
        m_velmar = Velmar::instance();
        RDGroup group;
        group.name = QStringLiteral("Garden");
        group.conference = QStringLiteral("3077");
        group.source = QStringLiteral("media");
        m_gardenId = m_velmar->addGroup(group);
        ASSERT_GT(m_gardenId, 0);
        RDDevice device;
        device.name = QStringLiteral("Gate");
        device.number = QStringLiteral("6201");
        m_deviceId = m_velmar->addDevice(device);
        ASSERT_GT(m_deviceId, 0);
    }

    void TearDown() override
    {
        Velmar::destroyInstance();
        VDB::setDataDir(m_oldDataDir);
        RDModal::clearAnswers();
    }


    QTemporaryDir m_data;
    QString m_oldDataDir;
    Velmar *m_velmar = nullptr;
    int m_gardenId = 0;
    int m_deviceId = 0;
};

} // namespace

TEST_F(ScreenTest, LoadingDialogWaitsForTheSwitchAndCanBeLeft)
{
    RDModal::Answer run;
    run.kind = QStringLiteral("dialog:FSLoadingDialog");
    run.realExec = true;
    std::atomic<bool> ready{false};
    {
        FSLoadingDialog loading(nullptr, [&] { return ready.load(); });
        EXPECT_EQ(loading.message(), QStringLiteral("Starting Application"));
        ASSERT_TRUE(loading.startWork());
        QTimer::singleShot(300, [&] { ready = true; });
        RDModal::queue(run);
        EXPECT_EQ(loading.exec(), QDialog::Accepted);
        EXPECT_TRUE(ready);
        EXPECT_FALSE(loading.hasWorker());
    }
    {
        FSLoadingDialog loading(nullptr, [] { return false; });
        ASSERT_TRUE(loading.startWork());
        RDModal::Answer leave = run;
        leave.action = [](QObject *d) {
            QTimer::singleShot(100, d, [d] {
                QTest::mouseClick(static_cast<QWidget *>(d)->findChild<QWidget *>(QStringLiteral("close")),
                                  Qt::LeftButton);
            });
        };
        RDModal::queue(leave);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(loading.exec(), QDialog::Rejected);
        // The worker's 100 ms wait is cut short by the ending.
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_FALSE(loading.hasWorker());
    }
    // No switch manager: the window's loading dialog waits until the
    // program is asked to end.
    RDHomeDialog home;
    QTimer::singleShot(200, [&] { home.requestExit(); });
    RDModal::queue(run);
    home.execLoadingDialog();
    EXPECT_FALSE(home.keepRunning());
}

TEST_F(ScreenTest, DeviceListShowsStatusChanges)
{
    RDDevicesDialog devices;
    RDDeviceWidget *grid = devices.deviceWidget();
    ASSERT_EQ(grid->items().size(), 1);
    const auto tileStatus = [&] { return grid->items()[0]->device().status; };
    EXPECT_EQ(tileStatus(), QStringLiteral("none"));
    RDDevice calling;
    calling.id = m_deviceId;
    calling.status = QStringLiteral("calling");
    // Notifications come from the core's watcher thread; the tiles change on
    // the GUI thread.
    std::thread([&] { m_velmar->notifyDeviceStatusChanged({calling}); }).join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return tileStatus() == QLatin1String("calling"); }));
    EXPECT_EQ(devices.devices()[0].status, QStringLiteral("calling"));
    std::thread([&] { m_velmar->notifyDeviceStatusChanged({}); }).join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return tileStatus() == QLatin1String("none"); }));
    EXPECT_EQ(devices.devices()[0].status, QStringLiteral("none"));
}

