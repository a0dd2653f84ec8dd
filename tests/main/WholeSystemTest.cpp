// The whole program from an install folder of its own, with SIPp as the
// speakers and the program's own switch at its full SIP and RTP level: the
// operator adds a zone of three new speakers on the home screen, starts it
// from its tile and every speaker rings, answers and hears the zone's tone;
// the tile stops it, the event log shows both records; it is started and
// stopped over "/action" and started from a phone-app session while the tile
// follows; the tray's Exit ends the program and every speaker is hung up.
//
// The test lays out the install folder (the switch package, the language
// file and this test program in the place of the program) and runs itself
// from there, so that everything the program finds beside its executable
// (switch, database, log, languages) is the folder's own. The run inside
// goes through the program's start-up and shut-down in the order main()
// runs them.
#include "AppWebSocketClient.h"
#include "FSManager.h"
#include "HttpTestClient.h"
#include "PALogDialog.h"
#include "PALogsView.h"
#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "RDDefaultFont.h"
#include "RDDeviceAddOneDialog.h"
#include "RDDevicesDialog.h"
#include "RDFileListWidget.h"
#include "RDGroupAddDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupListItemWidget.h"
#include "RDGroupListWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupSourceMediaWidget.h"
#include "RDGroupSourceWidget.h"
#include "RDHomeDialog.h"
#include "RDHomeGroupWidget.h"
#include "RDLabel.h"
#include "DialogScript.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDPixmapsButton.h"
#include "SippSpeakers.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "Tone.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarStartup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

using PaTest::SippSpeakers;

// Set in the environment of the run inside the install folder.
const char *const kInstalledRun = "PA_WHOLE_SYSTEM_INSTALLED";
// Where the run inside saves its picture of the home screen.
const char *const kShotPath = "PA_WHOLE_SYSTEM_SHOT";

const char *const kAppUser = "operator";
const char *const kAppPassword = "zone-pass";

const std::vector<SippSpeakers::Account> kSpeakers = {
    {QStringLiteral("6201"), QStringLiteral("s3cret6201")},
    {QStringLiteral("6202"), QStringLiteral("s3cret6202")},
    {QStringLiteral("6203"), QStringLiteral("s3cret6203")},
};

