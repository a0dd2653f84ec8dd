#include "DornixAPIWidget.h"
#include "FSManager.h"
#include "FSRestartDialog.h"
#include "KelCode.h"
#include "PALogDialog.h"
#include "PASettingsDataWidget.h"
#include "PASipManager.h"
#include "PlatformAutostart.h"
#include "RDConfigure.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapWidget.h"
#include "RDQRCodeDialog.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarFixture.h"
#include "VelmarGeneralWidget.h"
#include "VelmarNetworkWidget.h"
#include "VelmarSettingsDialog.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

QString toastOf(RDToast *page)
{
    return page->toastLabel() ? page->toastLabel()->text() : QString();
}

QString conf(const char *key)
{
    return RDConfigure().getString(QLatin1String(key));
}

RDModal::Answer pickedFile(const char *kind, const QString &path)
{
    RDModal::Answer a;
    a.kind = QLatin1String(kind);
    a.result = 1;
    a.files = QStringList{path};
    return a;
}

// What zbarimg reads from `image`, drawn with a white quiet zone and
// `scale` px per pixel so that even the 25 px icons are readable.
QString decodeQr(const QImage &image, int scale, const QString &folder)
{
    const int border = 4 * scale;
    QImage big(image.width() * scale + 2 * border, image.height() * scale + 2 * border, QImage::Format_RGB32);
    big.fill(Qt::white);
    {
        QPainter p(&big);
        p.drawImage(QRect(border, border, image.width() * scale, image.height() * scale), image);
    }
    const QString path = folder + QStringLiteral("/code.png");
    if (!big.save(path))
        return QStringLiteral("<not saved>");
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    if (!zbar.waitForFinished(10000))
        return QStringLiteral("<zbarimg hung>");
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

} // namespace

// The central object over a private database and a switch manager that
// knows its network (127.0.0.1) but runs no switch.
class SettingsTest : public ZoneStoreFixture
{
protected:
    void SetUp() override
    {
        m_fs = FSManager::createInstance();
        m_internalPort = PaTest::freeTcpPort();
        m_externalPort = PaTest::freeTcpPort();
        m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), m_internalPort, false,
                         QStringLiteral("127.0.0.1"), m_externalPort, QStringLiteral("OPUS,G722,PCMU,PCMA"));
        // RTP ports below the range free ports are handed out from.
        m_fs->setRtpPortRange(1000, 1100);
        ZoneStoreFixture::SetUp();
        RDModal::clearAnswers();
        RDModal::takeShown();
    }
    void TearDown() override
    {
        EXPECT_EQ(RDModal::pendingAnswers(), 0);
        RDModal::clearAnswers();
        if (m_velmar)
            m_velmar->stopHttpServer();
        ZoneStoreFixture::TearDown();
        FSManager::destroyInstance();
    }

    void storeZone(const char *name, const char *conference)
    {
        RDGroup zone;
        zone.name = QLatin1String(name);
        zone.conference = QLatin1String(conference);
        stored(zone);
    }

    FSManager *m_fs = nullptr;
    int m_internalPort = 0;
    int m_externalPort = 0;
};

