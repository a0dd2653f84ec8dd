#include "PAAlertDialog.h"
#include "PAGroupCallDialog.h"
#include "PALogDB.h"
#include "RDDefaultFont.h"
#include "RDGroupAddDialog.h"
#include "RDGroupBackgroundDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupInfoWidget.h"
#include "RDGroupListItemWidget.h"
#include "RDGroupListWidget.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupStreamDialog.h"
#include "RDHomeDialog.h"
#include "RDHomeGroupWidget.h"
#include "RDHomeHeaderButton.h"
#include "RDHomeHeaderWidget.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDPixmapsButton.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "Velmar.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

// The main window over a private database holding three zones (no switch).
class HomeTest : public ZoneStoreFixture
{
protected:
    void SetUp() override
    {
        ZoneStoreFixture::SetUp();
        {
            PALogDB log(true);
            ASSERT_TRUE(log.checkUpgrade());
        }
        m_hall = zone("3001", "Hall", "media", 3);
        m_yard = zone("3002", "Yard", "media", 2);
        m_prayer = zone("3003", "Prayer", "pray", 1);
        m_home = new RDHomeDialog;
        m_home->show();
        m_home->loadGroups();
        ASSERT_EQ(panel()->groups().size(), 3);
    }

    void TearDown() override
    {
        delete m_home;
        RDModal::clearAnswers();
        ZoneStoreFixture::TearDown();
    }

    RDGroup zone(const char *conference, const char *name, const char *source, int sortIndex)
    {
        RDGroup g;
        g.conference = QLatin1String(conference);
        g.name = QLatin1String(name);
        g.source = QLatin1String(source);
        g.sortIndex = sortIndex;
        return stored(g);
    }

    RDHomeGroupWidget *panel() const { return m_home->groupWidget(); }
    RDGroupInfoWidget *info() const { return panel()->infoWidget(); }
    RDGroupListItemWidget *tile(int id) const
    {
        for (RDGroupListItemWidget *item : panel()->listWidget()->items()) {
            if (item->group().id == id)
                return item;
        }
        return nullptr;
    }
    void clickTile(int id) { QTest::mouseClick(tile(id), Qt::LeftButton, {}, QPoint(10, 10)); }
    void setPanelName(const QString &name) { info()->editor()->nameRow()->setText(name); }
    QString toast() const { return m_home->toastLabel() ? m_home->toastLabel()->text() : QString(); }
    QString storedName(int id) { return m_velmar->getGroupById(id).name; }
    int logCount(const RDGroup &g)
    {
        PALogDB log(true);
        return log.countLogs(g.conference, QStringLiteral("2000-01-01 00:00:00"),
                                   QStringLiteral("2100-01-01 00:00:00"));
    }
    // An Exit asks the application's loop to end; end one here so the
    // request does not linger for the next test's loops.
    static void endPendingQuit()
    {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }

    RDGroup m_hall, m_yard, m_prayer;
    RDHomeDialog *m_home = nullptr;
};

} // namespace

TEST_F(HomeTest, ClosingAsksMinimisedKeepsRunningExitStoresTheEdits)
{
    ASSERT_EQ(panel()->infoWidget()->group().id, m_hall.id);
    EXPECT_EQ(RDHomeDialog::instance(), m_home);
    RDModal::takeShown();

    // Escape never closes the main window (an unscripted box would fail).
    QTest::keyClick(m_home, Qt::Key_Escape);
    EXPECT_TRUE(m_home->isVisible());

    PAAlertDialog::setNextAnswer(1); // "Minimized"
    m_home->close();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(m_home->isVisible());
    } else {
        // Nothing could bring a hidden window back: it waits on the task bar.
        EXPECT_TRUE(m_home->isVisible());
        EXPECT_TRUE(m_home->isMinimized());
    }
    EXPECT_TRUE(m_home->keepRunning());
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")),
              QStringList{QStringLiteral("Do you want to exit the application")});

    // The title bar's close button asks the same; "Exit" stores the panel's
    // edits without a word and ends the program.
    m_home->showNormal();
    setPanelName(QStringLiteral("Main hall"));
    PAAlertDialog::setNextAnswer(0); // "Exit"
    QTest::mouseClick(m_home->findChild<QWidget *>(QStringLiteral("close")), Qt::LeftButton);
    EXPECT_FALSE(m_home->keepRunning());
    EXPECT_FALSE(m_home->isVisible());
    EXPECT_EQ(storedName(m_hall.id), QStringLiteral("Main hall"));
    endPendingQuit();
    // The loading dialog does not run once the flag is cleared.
    m_home->execLoadingDialog();
}