class WholeSystem : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (m_started)
            shutDown();
        RDModal::clearAnswers();
        RDModal::setUnscriptedHandler(RDModal::Handler());
    }

    // Settings an installer leaves: loopback addresses, free ports, the
    // HTTP API and the phone-app server with its account.
    void configure()
    {
        VelmarDB db(true);
        db.checkUpgrade();
        RDConfigure conf;
        conf.initDefaults();
        conf.setSipInternalIp(QStringLiteral("127.0.0.1"));
        conf.setSipInternalNetmask(QStringLiteral("255.0.0.0"));
        conf.setSipExternalIp(QStringLiteral("127.0.0.1"));
        m_sipPort = PaTest::freeUdpPort();
        conf.setSipInternalPort(m_sipPort);
        conf.setSipExternalPort(PaTest::freeUdpPort());
        m_httpPort = PaTest::freeTcpPort();
        conf.setHttpServerPort(m_httpPort);
        conf.setHttpApiEnable(true);
        m_wsPort = PaTest::freeTcpPort();
        conf.setWsEnable(1);
        conf.setWsPort(m_wsPort);
        conf.setAuthEnable(1);
        conf.setAuthUsername(QLatin1String(kAppUser));
        conf.setAuthPassword(QLatin1String(kAppPassword));
        const int rtp = PaTest::freeRtpPort();
        conf.setRtpStartPort(rtp);
        conf.setRtpEndPort(rtp + 99);
    }

    // The program's start-up, as main() runs it, up to the switch answering
    // and the services of the central object running.
    void startUp()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Kelbrin"));
        QCoreApplication::setApplicationName(QStringLiteral("Kelbrin Corvane Lite"));
        ASSERT_TRUE(initGlobals());
        QApplication::setFont(defaultFont());
        m_started = true;
        m_home = new RDHomeDialog;
        m_home->show();
        m_home->loadGroups();
        startFS(m_home->keepRunningFlag());
        // The loading dialog runs its own loop until the switch is ready.
        RDModal::Answer loading;
        loading.kind = QStringLiteral("dialog:FSLoadingDialog");
        loading.realExec = true;
        loading.watchdogMs = 60000;
        RDModal::queue(loading);
        m_home->execLoadingDialog();
        ASSERT_TRUE(m_home->keepRunning());
        Velmar *velmar = Velmar::instance();
        ASSERT_TRUE(velmar);
        ASSERT_TRUE(PaTest::waitUntil(
            [velmar] { return velmar->servicesStartCount() >= 1 && !velmar->isRestartPending() && velmar->api(); },
            20000));
    }

    void shutDown()
    {
        if (Velmar *velmar = Velmar::instance())
            velmar->shutdown();
        delete m_home;
        m_home = nullptr;
        stopFS();
        uninitGlobals();
        m_started = false;
    }



    // The operator adds zone `number` with the home screen's add button:
    // on the zone add dialog, devices picked on the device list (where
    // `newSpeakers` are added first), the media source a list of `files`.
    // The id of the zone stored, 0 when none was.
    int addZone(const QString &number, const QString &name, const std::vector<SippSpeakers::Account> &newSpeakers,
                const QStringList &files)
    {
        PaUiTest::answerDialog("RDGroupAddDialog", [&](QDialog *d) {
            auto *add = static_cast<RDGroupAddDialog *>(d);
            add->editor()->numberRow()->setText(number);
            add->editor()->nameRow()->setText(name);
            if (!newSpeakers.empty()) {
                PaUiTest::answerDialog("RDDevicesDialog", [&newSpeakers](QDialog *d) {
                    auto *list = static_cast<RDDevicesDialog *>(d);
                    for (const SippSpeakers::Account &account : newSpeakers) {
                        PaUiTest::answerDialog("RDDeviceAddOneDialog", [&account](QDialog *one) {
                            PaUiTest::typeInto(one, "numberEdit", account.number);
                            PaUiTest::typeInto(one, "nameEdit", QStringLiteral("Speaker ") + account.number);
                            PaUiTest::typeInto(one, "passwordEdit", account.password);
                            QTest::mouseClick(one->findChild<RDLabel *>(QStringLiteral("okButton")), Qt::LeftButton);
                        });
                        emit list->addOneButton()->clicked();
                    }
                    emit list->selectAllLabel()->clicked();
                    emit list->selectButton()->clicked();
                });
                EXPECT_TRUE(add->editor()->pickDevices());
            }
            add->editor()->sourceWidget()->sourceCombo()->setCurrentIndex(RDGroupSourceWidget::MediaIndex);
            RDModal::Answer pick;
            pick.kind = QStringLiteral("open files");
            pick.files = files;
            RDModal::queue(pick);
            add->editor()->sourceWidget()->mediaWidget()->fileList()->onClickAddButton();
            QTest::mouseClick(add->okButton(), Qt::LeftButton);
        });
        QTest::mouseClick(m_home->groupWidget()->addButton(), Qt::LeftButton);
        EXPECT_EQ(RDModal::pendingAnswers(), 0);
        const RDGroup stored = VelmarDB(true).selectGroupByConference(number);
        return stored.id;
    }

    // The home screen's tile of zone `number`; null when there is none.
    RDGroupListItemWidget *tile(const QString &number) const
    {
        for (RDGroupListItemWidget *item : m_home->groupWidget()->listWidget()->items()) {
            if (item->group().conference == number)
                return item;
        }
        return nullptr;
    }

    // Whether the tile of zone `number` comes to show the zone `playing`
    // (its run state and its play button) within a few seconds.
    bool tileShows(const QString &number, bool playing) const
    {
        return PaTest::waitUntil(
            [&] {
                RDGroupListItemWidget *t = tile(number);
                return t && (t->group().started != 0) == playing && t->playButton()->isChecked() == playing;
            },
            15000);
    }

    std::string action(const std::string &query)
    {
        std::string body;
        EXPECT_TRUE(httpGet(m_httpPort, "/action?" + query, body)) << query;
        return body;
    }

    // Every speaker is called and hears the zone (some audio arrives).
    void expectEverySpeakerCalled(SippSpeakers &speakers)
    {
        for (int i = 0; i < speakers.count(); ++i)
            EXPECT_TRUE(speakers.audio(i).waitForReadyRead(15000)) << kSpeakers[size_t(i)].number.toStdString();
    }

    // A file of the program's switch package, for failure messages.
    static std::string switchFile(const QString &relative)
    {
        QFile f(QCoreApplication::applicationDirPath() + QStringLiteral("/RUVIDAZA/") + relative);
        return f.open(QIODevice::ReadOnly) ? "\n" + relative.toStdString() + ":\n" + f.readAll().toStdString()
                                           : std::string();
    }

    // Rescans of the switch's internal profile so far: the last step of the
    // switch manager's pass that applies a new zone, reloading the
    // directory as well.
    static int internalRescans()
    {
        return QString::fromStdString(switchFile(QStringLiteral("log/console.log")))
            .count(QLatin1String("sofia profile internal rescan => Reload XML [Success]"));
    }

    // The run inside the install folder.
    void runInstalled();

    bool m_started = false;
    RDHomeDialog *m_home = nullptr;
    int m_sipPort = 0;
    int m_httpPort = 0;
    int m_wsPort = 0;
};