TEST_F(SettingsTest, EveryPageStoresItsKeys)
{
    QTemporaryDir autostart;
    ASSERT_TRUE(autostart.isValid());
    Platform::setAutostartFolder(autostart.path());
    const QString httpPort = QString::number(PaTest::freeTcpPort());
    const QString wsPort = QString::number(PaTest::freeTcpPort());

    VelmarSettingsDialog dialog;
    VelmarGeneralWidget *general = dialog.generalPage();
    VelmarNetworkWidget *system = dialog.systemPage();
    DornixAPIWidget *app = dialog.appConnectPage();

    struct Case
    {
        const char *what;
        std::function<void()> act;
        std::vector<std::pair<const char *, QString>> keys;
    };
    const std::vector<Case> cases = {
        {"general: http api",
         [&] {
             general->portEdit()->setText(httpPort);
             general->apiCheck()->setChecked(true);
             general->onClickOKButton();
         },
         {{"http server port", httpPort}, {"http api enable", "true"}}},
        {"general: start at logon",
         [&] { general->onLuanchSwitch(true); },
         {{"run on boot", "true"}}},
        {"system: nat toggled",
         [&] {
             dialog.tabs()->setCurrentIndex(1);
             system->natCheck()->setChecked(true);
         },
         {{"nat enable", "true"}}},
        {"system: save, restart declined",
         [&] {
             system->natIpEdit()->setText(QStringLiteral("10.9.8.7"));
             for (int i : {0, 2})  // PCMU, G722 off: OPUS and PCMA stay
                 system->codecCheck(i)->setChecked(false);
             system->rtpStartEdit()->setText(QStringLiteral("1200"));
             system->rtpEndEdit()->setText(QStringLiteral("1200"));
             RDModal::queue(QStringLiteral("alert"), 0);
             system->onClickOKButton();
         },
         {{"sip internal ip", "127.0.0.1"},
          {"sip internal netmask", "255.0.0.0"},
          {"sip internal port", QString::number(m_internalPort)},
          {"sip external ip", "10.9.8.7"},
          {"sip external port", QString::number(m_externalPort)},
          {"sip codecs", "OPUS,PCMA"},
          {"rtp start port", "1200"},
          {"rtp end port", "1200"}}},
        {"app connect",
         [&] {
             dialog.tabs()->setCurrentIndex(3);
             app->codeEdit()->setText(QStringLiteral("K7Q2291XA"));
             app->ipCheck()->setChecked(true);
             app->portEdit()->setText(wsPort);
             app->authCheck()->setChecked(true);
             app->userEdit()->setText(QStringLiteral("mira"));
             app->passwordEdit()->setText(QStringLiteral("s3cret"));
             app->saveButton()->click();
         },
         {{"kelcode enable", "0"},
          {"kelcode", "K7Q2291XA"},
          {"ws enable", "1"},
          {"ws port", wsPort},
          {"auth enable", "1"},
          {"auth username", "mira"},
          {"auth password", "s3cret"}}},
    };
    for (const Case &c : cases) {
        c.act();
        for (const auto &key : c.keys)
            EXPECT_EQ(conf(key.first), key.second) << c.what << ": " << key.first;
    }
    EXPECT_EQ(toastOf(app), QStringLiteral("Save Success"));
    EXPECT_EQ(m_velmar->httpPort(), httpPort.toInt());
    EXPECT_FALSE(Platform::autostartProgram(QCoreApplication::applicationName()).isEmpty());
    general->onLuanchSwitch(false);
    EXPECT_EQ(conf("run on boot"), QStringLiteral("false"));
    EXPECT_TRUE(Platform::autostartProgram(QCoreApplication::applicationName()).isEmpty());
    Platform::setAutostartFolder(QString());

    {
        PaUiTest::TestLanguage language("Language=Sprache\n");
        ASSERT_TRUE(language.isValid());
        VelmarGeneralWidget page;
        ASSERT_EQ(page.languageCombo()->count(), 1);
        page.onLanguageChanged(0);
        EXPECT_EQ(conf("langage"), QStringLiteral("Test"));
        EXPECT_EQ(RDLocalize::language(), QStringLiteral("Test"));
    }
}

TEST_F(SettingsTest, HttpPortOutsideOneTo65535IsRefusedAndNothingStored)
{
    VelmarGeneralWidget page;
    RDConfigure().setHttpServerPort(9391);
    for (const char *text : {"0", "65536", "", "abc", "-1"}) {
        page.portEdit()->setText(QLatin1String(text));
        page.onClickOKButton();
        EXPECT_EQ(toastOf(&page), QStringLiteral("Http server port invalid")) << text;
        EXPECT_EQ(conf("http server port"), QStringLiteral("9391")) << text;
    }
    const QString port = QString::number(PaTest::freeTcpPort());
    page.portEdit()->setText(port);
    page.onClickOKButton();
    EXPECT_EQ(toastOf(&page), QStringLiteral("Save Success"));
    EXPECT_EQ(conf("http server port"), port);
    EXPECT_TRUE(m_velmar->isHttpServerRunning());

    // A port another program holds: stored for the next start, but the page
    // says that nothing listens now.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any));
    page.portEdit()->setText(QString::number(other.serverPort()));
    page.onClickOKButton();
    EXPECT_EQ(toastOf(&page), QStringLiteral("Http server start failure"));
    EXPECT_EQ(conf("http server port"), QString::number(other.serverPort()));
}

