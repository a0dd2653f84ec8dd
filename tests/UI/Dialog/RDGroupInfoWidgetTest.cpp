#include "PAAlertDialog.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceNameModifyDialog.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupInfoWidget.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupPriorityWidget.h"
#include "RDGroupVolumeWidget.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapsButton.h"
#include "RDSlider.h"
#include "Velmar.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

class ZonePanelTest : public ZoneStoreFixture
{
protected:
    RDDevice device(const char *number, const char *name)
    {
        RDDevice d;
        d.number = QLatin1String(number);
        d.name = QLatin1String(name);
        d.password = QStringLiteral("pw");
        d.id = m_velmar->addDevice(d);
        EXPECT_GT(d.id, 0);
        return d;
    }

    RDGroup zone(const char *conference, const char *name)
    {
        RDGroup g;
        g.conference = QLatin1String(conference);
        g.name = QLatin1String(name);
        g.source = QStringLiteral("device");
        return stored(g);
    }

    // Answers the next more dialog run: `change` edits its copy, OK.
    static void answerMore(const std::function<void(RDGroup &)> &change)
    {
        RDModal::Answer a;
        a.kind = QStringLiteral("dialog:RDGroupMoreDialog");
        a.result = QDialog::Accepted;
        a.action = [change](QObject *o) {
            auto *dialog = qobject_cast<RDGroupMoreDialog *>(o);
            ASSERT_NE(dialog, nullptr);
            RDGroup g = dialog->group();
            change(g);
            dialog->setGroup(g);
        };
        RDModal::queue(a);
    }

    static void setName(RDGroupInfoWidget &panel, const QString &name)
    {
        panel.editor()->nameRow()->edit()->setText(name);
    }
};

TEST_F(ZonePanelTest, ZoneFieldsRoundTripThroughTheDatabase)
{
    const RDDevice d1 = device("6001", "Hall");
    const RDDevice d2 = device("6002", "Gate");
    struct Case
    {
        const char *source;
        int priority;
        int volume;
        QVector<RDDevice> devices;
    } cases[] = {
        {"device", 0, -10, {}},
        {"stream", 8, 10, {d1}},
        {"media", 4, 0, {d1, d2}},
        {"pray", 1, -3, {d2}},
    };
    int conference = 3000;
    for (const Case &c : cases) {
        RDGroup g;
        g.conference = QString::number(conference++);
        g.name = QStringLiteral("Zone ") + QLatin1String(c.source);
        g.source = QLatin1String(c.source);
        g.streamUrl = QStringLiteral("http://127.0.0.1:8000/live");
        g.setMedia({QStringLiteral("/srv/a b.mp3"), QStringLiteral("/srv/ü.wav")});
        g.priority = c.priority;
        g.volume = c.volume;
        g.setDevices(c.devices);
        const RDGroup loaded = stored(g);

        RDGroupInfoWidget panel;
        panel.resize(900, 600);
        panel.setGroup(loaded);
        EXPECT_EQ(panel.editor()->priorityRow()->comboBox()->currentText(), QString::number(c.priority + 1));
        EXPECT_EQ(panel.editor()->volumeRow()->muteButton()->isChecked(), c.volume == -10) << c.source;
        const RDGroup read = panel.readGroup();
        EXPECT_FALSE(panel.isChanged(read)) << c.source;

        // Edited rows reach the database; the rest comes through untouched.
        panel.editor()->nameRow()->edit()->setText(QStringLiteral("Renamed"));
        panel.editor()->volumeRow()->setVolume(c.volume == 5 ? 6 : 5);
        panel.editor()->priorityRow()->comboBox()->setCurrentIndex(8 - c.priority);
        RDGroup edited = panel.readGroup();
        ASSERT_TRUE(panel.isChanged(edited));
        ASSERT_TRUE(m_velmar->updateGroup(panel.group(), edited)) << c.source;
        RDGroup back = m_velmar->getGroupById(loaded.id);
        EXPECT_EQ(back.name, QStringLiteral("Renamed"));
        EXPECT_EQ(back.volume, 5);
        EXPECT_EQ(back.priority, 8 - c.priority);
        EXPECT_EQ(back.source, QLatin1String(c.source));
        EXPECT_EQ(back.conference, loaded.conference);
        EXPECT_EQ(back.streamUrl, g.streamUrl);
        back.updateMedia();
        EXPECT_EQ(back.mediaList, g.mediaList);
        EXPECT_EQ(back.devices, g.devices) << c.source;
    }
}

TEST_F(ZonePanelTest, EmptyNumberReadsBackAsTheLowestFreeConference)
{
    zone("3000", "a");
    const RDGroup b = zone("3002", "b");
    RDGroupInfoWidget panel;
    panel.setGroup(b);
    EXPECT_EQ(panel.editor()->numberRow()->edit()->placeholderText(), QStringLiteral("3000 ~ 3999"));
    panel.editor()->numberRow()->edit()->clear();
    EXPECT_EQ(panel.readGroup().conference, QStringLiteral("3001"));
}