void WholeSystem::runInstalled()
{
    // Every modal of this run is answered in advance.
    RDModal::setUnscriptedHandler([](const QString &kind, const QString &text) {
        ADD_FAILURE() << "unanswered modal " << kind.toStdString() << ": " << text.toStdString();
        return 0;
    });
    const QString folder = QCoreApplication::applicationDirPath();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString tone = folder + QStringLiteral("/media/tone 1k.wav");
    ASSERT_TRUE(PaTest::writeWav(tone, Tone::sine(1000.0, 8000, 1, 8000 * 30), 8000));

    configure();
    startUp();
    if (HasFatalFailure())
        return;
    Velmar *velmar = Velmar::instance();

    // A second zone, then a zone of three new speakers playing the tone
    // file. A new zone is applied to the switch by a pass of the switch
    // manager that ends with a rescan of the internal profile, which reads
    // the directory with the new speakers as well.
    ASSERT_GT(addZone(QStringLiteral("3002"), QStringLiteral("Car park"), {}, {tone}), 0);
    const int rescans = internalRescans();
    const int hallId = addZone(QStringLiteral("3001"), QStringLiteral("Hall"), kSpeakers, {tone});
    ASSERT_GT(hallId, 0);
    const RDGroup hall = velmar->getGroupById(hallId);
    ASSERT_EQ(hall.deviceList.size(), 3);
    EXPECT_EQ(hall.source, QStringLiteral("media"));
    EXPECT_TRUE(hall.medium.contains(tone)) << hall.medium.toStdString();

    // The speakers register with the passwords entered on the device list.
    ASSERT_TRUE(PaTest::waitUntil(
        [&] { return !FSManager::instance()->isReloadPending() && internalRescans() > rescans; }, 15000));
    SippSpeakers speakers(work.path());
    ASSERT_TRUE(speakers.registerAll(m_sipPort, kSpeakers)) << switchFile(QStringLiteral("log/console.log"));
    ASSERT_TRUE(speakers.awaitCalls());

    // Started from its tile: each speaker rings, answers and hears the tone
    // file (most of the energy at 1 kHz, and loud enough not to be near
    // silence), and the tile shows the zone playing.
    ASSERT_TRUE(tile(QStringLiteral("3001")));
    QTest::mouseClick(tile(QStringLiteral("3001"))->playButton(), Qt::LeftButton);
    for (int i = 0; i < speakers.count(); ++i) {
        const std::vector<double> heard = SippSpeakers::receivedAudio(speakers.audio(i), 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << kSpeakers[size_t(i)].number.toStdString();
        EXPECT_GE(Tone::blocksOfTone(heard, 1000.0, 8000), 8) << kSpeakers[size_t(i)].number.toStdString();
        EXPECT_GT(Tone::rmsDb(heard), -40.0) << kSpeakers[size_t(i)].number.toStdString();
    }
    EXPECT_TRUE(tileShows(QStringLiteral("3001"), true));
    EXPECT_FALSE(tile(QStringLiteral("3002"))->playButton()->isChecked());

    // The picture of the home screen with one zone of several playing.
    const QString shot = qEnvironmentVariable(kShotPath);
    if (!shot.isEmpty()) {
        m_home->resize(1024, 640);
        EXPECT_TRUE(m_home->grab().save(shot));
        std::printf("home screen picture: %s\n", qPrintable(shot));
    }

    // Stopped from its tile: every speaker gets its BYE.
    QTest::mouseClick(tile(QStringLiteral("3001"))->playButton(), Qt::LeftButton);
    EXPECT_TRUE(speakers.waitHungUp());
    EXPECT_TRUE(tileShows(QStringLiteral("3001"), false));

    // The event log window shows the start and the stop, newest first.
    {
        PALogDialog log(m_home);
        log.setGroups(velmar->getGroups());
        log.searchButton()->click();
        QTableWidget *table = log.logsView()->table();
        ASSERT_EQ(table->rowCount(), 2);
        EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("3001"));
        EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("Stop"));
        EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("3001"));
        EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("Start"));
        EXPECT_EQ(table->item(1, 2)->text(), QStringLiteral("Medium"));
    }

    // Over "/action": the tile follows the start and the stop.
    ASSERT_TRUE(speakers.awaitCalls());
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    expectEverySpeakerCalled(speakers);
    EXPECT_TRUE(tileShows(QStringLiteral("3001"), true));
    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    EXPECT_TRUE(speakers.waitHungUp());
    EXPECT_TRUE(tileShows(QStringLiteral("3001"), false));

    // From a phone-app session: the tile follows the start.
    ASSERT_TRUE(speakers.awaitCalls());
    AppWebSocketClient app(m_wsPort);
    ASSERT_TRUE(app.waitConnected());
    ASSERT_EQ(app.login(QLatin1String(kAppUser), QLatin1String(kAppPassword)), 0);
    EXPECT_EQ(app.ask("StartGroup", hallId), 0);
    expectEverySpeakerCalled(speakers);
    EXPECT_TRUE(tileShows(QStringLiteral("3001"), true));

    // The tray's Exit ends the program while the zone plays: the start-up
    // sequence leaves its loop, and as the program shuts down every speaker
    // gets its BYE.
    QAction *exit = m_home->trayMenu() ? m_home->trayMenu()->actions().value(2) : nullptr;
    ASSERT_NE(exit, nullptr);
    ASSERT_EQ(exit->text(), QStringLiteral("Exit"));
    exit->trigger();
    EXPECT_FALSE(m_home->keepRunning());
    shutDown();
    EXPECT_TRUE(speakers.waitHungUp()) << switchFile(QStringLiteral("log/switch.log"));
}