TEST_F(HomeTest, TrayMenuOpensAndExits)
{
    QMenu *menu = m_home->trayMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(m_home->trayIcon(), nullptr);
    EXPECT_EQ(m_home->trayIcon()->contextMenu(), menu);
    EXPECT_EQ(m_home->trayIcon()->toolTip(), QStringLiteral("Kelbrin Corvane Lite"));
    const QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Open"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), QStringLiteral("Exit"));

    // Open shows the window again and reads the zones anew.
    m_home->hide();
    RDGroup extra = zone("3004", "Roof", "media", 0);
    actions[0]->trigger();
    EXPECT_TRUE(m_home->isVisible());
    EXPECT_EQ(panel()->groups().size(), 4);

    // A language change builds the icon and its menu anew in the new
    // language.
    {
        PaUiTest::TestLanguage language(
            "Open=Zeigen\nExit=Beenden\nAll Zones=Alle Zonen\nKelbrin Corvane Lite=Beschallung\n");
        ASSERT_TRUE(language.isValid());
        ASSERT_TRUE(RDLocalize::changeLanguage(QStringLiteral("Test")));
        ASSERT_NE(m_home->trayIcon(), nullptr);
        EXPECT_EQ(m_home->trayIcon()->toolTip(), QStringLiteral("Beschallung"));
        EXPECT_EQ(m_home->windowTitle(), QStringLiteral("Beschallung"));
        ASSERT_NE(m_home->trayMenu(), nullptr);
        EXPECT_EQ(m_home->trayMenu()->actions()[0]->text(), QStringLiteral("Zeigen"));
        EXPECT_EQ(m_home->trayMenu()->actions()[2]->text(), QStringLiteral("Beenden"));
        EXPECT_EQ(panel()->titleLabel()->text(), QStringLiteral("Alle Zonen"));
    }
    RDLocalize::changeLanguage(QStringLiteral("English"));
    EXPECT_EQ(m_home->trayIcon()->toolTip(), QStringLiteral("Kelbrin Corvane Lite"));
    EXPECT_EQ(m_home->trayMenu()->actions()[0]->text(), QStringLiteral("Open"));

    setPanelName(QStringLiteral("Hall 2"));
    m_home->trayMenu()->actions()[2]->trigger();
    EXPECT_FALSE(m_home->keepRunning());
    EXPECT_EQ(storedName(m_hall.id), QStringLiteral("Hall 2"));
    endPendingQuit();
}

TEST_F(HomeTest, SaveButtonValidatesAndStoresThePanelZone)
{
    const struct
    {
        const char *number, *name, *toast, *storedNumber, *storedName;
    } cases[] = {
        {"3001", "Hall", "Save Success", "3001", "Hall"},           // nothing changed
        {"2999", "Lobby", "Conference is invalid", "3001", "Hall"}, // out of range
        {"12345", "Lobby", "Conference is invalid", "3001", "Hall"},
        {"3002", "Lobby", "Save Failure", "3001", "Hall"},          // the yard's number
        {"3011", "Lobby", "Save Success", "3011", "Lobby"},
    };
    RDHomeHeaderButton *save = m_home->headerWidget()->saveButton();
    for (const auto &c : cases) {
        info()->editor()->numberRow()->setText(QLatin1String(c.number));
        setPanelName(QLatin1String(c.name));
        QTest::mouseClick(save, Qt::LeftButton);
        EXPECT_EQ(toast(), QLatin1String(c.toast)) << c.number;
        const RDGroup back = m_velmar->getGroupById(m_hall.id);
        EXPECT_EQ(back.conference, QLatin1String(c.storedNumber)) << c.number;
        EXPECT_EQ(back.name, QLatin1String(c.storedName)) << c.number;
        // A refused save keeps what the operator typed.
        EXPECT_EQ(info()->readGroup().name, QLatin1String(c.name)) << c.number;
    }
}

