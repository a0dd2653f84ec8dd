#include "RDGroupAddDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupMoreWidget.h"
#include "RDGroupNameWidget.h"
#include "RDGroupNumberWidget.h"
#include "RDGroupPriorityWidget.h"
#include "RDGroupVolumeWidget.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapsButton.h"
#include "Velmar.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

namespace {

class ZoneAddTest : public ZoneStoreFixture
{
protected:
    static QString toast(const RDGroupAddDialog &dialog)
    {
        return dialog.toastLabel() ? dialog.toastLabel()->text() : QString();
    }

    static void fill(RDGroupAddDialog &dialog, const QString &number, const QString &name)
    {
        dialog.editor()->numberRow()->setText(number);
        dialog.editor()->nameRow()->setText(name);
    }
};

TEST_F(ZoneAddTest, AcceptedZoneIsStoredWithItsSipNumbers)
{
    RDGroupAddDialog dialog;
    RDGroup fresh;
    fresh.source = QStringLiteral("device");
    dialog.setGroup(fresh);
    fill(dialog, QString(), QStringLiteral("Car park"));
    dialog.editor()->volumeRow()->setVolume(-4);
    dialog.editor()->priorityRow()->comboBox()->setCurrentIndex(8);
    dialog.onClickOKButton();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << toast(dialog).toStdString();

    RDGroup zone = dialog.group();
    EXPECT_EQ(zone.conference, QStringLiteral("3000"));
    const int id = m_velmar->addGroup(zone);
    ASSERT_GT(id, 0);
    const RDGroup back = m_velmar->getGroupById(id);
    EXPECT_EQ(back.name, QStringLiteral("Car park"));
    EXPECT_EQ(back.volume, -4);
    EXPECT_EQ(back.priority, 8);
    EXPECT_EQ(back.inputSipNumber, QStringLiteral("4000"));
    EXPECT_EQ(back.outputSipNumber, QStringLiteral("5000"));
}

TEST_F(ZoneAddTest, RefusedNumbersKeepTheDialogOpenWithTheEdits)
{
    RDGroup existing;
    existing.conference = QStringLiteral("3000");
    existing.name = QStringLiteral("Lobby");
    stored(existing);
    const struct
    {
        const char *number, *toast;
    } cases[] = {
        {"300", "Conference is invalid"},  {"4000", "Conference is invalid"},
        {"3001x", "Conference is invalid"}, {"300a", "Conference is invalid"},
        {"3000", "Conference is in use"},
    };
    for (const auto &c : cases) {
        RDGroupAddDialog dialog;
        dialog.setGroup(RDGroup());
        fill(dialog, QLatin1String(c.number), QStringLiteral("Yard"));
        dialog.onClickOKButton();
        EXPECT_NE(dialog.result(), QDialog::Accepted) << c.number;
        EXPECT_EQ(toast(dialog), QLatin1String(c.toast)) << c.number;
        EXPECT_EQ(dialog.group().conference, QLatin1String(c.number));
        EXPECT_EQ(dialog.group().name, QStringLiteral("Yard"));
        EXPECT_EQ(dialog.editor()->nameRow()->text(), QStringLiteral("Yard"));
    }
    EXPECT_EQ(m_velmar->getGroups().size(), 1);
}

TEST_F(ZoneAddTest, MoreDialogResultLightsTheRowAndRunningZoneIsLocked)
{
    RDGroupAddDialog dialog;
    dialog.setGroup(RDGroup());
    RDModal::Answer a;
    a.kind = QStringLiteral("dialog:RDGroupMoreDialog");
    a.result = QDialog::Accepted;
    a.action = [](QObject *o) {
        auto *more = qobject_cast<RDGroupMoreDialog *>(o);
        RDGroup g = more->group();
        g.sipTrunkEnable = 1;
        g.sipTrunkServer = QStringLiteral("127.0.0.1");
        more->setGroup(g);
    };
    RDModal::queue(a);
    dialog.onClickMoreButton(RDGroupMoreDialog::SipTrunkTab);
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    EXPECT_EQ(dialog.group().sipTrunkEnable, 1);
    EXPECT_TRUE(dialog.editor()->moreRow()->sipTrunkButton()->isChecked());
    EXPECT_FALSE(dialog.editor()->moreRow()->scheduleButton()->isChecked());

    RDGroup running;
    running.started = 1;
    dialog.setGroup(running);
    EXPECT_FALSE(dialog.editor()->numberRow()->isEnabled());
    EXPECT_FALSE(dialog.editor()->moreRow()->isEnabled());
    dialog.onClickMoreButton(0); // would fail the test if it ran a dialog
}

} // namespace