// The install folder: a private copy of the switch package, the language
// file, and this program in the place of the program's executable.
TEST_F(WholeSystem, ZoneMadeOnTheScreensPlaysToEverySpeakerAndFollowsEveryControl)
{
    if (qEnvironmentVariableIsSet(kInstalledRun)) {
        runInstalled();
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
        GTEST_SKIP() << "sipp is not installed";
    PaTest::SwitchStandIn package(false);
    ASSERT_TRUE(package.isValid());
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString folder = QFileInfo(package.folder()).path();
    const QString program = folder + QStringLiteral("/Velmar");
    // A hard link where the file system allows it: the test program is large.
    const QString self = QCoreApplication::applicationFilePath();
    if (::link(QFile::encodeName(self).constData(), QFile::encodeName(program).constData()) != 0) {
        ASSERT_TRUE(QFile::copy(self, program));
    }
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/language")));
    ASSERT_TRUE(QFile::copy(PaTest::binDir() + QStringLiteral("/language/English.txt"),
                            folder + QStringLiteral("/language/English.txt")));

    const QString shot = PaTest::binDir() + QStringLiteral("/tests/whole-system-home.png");
    QFile::remove(shot);
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kInstalledRun), QStringLiteral("1"));
    env.insert(QLatin1String(kShotPath), shot);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(folder);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(program, {QStringLiteral("--gtest_filter=%1.%2").arg(QLatin1String(test->test_suite_name()),
                                                                   QLatin1String(test->name()))});
    ASSERT_TRUE(run.waitForStarted(10000));
    const bool ended = run.waitForFinished(150000);
    if (!ended) {
        run.kill();
        run.waitForFinished(5000);
    }
    const QByteArray output = run.readAll();
    for (qint64 pid : Platform::findProcessesByExecutable(package.folder(), FSManager::kSwitchProgram))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(ended) << output.toStdString();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    std::printf("%s", output.constData());
    EXPECT_TRUE(QFileInfo(shot).size() > 0) << shot.toStdString();
}

} // namespace