TEST_F(HomeTest, TilesFollowTheCoreAndKeepUnsavedEdits)
{
    setPanelName(QStringLiteral("Hall (edited)"));
    std::thread([&] {
        m_velmar->onGroupStarted(m_hall.id, m_hall.conference, QStringLiteral("api"), QStringLiteral("x"));
    }).join();
    ASSERT_TRUE(PaTest::waitUntil([&] { return tile(m_hall.id)->group().started == 1; }));
    EXPECT_EQ(info()->group().started, 1);
    EXPECT_TRUE(tile(m_hall.id)->playButton()->isChecked());
    // The run state moved; the operator's edit stayed.
    EXPECT_EQ(info()->readGroup().name, QStringLiteral("Hall (edited)"));

    std::thread([&] {
        m_velmar->onGroupPlayChanged(m_hall.id, m_hall.conference, 2, QStringLiteral("b.mp3"));
    }).join();
    ASSERT_TRUE(PaTest::waitUntil([&] { return info()->group().playIndex == 2; }));
    EXPECT_EQ(tile(m_hall.id)->group().playIndex, 2);

    std::thread([&] {
        m_velmar->onGroupStopped(m_hall.id, m_hall.conference, QStringLiteral("user"), QStringLiteral("x"));
    }).join();
    ASSERT_TRUE(PaTest::waitUntil([&] { return tile(m_hall.id)->group().started == 0; }));
    EXPECT_EQ(info()->readGroup().name, QStringLiteral("Hall (edited)"));

    // A replaced database: every zone is read again, the panel keeps its zone.
    zone("3004", "Roof", "media", 9);
    std::thread([&] { m_velmar->notifyDataReloaded(); }).join();
    ASSERT_TRUE(PaTest::waitUntil([&] { return panel()->groups().size() == 4; }));
    EXPECT_EQ(info()->group().id, m_hall.id);
    EXPECT_EQ(info()->readGroup().name, QStringLiteral("Hall (edited)"));
}

TEST_F(HomeTest, TileStartStoresEditsStopsRunningAndRefusesPrayer)
{
    // Another tile stores the panel's edits without asking.
    setPanelName(QStringLiteral("Big hall"));
    clickTile(m_yard.id);
    EXPECT_EQ(storedName(m_hall.id), QStringLiteral("Big hall"));
    EXPECT_EQ(info()->group().id, m_yard.id);
    EXPECT_TRUE(tile(m_yard.id)->isSelected());
    EXPECT_FALSE(tile(m_hall.id)->isSelected());

    // Start of the shown zone stores its edits first.
    setPanelName(QStringLiteral("Back yard"));
    QTest::mouseClick(tile(m_yard.id)->playButton(), Qt::LeftButton);
    EXPECT_EQ(storedName(m_yard.id), QStringLiteral("Back yard"));

    QTest::mouseClick(tile(m_prayer.id)->playButton(), Qt::LeftButton);
    EXPECT_EQ(toast(), QStringLiteral("Can not start pray manually"));
    EXPECT_EQ(logCount(m_prayer), 0);

    // A running zone's button stops it through the core (logged as the
    // operator's stop); the tile waits for the stop notification.
    m_home->groupWidget()->updateGroupStarted([&] {
        RDGroup g = m_velmar->getGroupById(m_hall.id);
        g.started = 1;
        return g;
    }());
    QTest::mouseClick(tile(m_hall.id)->playButton(), Qt::LeftButton);
    EXPECT_EQ(logCount(m_hall), 1);
    EXPECT_EQ(tile(m_hall.id)->group().started, 1);
}