TEST_F(SettingsTest, SystemSaveRefusesBadPortSetsAndStoresNothing)
{
    // The running switch holds its internal SIP port; another program holds
    // a second one.
    QTcpServer switchHeld, otherHeld;
    ASSERT_TRUE(switchHeld.listen(QHostAddress::Any, static_cast<quint16>(m_internalPort)));
    ASSERT_TRUE(otherHeld.listen(QHostAddress::Any));
    const QString taken = QString::number(otherHeld.serverPort());

    VelmarNetworkWidget page;
    const struct
    {
        const char *field;  // internal, external, start, end, ip, nat, codecs
        QString value;
        QString toast;
    } cases[] = {
        {"internal", "0", "Invalid SIP server port"},
        {"internal", "65536", "Invalid SIP server port"},
        {"external", "-5", "Invalid SIP trunk port"},
        {"start", "abc", "Invalid rtp start port"},
        {"end", "70000", "Invalid rtp end port"},
        {"ip", "10.0.0.256", "Invalid local ip"},
        {"nat", "300.1.1.1", "Invalid NAT IP"},
        {"external", taken, "Port " + taken + " Occupied"},
        {"codecs", "", "Please select Audio Codec"},
        {"start", "1101", "RTP start port is larger than RTP end port"},
        {"external", QString::number(m_internalPort), "SIP server port and SIP trunk port must differ"},
        {"external", "1050", "SIP ports must lie outside the RTP port range"},
    };
    for (const auto &c : cases) {
        page.load();
        const QString field = QLatin1String(c.field);
        if (field == QLatin1String("internal"))
            page.internalPortEdit()->setText(c.value);
        else if (field == QLatin1String("external"))
            page.externalPortEdit()->setText(c.value);
        else if (field == QLatin1String("start"))
            page.rtpStartEdit()->setText(c.value);
        else if (field == QLatin1String("end"))
            page.rtpEndEdit()->setText(c.value);
        else if (field == QLatin1String("ip"))
            page.localIpEdit()->setText(c.value);
        else if (field == QLatin1String("nat")) {
            page.natCheck()->setChecked(true);
            page.natIpEdit()->setText(c.value);
        } else {
            for (int i = 0; i < 4; ++i)
                page.codecCheck(i)->setChecked(false);
        }
        page.onClickOKButton();
        EXPECT_EQ(toastOf(&page), c.toast) << c.field << " " << qPrintable(c.value);
        EXPECT_EQ(conf("sip internal port"), QString()) << qPrintable(c.toast);
        EXPECT_EQ(conf("sip codecs"), QString()) << qPrintable(c.toast);
    }

    // The switch's own ports are not tested for binding: unchanged values
    // save without a question, a codec change asks for the restart.
    page.load();
    page.onClickOKButton();
    EXPECT_EQ(toastOf(&page), QStringLiteral("Save Success"));
    EXPECT_EQ(conf("sip internal port"), QString::number(m_internalPort));
    EXPECT_TRUE(RDModal::takeShown(QStringLiteral("alert")).isEmpty());

    page.codecCheck(2)->setChecked(false);
    RDModal::queue(QStringLiteral("alert"), 0);
    page.onClickOKButton();
    EXPECT_EQ(conf("sip codecs"), QStringLiteral("OPUS,PCMU,PCMA"));
    const QStringList asked = RDModal::takeShown(QStringLiteral("alert"));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().endsWith(QStringLiteral(".\nRestart now?")));
    // Declined: the switch runs on with what it had.
    EXPECT_EQ(m_fs->sipCodecs(), QStringLiteral("OPUS,G722,PCMU,PCMA"));
}

TEST_F(SettingsTest, AppConnectQrCodesDecodeBackToTheConnectionTexts)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        RDConfigure c;
        c.setKelCodeEnable(1);
        c.setKelCode(QStringLiteral("K7Q2291XA"));
        c.setWsEnable(1);
        c.setWsPort(9024);
    }
    const QString ipText = QStringLiteral("127.0.0.1:9024");
    const QString ipCode = KelCode::encode(ipText);
    ASSERT_FALSE(ipCode.isEmpty());

    DornixAPIWidget page;
    page.load();
    // The 25 px icon holds the short code module for module; the longer
    // LAN code needs more modules than the icon has pixels and is only
    // read from the large dialog.
    EXPECT_EQ(decodeQr(page.codeIcon()->pixmap().toImage(), 8, folder.path()), QStringLiteral("K7Q2291XA"));
    const QImage ipIcon = page.ipIcon()->pixmap().toImage();
    EXPECT_FALSE(ipIcon.isNull());

    // The large codes, as the dialog shows them.
    auto bigCode = [&](bool ip, QString *caption) {
        QString seen;
        RDModal::Answer answer;
        answer.kind = QStringLiteral("dialog:RDQRCodeDialog");
        answer.action = [&](QObject *d) {
            auto *dialog = static_cast<RDQRCodeDialog *>(d);
            *caption = dialog->captionText();
            seen = decodeQr(dialog->imageWidget()->pixmap().toImage(), 1, folder.path());
        };
        RDModal::queue(answer);
        if (ip)
            page.onClickAPIWidget();
        else
            page.onClickCodeWidget();
        return seen;
    };
    QString caption;
    EXPECT_EQ(bigCode(true, &caption), ipCode);
    EXPECT_EQ(caption, ipText);
    EXPECT_EQ(bigCode(false, &caption), QStringLiteral("K7Q2291XA"));
    EXPECT_EQ(caption, QStringLiteral("K7Q2291XA"));

    // Disabled connections hide their icons; a save shows the new port's code.
    page.p2pCheck()->setChecked(false);
    EXPECT_TRUE(page.codeIcon()->isHidden());
    EXPECT_FALSE(page.codeEdit()->isEnabled());
    page.portEdit()->setText(QStringLiteral("9"));
    page.onClickSave();
    EXPECT_EQ(RDConfigure().wsPort(), 9);
    EXPECT_NE(page.ipIcon()->pixmap().toImage(), ipIcon);
    EXPECT_EQ(bigCode(true, &caption), KelCode::encode(QStringLiteral("127.0.0.1:9")));
    EXPECT_EQ(caption, QStringLiteral("127.0.0.1:9"));
    // The port field takes no more than 65535.
    int pos = 0;
    QString text = QStringLiteral("65536");
    EXPECT_NE(page.portEdit()->validator()->validate(text, pos), QValidator::Acceptable);
}