TEST_F(ZonePanelTest, RunStateNotificationsKeepUnsavedEdits)
{
    const RDGroup a = zone("3000", "Lobby");
    const RDGroup b = zone("3001", "Yard");
    RDGroupInfoWidget panel;
    panel.setGroup(a);
    // Without edits a newer record of the zone shows as it is.
    RDGroup louder = a;
    louder.volume = 7;
    louder.rtpEnable = 1;
    panel.setGroup(louder);
    EXPECT_EQ(panel.editor()->volumeRow()->volume(), 7);
    EXPECT_TRUE(panel.editor()->moreRow()->multicastButton()->isChecked());
    panel.setGroup(a);

    setName(panel, QStringLiteral("Lobby east"));

    RDGroup started = m_velmar->getGroupById(a.id);
    started.started = 1;
    panel.setGroup(started); // a start notification
    EXPECT_EQ(panel.editor()->nameRow()->edit()->text(), QStringLiteral("Lobby east"));
    EXPECT_FALSE(panel.editor()->nameRow()->isEnabled());
    EXPECT_TRUE(panel.editor()->volumeRow()->isEnabled());
    EXPECT_EQ(panel.group().started, 1);

    RDGroup stopped = m_velmar->getGroupById(a.id);
    panel.setGroup(stopped); // the stop notification, a reload
    EXPECT_EQ(panel.editor()->nameRow()->edit()->text(), QStringLiteral("Lobby east"));
    EXPECT_TRUE(panel.editor()->nameRow()->isEnabled());
    EXPECT_TRUE(panel.isChanged(panel.readGroup()));

    // Stored: the stored zone shown again is the new baseline.
    RDGroup edited = panel.readGroup();
    ASSERT_TRUE(m_velmar->updateGroup(panel.group(), edited));
    panel.setGroup(m_velmar->getGroupById(a.id));
    EXPECT_FALSE(panel.isChanged(panel.readGroup()));

    // Another zone replaces the rows.
    panel.setGroup(b);
    EXPECT_EQ(panel.editor()->nameRow()->edit()->text(), QStringLiteral("Yard"));
}

TEST_F(ZonePanelTest, RefusedStoreKeepsEditsAndMoreResultsUntilStored)
{
    const RDGroup a = zone("3000", "Lobby");
    zone("3001", "Yard");
    RDGroupInfoWidget panel;
    panel.setGroup(a);
    QSignalSpy updates(&panel, &RDGroupInfoWidget::requestUpdateGroup);

    answerMore([](RDGroup &g) {
        g.rtpEnable = 1;
        g.rtpUrl = QStringLiteral("239.1.1.1:5004");
    });
    panel.onClickMoreButton(RDGroupMoreDialog::RtpTab);
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_TRUE(panel.editor()->moreRow()->multicastButton()->isChecked());
    EXPECT_EQ(panel.group().rtpEnable, 0) << "the baseline moves only once stored";

    panel.editor()->numberRow()->edit()->setText(QStringLiteral("3001")); // taken
    RDGroup edited = panel.readGroup();
    EXPECT_EQ(edited.rtpEnable, 1);
    EXPECT_FALSE(m_velmar->updateGroup(panel.group(), edited));
    const RDGroup inDb = m_velmar->getGroupById(a.id);
    EXPECT_EQ(inDb.conference, QStringLiteral("3000"));
    EXPECT_EQ(inDb.rtpEnable, 0);

    // A reload after the failure keeps everything for the next try.
    panel.setGroup(inDb);
    edited = panel.readGroup();
    EXPECT_EQ(edited.conference, QStringLiteral("3001"));
    EXPECT_EQ(edited.rtpEnable, 1);
    EXPECT_EQ(edited.rtpUrl, QStringLiteral("239.1.1.1:5004"));
    EXPECT_TRUE(panel.isChanged(edited));

    panel.editor()->numberRow()->edit()->setText(QStringLiteral("3005"));
    edited = panel.readGroup();
    ASSERT_TRUE(m_velmar->updateGroup(panel.group(), edited));
    panel.setGroup(m_velmar->getGroupById(a.id));
    EXPECT_EQ(panel.group().rtpEnable, 1);
    EXPECT_EQ(panel.group().conference, QStringLiteral("3005"));
    EXPECT_FALSE(panel.isChanged(panel.readGroup()));
}

TEST_F(ZonePanelTest, RunningZoneAppliesVolumeAtOnceAndOpensNoMoreDialog)
{
    RDGroup g = zone("3000", "Lobby");
    RDGroupInfoWidget panel;
    QSignalSpy volume(&panel, &RDGroupInfoWidget::requestUpdateGroupVolume);
    panel.setGroup(g);
    panel.editor()->volumeRow()->slider()->setValue(4, true);
    EXPECT_EQ(volume.count(), 0) << "a stopped zone waits for its save";

    g.started = 1;
    panel.setGroup(g);
    panel.editor()->volumeRow()->slider()->setValue(7, true);
    ASSERT_EQ(volume.count(), 1);
    EXPECT_EQ(volume.takeFirst().at(0).value<RDGroup>().volume, 7);
    EXPECT_FALSE(panel.editor()->deviceWidget()->isNewDeviceEnabled());

    panel.onClickMoreButton(0); // would fail the test if it ran a dialog
    EXPECT_EQ(panel.group().scheduleEnable, 0);
}