TEST_F(HomeTest, AddAndDeleteReachTheDatabase)
{
    RDModal::Answer add;
    add.kind = QStringLiteral("dialog:RDGroupAddDialog");
    add.result = QDialog::Accepted;
    add.action = [](QObject *o) {
        auto *dialog = qobject_cast<RDGroupAddDialog *>(o);
        ASSERT_NE(dialog, nullptr);
        dialog->editor()->numberRow()->setText(QStringLiteral("3020"));
        dialog->editor()->nameRow()->setText(QStringLiteral("Canteen"));
        dialog->onClickOKButton();
    };
    RDModal::queue(add);
    QTest::mouseClick(panel()->addButton(), Qt::LeftButton);
    ASSERT_EQ(RDModal::pendingAnswers(), 0);
    const RDGroup canteen = m_velmar->getGroupByConference(QStringLiteral("3020"));
    ASSERT_TRUE(canteen.isValid());
    EXPECT_EQ(canteen.name, QStringLiteral("Canteen"));
    // Placed above the rest, shown and selected.
    EXPECT_EQ(panel()->groups().first().id, canteen.id);
    EXPECT_EQ(info()->group().id, canteen.id);
    EXPECT_TRUE(tile(canteen.id)->isSelected());

    // The menu names the yard; while the question is open the hall goes.
    // OK then removes the yard only.
    RDModal::Answer ask;
    ask.kind = QStringLiteral("alert");
    ask.result = 1;
    ask.action = [&](QObject *) { panel()->updateGroupDelete(m_hall); };
    RDModal::queue(ask);
    panel()->onClickGroupItemDelete(tile(m_yard.id));
    ASSERT_TRUE(PaTest::waitUntil([&] { return RDModal::pendingAnswers() == 0; }));
    ASSERT_TRUE(PaTest::waitUntil([&] { return !m_velmar->getGroupById(m_yard.id).isValid(); }));
    EXPECT_TRUE(m_velmar->getGroupById(m_hall.id).isValid());
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")), QStringList{QStringLiteral("Delete Zone")});

    // A started zone is not deleted and nothing is asked (an unscripted
    // box would fail the test).
    RDGroup running = m_velmar->getGroupById(m_prayer.id);
    running.started = 1;
    panel()->updateGroupStarted(running);
    panel()->onClickGroupItemDelete(tile(m_prayer.id));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_velmar->getGroupById(m_prayer.id).isValid());
}