TEST_F(SettingsTest, ExportThenImportRoundTripsTheDatabase)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    storeZone("Lobby", "3100");
    RDConfigure().setKelCode(QStringLiteral("before"));

    PASettingsDataWidget page;
    RDModal::queue(pickedFile("folder", folder.path()));
    RDModal::queue(QStringLiteral("information"), QMessageBox::Yes);
    page.exportButton()->click();
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("information")), QStringList{QStringLiteral("Export Success")});
    const QString copy = folder.path() + QStringLiteral("/velmar.db");
    ASSERT_TRUE(QFile::exists(copy));

    // Changes after the export...
    storeZone("Hall", "3101");
    RDConfigure().setKelCode(QStringLiteral("after"));

    // ...a second export into the same folder asks first; declined, the
    // copy stays as it was.
    const QByteArray before = [&] {
        QFile f(copy);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RDModal::queue(pickedFile("folder", folder.path()));
    RDModal::queue(QStringLiteral("warning"), QMessageBox::No);
    page.exportButton()->click();
    {
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
    }

    // ...are undone by importing the copy.
    RDModal::takeShown();
    RDModal::queue(pickedFile("open file", copy));
    RDModal::queue(QStringLiteral("warning"), QMessageBox::Yes);
    RDModal::queue(QStringLiteral("information"), QMessageBox::Yes);
    page.importButton()->click();
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("information")), QStringList{QStringLiteral("Import Success")});
    VelmarDB db(true);
    QStringList conferences;
    for (const RDGroup &g : db.selectGroups())
        conferences << g.conference;
    EXPECT_TRUE(conferences.contains(QStringLiteral("3100")));
    EXPECT_FALSE(conferences.contains(QStringLiteral("3101")));
    EXPECT_EQ(conf("kelcode"), QStringLiteral("before"));
}

// "Zone Log" opens the event log with every stored zone in its filter.
TEST_F(SettingsTest, ZoneLogOpensTheEventLogWithTheStoredZones)
{
    storeZone("Lobby", "3100");
    storeZone("Yard", "3101");
    PASettingsDataWidget page;
    QStringList listed;
    RDModal::Answer answer;
    answer.kind = QStringLiteral("dialog:PALogDialog");
    answer.action = [&](QObject *dialog) {
        auto *log = qobject_cast<PALogDialog *>(dialog);
        ASSERT_TRUE(log);
        for (int i = 0; i < log->zoneCombo()->count(); ++i)
            listed << log->zoneCombo()->itemText(i);
    };
    RDModal::queue(answer);
    page.logButton()->click();
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    // "All", then each zone by its conference number.
    EXPECT_EQ(listed, (QStringList{QStringLiteral("All"), QStringLiteral("3100"), QStringLiteral("3101")}));
}