TEST_F(ZonePanelTest, MuteRestoresTheVolumeBeforeMuting)
{
    RDGroupVolumeWidget row;
    row.setVolume(6);
    emit row.muteButton()->clicked();
    EXPECT_EQ(row.volume(), -10);
    EXPECT_TRUE(row.muteButton()->isChecked());
    emit row.muteButton()->clicked();
    EXPECT_EQ(row.volume(), 6);
    EXPECT_EQ(row.valueLabel()->text(), QStringLiteral("6"));

    RDGroupVolumeWidget muted;
    muted.setVolume(-10);
    EXPECT_TRUE(muted.muteButton()->isChecked());
    emit muted.muteButton()->clicked();
    EXPECT_EQ(muted.volume(), 0) << "nothing saved before: back to 0";
}

TEST_F(ZonePanelTest, PickedDevicesJoinOnceOrderedByNumber)
{
    const RDDevice d3 = device("6003", "c");
    const RDDevice d1 = device("6001", "a");
    const RDDevice d2 = device("6002", "b");
    RDGroup g;
    g.conference = QStringLiteral("3000");
    g.setDevices({d3});
    g = stored(g);
    RDGroupInfoWidget panel;
    panel.setGroup(g);
    QSignalSpy updates(&panel, &RDGroupInfoWidget::requestUpdateGroup);

    RDModal::Answer pick;
    pick.kind = QStringLiteral("dialog:RDDevicesDialog");
    pick.result = QDialog::Accepted;
    pick.action = [](QObject *o) { qobject_cast<RDDevicesDialog *>(o)->deviceWidget()->setAllSelected(true); };
    RDModal::queue(pick);
    panel.onClickNewDevice();
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    EXPECT_EQ(updates.count(), 1);
    const QVector<RDDevice> &grid = panel.editor()->deviceWidget()->devices();
    ASSERT_EQ(grid.size(), 3);
    EXPECT_EQ(grid[0].id, d1.id);
    EXPECT_EQ(grid[1].id, d2.id);
    EXPECT_EQ(grid[2].id, d3.id);
    EXPECT_EQ(panel.readGroup().devices,
              QStringLiteral("%1;%2;%3").arg(d1.id).arg(d2.id).arg(d3.id));

    // Deleting changes only the grid until the zone is stored.
    PAAlertDialog::setNextAnswer(QDialog::Accepted);
    panel.onClickDeviceDelete(d2);
    EXPECT_EQ(panel.editor()->deviceWidget()->devices().size(), 2);
    EXPECT_EQ(m_velmar->getGroupById(g.id).devices, QString::number(d3.id));
}

TEST_F(ZonePanelTest, MenuDeletesEverySelectedTileAndModifyRenamesInPlace)
{
    const RDDevice d1 = device("6001", "a");
    const RDDevice d2 = device("6002", "b");
    const RDDevice d3 = device("6003", "c");
    RDGroup g;
    g.conference = QStringLiteral("3000");
    g.setDevices({d1, d2, d3});
    g = stored(g);
    g.updateDevices(m_velmar->getDevices());
    RDGroupInfoWidget panel;
    panel.setGroup(g);
    RDDeviceWidget *grid = panel.editor()->deviceWidget();
    ASSERT_EQ(grid->devices().size(), 3);

    // Modify from a tile: the panel zone and the tile take the new name.
    QSignalSpy deviceUpdates(&panel, &RDGroupInfoWidget::requestUpdateDevice);
    RDModal::Answer rename;
    rename.kind = QStringLiteral("dialog:RDDeviceNameModifyDialog");
    rename.result = QDialog::Accepted;
    rename.action = [](QObject *o) {
        auto *dialog = qobject_cast<RDDeviceNameModifyDialog *>(o);
        dialog->findChild<QLineEdit *>(QStringLiteral("nameEdit"))->setText(QStringLiteral("Stage"));
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    };
    RDModal::queue(rename);
    panel.onClickDeviceModify(d2);
    ASSERT_EQ(deviceUpdates.count(), 1);
    EXPECT_EQ(deviceUpdates.at(0).at(0).value<RDDevice>().name, QStringLiteral("Stage"));
    EXPECT_EQ(panel.group().deviceList[1].name, QStringLiteral("Stage"));
    EXPECT_EQ(grid->itemOf(d2.id)->device().name, QStringLiteral("Stage"));

    // The menu's Delete takes every selected tile, not only the clicked one.
    grid->itemOf(d1.id)->setSelected(true);
    grid->itemOf(d3.id)->setSelected(true);
    PAAlertDialog::setNextAnswer(QDialog::Rejected);
    panel.onClickMenuDelete();
    EXPECT_EQ(grid->devices().size(), 3) << "cancelled";
    PAAlertDialog::setNextAnswer(QDialog::Accepted);
    panel.onClickMenuDelete();
    ASSERT_EQ(grid->devices().size(), 1);
    EXPECT_EQ(grid->devices()[0].id, d2.id);
    EXPECT_EQ(panel.readGroup().devices, QString::number(d2.id));
}

} // namespace