TEST_F(HomeTest, CallsAndBackgroundGoThroughTheirDialogs)
{
    QStringList called;
    auto answerCall = [&] {
        RDModal::Answer call;
        call.kind = QStringLiteral("dialog:PAGroupCallDialog");
        call.action = [&](QObject *o) { called << qobject_cast<PAGroupCallDialog *>(o)->number(); };
        RDModal::queue(call);
    };
    // The panel's call button, after an edit of the number: stored, then
    // the new number is called.
    info()->editor()->numberRow()->setText(QStringLiteral("3031"));
    answerCall();
    QTest::mouseClick(info()->editor()->numberRow()->callButton(), Qt::LeftButton);
    EXPECT_EQ(m_velmar->getGroupById(m_hall.id).conference, QStringLiteral("3031"));

    // The speak button of a zone's video view calls that zone.
    RDModal::Answer video;
    video.kind = QStringLiteral("dialog:RDGroupStreamDialog");
    video.action = [](QObject *o) { qobject_cast<RDGroupStreamDialog *>(o)->onClickSpeakButton(); };
    RDModal::queue(video);
    answerCall();
    panel()->onClickGroupItemVideo(tile(m_yard.id));
    EXPECT_EQ(called, (QStringList{QStringLiteral("3031"), QStringLiteral("3002")}));

    // A picture chosen for the yard is stored through the core.
    QTemporaryDir pictures;
    const QString picture = pictures.filePath(QStringLiteral("yard.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(picture));
    RDModal::Answer background;
    background.kind = QStringLiteral("dialog:RDGroupBackgroundDialog");
    background.result = QDialog::Accepted;
    background.action = [&](QObject *o) {
        qobject_cast<RDGroupBackgroundDialog *>(o)->setBackground(QStringLiteral("image"), picture, {}, {});
    };
    RDModal::queue(background);
    panel()->onClickGroupItemBackground(tile(m_yard.id));
    const RDGroup yard = m_velmar->getGroupById(m_yard.id);
    ASSERT_FALSE(yard.backgroundImage.isEmpty());
    const QString copy = QDir(Velmar::backgroundDir()).filePath(yard.backgroundImage);
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_EQ(tile(m_yard.id)->group().backgroundImage, yard.backgroundImage);
    QFile::remove(copy);
}

TEST_F(HomeTest, ReloadFromAnotherThreadIsCarriedOverToTheWindow)
{
    RDGroup renamed = m_hall;
    renamed.name = QStringLiteral("Assembly hall");
    ASSERT_TRUE(m_velmar->updateGroup(m_hall, renamed));
    std::thread([&] { m_home->reload(); }).join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return info()->readGroup().name == QLatin1String("Assembly hall"); }));
    EXPECT_EQ(tile(m_hall.id)->group().name, QStringLiteral("Assembly hall"));

    renamed.name = QStringLiteral("Old hall");
    RDGroup previous = m_velmar->getGroupById(m_hall.id);
    ASSERT_TRUE(m_velmar->updateGroup(previous, renamed));
    std::thread([] { Velmar::reloadHome(); }).join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return info()->readGroup().name == QLatin1String("Old hall"); }));
    EXPECT_EQ(info()->readGroup().source, QStringLiteral("media"));

    // Unsaved edits outlive a reload, measured against the fresh record.
    setPanelName(QStringLiteral("Typed"));
    m_home->reload();
    EXPECT_EQ(info()->readGroup().name, QStringLiteral("Typed"));
    EXPECT_EQ(info()->group().name, QStringLiteral("Old hall"));
    EXPECT_TRUE(info()->isChanged(info()->readGroup()));
}

TEST_F(HomeTest, MoreSettingsWaitingForTheirStoreOutliveAReload)
{
    // The number is the yard's, so the more dialog's result cannot be
    // stored and waits in the panel.
    info()->editor()->numberRow()->setText(QStringLiteral("3002"));
    RDModal::Answer more;
    more.kind = QStringLiteral("dialog:RDGroupMoreDialog");
    more.result = QDialog::Accepted;
    more.action = [](QObject *o) {
        auto *dialog = qobject_cast<RDGroupMoreDialog *>(o);
        ASSERT_NE(dialog, nullptr);
        RDGroup g = dialog->group();
        g.rtpEnable = 1;
        g.rtpUrl = QStringLiteral("239.1.1.1:5004");
        dialog->setGroup(g);
    };
    RDModal::queue(more);
    info()->onClickMoreButton(RDGroupMoreDialog::RtpTab);
    ASSERT_EQ(RDModal::pendingAnswers(), 0);
    EXPECT_EQ(toast(), QStringLiteral("Save Failure"));
    EXPECT_EQ(m_velmar->getGroupById(m_hall.id).rtpEnable, 0);

    m_home->reload();
    EXPECT_TRUE(info()->editor()->moreRow()->multicastButton()->isChecked());
    EXPECT_EQ(info()->readGroup().rtpEnable, 1);

    // The operator puts the number back and saves: all of it is stored.
    info()->editor()->numberRow()->setText(QStringLiteral("3001"));
    QTest::mouseClick(m_home->headerWidget()->saveButton(), Qt::LeftButton);
    EXPECT_EQ(toast(), QStringLiteral("Save Success"));
    const RDGroup back = m_velmar->getGroupById(m_hall.id);
    EXPECT_EQ(back.conference, QStringLiteral("3001"));
    EXPECT_EQ(back.rtpEnable, 1);
    EXPECT_EQ(back.rtpUrl, QStringLiteral("239.1.1.1:5004"));
}