TEST_F(SettingsTest, FailedExportAndWrongImportFileSayItAndKeepTheData)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    storeZone("Lobby", "3100");
    PASettingsDataWidget page;

    // A folder that is gone by the time of the export.
    RDModal::queue(pickedFile("folder", folder.path() + QStringLiteral("/gone")));
    RDModal::queue(QStringLiteral("warning"), QMessageBox::Yes);
    page.exportButton()->click();
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("warning")), QStringList{QStringLiteral("Export Failure")});
    EXPECT_TRUE(RDModal::takeShown(QStringLiteral("information")).isEmpty());

    const QString wrong = folder.path() + QStringLiteral("/notes.db");
    {
        QFile f(wrong);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a database\n");
    }
    for (const bool confirm : {false, true}) {
        RDModal::queue(pickedFile("open file", wrong));
        RDModal::queue(QStringLiteral("warning"), confirm ? QMessageBox::Yes : QMessageBox::No);
        if (confirm)
            RDModal::queue(QStringLiteral("warning"), QMessageBox::Yes);
        page.importButton()->click();
        const QStringList shown = RDModal::takeShown(QStringLiteral("warning"));
        ASSERT_EQ(shown.size(), confirm ? 2 : 1);
        if (confirm) {
            EXPECT_EQ(shown.last(), QStringLiteral("Import Failure"));
        }
        VelmarDB db(true);
        ASSERT_EQ(db.selectGroups().size(), 1) << confirm;
        EXPECT_EQ(db.selectGroups().first().conference, QStringLiteral("3100"));
    }
}

// A System change while a zone runs: the switch stand-in and the SIP layer
// are restarted by the restart dialog's worker while other threads go on
// using the SIP layer.
class SettingsRestartTest : public VelmarFixture
{
};

TEST_F(SettingsRestartTest, SystemChangeRestartsSwitchAndSipLayerWhileAZoneRuns)
{
    startSwitch();
    ASSERT_FALSE(HasFatalFailure());
    const QVector<RDGroup> zones = m_velmar->getGroups();
    ASSERT_FALSE(zones.isEmpty());
    m_velmar->startGroup(zones.first());

    std::atomic<bool> stop{false};
    std::atomic<int> uses{0};
    std::thread user([&] {
        while (!stop.load()) {
            PASipManager::Use sip;
            if (sip)
                sip->accountCount();
            ++uses;
            std::this_thread::yield();
        }
    });

    VelmarNetworkWidget page;
    page.load();
    EXPECT_EQ(page.internalPortEdit()->text(), QString::number(m_internalPort));
    page.codecCheck(3)->setChecked(true);  // OPUS added
    RDModal::queue(QStringLiteral("alert"), 1);
    RDModal::Answer restart;
    restart.kind = QStringLiteral("dialog:FSRestartDialog");
    restart.realExec = true;
    restart.watchdogMs = 90000;
    RDModal::queue(restart);
    page.onClickOKButton();
    EXPECT_EQ(RDModal::pendingAnswers(), 0);

    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fs->isReady(); }, 60000));
    EXPECT_EQ(m_fs->sipCodecs(), QStringLiteral("OPUS,PCMU,PCMA"));
    EXPECT_EQ(RDConfigure().sipCodecs(), QStringLiteral("OPUS,PCMU,PCMA"));
    ASSERT_NE(PASipManager::instance(), nullptr);
    const int seen = uses.load();
    EXPECT_TRUE(PaTest::waitUntil([&] { return uses.load() > seen; }));
    stop = true;
    user.join();
    m_velmar->stopGroup(zones.first(), QString());
}

TEST(FSRestartDialogTest, EndsWhenTheRestartReturnsAndAnEarlyCloseWaitsForIt)
{
    RDModal::clearAnswers();
    RDModal::Answer run;
    run.kind = QStringLiteral("dialog:FSRestartDialog");
    run.realExec = true;
    {
        std::atomic<int> restarts{0};
        FSRestartDialog dialog(nullptr, [&] { ++restarts; });
        EXPECT_EQ(dialog.message(), QStringLiteral("Restarting Application"));
        ASSERT_TRUE(dialog.startRestartThread());
        RDModal::queue(run);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(restarts.load(), 1);
        EXPECT_FALSE(dialog.hasWorker());
    }
    {
        // Closed while the restart runs: exec() returns only once it is done,
        // so nothing the restart touches goes away under it.
        std::atomic<bool> finished{false};
        FSRestartDialog dialog(nullptr, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            finished = true;
        });
        ASSERT_TRUE(dialog.startRestartThread());
        RDModal::Answer leave = run;
        leave.action = [](QObject *d) {
            QTimer::singleShot(20, d, [d] { static_cast<QDialog *>(d)->reject(); });
        };
        RDModal::queue(leave);
        dialog.exec();
        EXPECT_TRUE(finished.load());
        EXPECT_FALSE(dialog.hasWorker());
    }
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
}