TEST_F(HomeTest, PanelThatIsGoneHearsNothing)
{
    const int observers = m_velmar->observerCount();
    auto *gone = new RDHomeGroupWidget;
    gone->loadGroups();
    EXPECT_EQ(m_velmar->observerCount(), observers + 1);
    // Queued calls are still pending when the panel goes.
    std::thread([&] {
        m_velmar->onGroupStarted(m_hall.id, m_hall.conference, QStringLiteral("user"), QStringLiteral("x"));
    }).join();
    delete gone;
    EXPECT_EQ(m_velmar->observerCount(), observers);
    QCoreApplication::processEvents();
    // The main window's panel, still listening, heard the start.
    EXPECT_EQ(tile(m_hall.id)->group().started, 1);
    std::thread([&] {
        m_velmar->onGroupStopped(m_hall.id, m_hall.conference, QStringLiteral("user"), QStringLiteral("x"));
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(tile(m_hall.id)->group().started, 0);
}

TEST_F(HomeTest, LastZoneGoneGreysThePanelAndTheFirstNewOneIsShown)
{
    for (const RDGroup &g : {m_hall, m_yard, m_prayer})
        panel()->updateGroupDelete(g);
    EXPECT_TRUE(panel()->listWidget()->items().isEmpty());
    EXPECT_EQ(info()->group().id, 0);
    EXPECT_FALSE(info()->isEnabled());

    panel()->updateGroupAdded(m_yard);
    EXPECT_EQ(info()->group().id, m_yard.id);
    EXPECT_TRUE(tile(m_yard.id)->isSelected());
    EXPECT_TRUE(info()->isEnabled());
}

TEST_F(HomeTest, HeaderButtonsOpenDevicesAndSettings)
{
    RDHomeHeaderWidget *header = m_home->headerWidget();
    RDHomeHeaderButton *buttons[] = {header->saveButton(), header->devicesButton(), header->optionsButton()};
    // In a row across the bar, none over the next, each with room for its
    // 20 px image and its whole text at the program's font (5 px margins
    // round both); longer texts of another language too.
    const auto checkRow = [&](const char *language) {
        const QFontMetrics metrics(defaultFont());
        for (int i = 0; i < 3; ++i) {
            const QRect g = buttons[i]->geometry();
            EXPECT_TRUE(g.left() >= 0 && g.right() < header->width()) << language << i;
            EXPECT_GE(g.width(), 5 + 20 + metrics.horizontalAdvance(buttons[i]->text()) + 5) << language << i;
            EXPECT_GE(g.height(), metrics.height()) << language << i;
            if (i > 0) {
                const QRect left = buttons[i - 1]->geometry();
                EXPECT_GT(g.left(), left.right()) << language << i;
                EXPECT_TRUE(g.top() <= left.bottom() && left.top() <= g.bottom()) << language << i;
            }
        }
    };
    checkRow("English");
    {
        PaUiTest::TestLanguage language("Save Configure=Konfiguration speichern\nDevices=Alle Lautsprecher\n"
                                        "Options=Einstellungen\n");
        ASSERT_TRUE(language.isValid());
        ASSERT_TRUE(RDLocalize::changeLanguage(QStringLiteral("Test")));
        ASSERT_EQ(buttons[0]->text(), QStringLiteral("Konfiguration speichern"));
        checkRow("Test");
    }
    RDLocalize::changeLanguage(QStringLiteral("English"));

    RDModal::takeShown();
    RDModal::queue(QStringLiteral("dialog:RDDevicesDialog"), 0);
    RDModal::queue(QStringLiteral("dialog:VelmarSettingsDialog"), 0);
    QTest::mouseClick(header->devicesButton(), Qt::LeftButton);
    QTest::mouseClick(header->optionsButton(), Qt::LeftButton);
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("dialog:RDDevicesDialog")).size(), 1);
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("dialog:VelmarSettingsDialog")).size(), 1);
}
