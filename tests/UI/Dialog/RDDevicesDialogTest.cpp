#include "PAAlertDialog.h"
#include "RDDeviceItemAddWidget.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDLabel.h"
#include "DialogScript.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "VelmarDB.h"
#include "VelmarFixture.h"
#include "Velmar.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {


// The device list over the central object and the switch manager, with the
// switch's files in the stand-in's folder (the switch itself stays down).
class DeviceListTest : public VelmarFixture
{
protected:
    void TearDown() override
    {
        EXPECT_EQ(RDModal::pendingAnswers(), 0);
        RDModal::clearAnswers();
        VelmarFixture::TearDown();
    }

    int store(const char *number, const char *password, const char *name = "")
    {
        RDDevice d;
        d.number = QLatin1String(number);
        d.name = *name ? QLatin1String(name) : d.number;
        d.password = QLatin1String(password);
        const int id = m_velmar->addDevice(d);
        EXPECT_GT(id, 0) << number;
        return id;
    }

    QString userFile(const QString &number) const
    {
        return m_switch.path(QStringLiteral("conf/directory/default/%1.xml").arg(number));
    }

    QString switchPassword(const QString &number) const
    {
        QFile f(userFile(number));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        const QString text = QString::fromUtf8(f.readAll());
        const QString mark = QStringLiteral("name=\"password\" value=\"");
        const int at = text.indexOf(mark);
        return at < 0 ? QString() : text.mid(at + mark.size(), text.indexOf('"', at + mark.size()) - at - mark.size());
    }

    // Database, switch accounts and tiles hold the same devices.
    void expectInStep(RDDevicesDialog &dialog)
    {
        const QVector<RDDevice> stored = m_velmar->getDevices();
        QStringList storedRows;
        for (const RDDevice &d : stored) {
            storedRows << QStringLiteral("%1|%2|%3").arg(d.id).arg(d.number, d.name);
            EXPECT_EQ(switchPassword(d.number), d.password) << qPrintable(d.number);
        }
        QStringList tileRows;
        for (RDDeviceItemWidget *tile : dialog.deviceWidget()->items())
            tileRows << QStringLiteral("%1|%2|%3").arg(tile->device().id).arg(tile->device().number, tile->device().name);
        EXPECT_EQ(tileRows, storedRows);
        QStringList files = QDir(m_switch.path(QStringLiteral("conf/directory/default")))
                                .entryList({QStringLiteral("6???.xml")}, QDir::Files, QDir::Name);
        QStringList numbers;
        for (const RDDevice &d : stored)
            numbers << d.number + QStringLiteral(".xml");
        EXPECT_EQ(files, numbers);
    }



    static void clickOk(QDialog *dialog)
    {
        QTest::mouseClick(dialog->findChild<RDLabel *>(QStringLiteral("okButton")), Qt::LeftButton);
    }

    static bool allAnswered()
    {
        return PaTest::waitUntil([] { return RDModal::pendingAnswers() == 0; });
    }

    static QString toast(RDDevicesDialog &dialog)
    {
        return dialog.toastLabel() ? dialog.toastLabel()->text() : QString();
    }
};

} // namespace

TEST_F(DeviceListTest, AddOneFromTheNewDeviceTileAndRefuseAStoredNumber)
{
    RDDevicesDialog dialog;
    dialog.show();
    PaUiTest::answerDialog("RDDeviceAddOneDialog", [](QDialog *d) {
        PaUiTest::typeInto(d, "numberEdit", QStringLiteral("6001"));
        PaUiTest::typeInto(d, "nameEdit", QStringLiteral("Hall"));
        PaUiTest::typeInto(d, "passwordEdit", QStringLiteral("s3cret"));
        clickOk(d);
    });
    PaUiTest::click(dialog.deviceWidget()->addWidget(), Qt::LeftButton, QPoint(10, 10));
    ASSERT_TRUE(allAnswered());
    ASSERT_EQ(dialog.deviceWidget()->items().size(), 1);
    EXPECT_GT(dialog.deviceWidget()->items()[0]->device().id, 0);
    expectInStep(dialog);

    // The number again: nothing stored, no tile without an id, a message.
    PaUiTest::answerDialog("RDDeviceAddOneDialog", [](QDialog *d) {
        PaUiTest::typeInto(d, "numberEdit", QStringLiteral("6001"));
        PaUiTest::typeInto(d, "passwordEdit", QStringLiteral("other"));
        clickOk(d);
    });
    dialog.addOneButton()->clicked();
    EXPECT_EQ(dialog.deviceWidget()->items().size(), 1);
    EXPECT_EQ(toast(dialog), QStringLiteral("Save Failure 6001"));
    EXPECT_EQ(switchPassword(QStringLiteral("6001")), QStringLiteral("s3cret"));
    expectInStep(dialog);
}

TEST_F(DeviceListTest, BatchAddStoresTheRunInOneTransaction)
{
    store("6101", "kept");
    RDDevicesDialog dialog;
    PaUiTest::answerDialog("RDDeviceAddAllDialog", [](QDialog *d) {
        PaUiTest::typeInto(d, "startEdit", QStringLiteral("6100"));
        PaUiTest::typeInto(d, "namePrefixEdit", QStringLiteral("Spk"));
        PaUiTest::typeInto(d, "passwordPrefixEdit", QStringLiteral("pw"));
        PaUiTest::typeInto(d, "countEdit", QStringLiteral("3"));
        clickOk(d);
    });
    const quint64 commits = VelmarDB::commitCount();
    dialog.addAllButton()->clicked();
    EXPECT_EQ(VelmarDB::commitCount() - commits, 1u);
    const QStringList names = [&] {
        QStringList list;
        for (const RDDevice &d : dialog.devices())
            list << d.name;
        return list;
    }();
    EXPECT_EQ(names, (QStringList{"Spk6100", "6101", "Spk6102"}));
    EXPECT_EQ(switchPassword(QStringLiteral("6101")), QStringLiteral("kept"));
    EXPECT_TRUE(toast(dialog).startsWith(QLatin1String("2 of 3 stored; refused: 6101")));
    expectInStep(dialog);

    // An accepted run with nothing in it stores nothing.
    PaUiTest::answerDialog("RDDeviceImportDialog", [](QDialog *d) { d->findChild<QPushButton *>(QStringLiteral("uploadButton"))->click(); });
    const quint64 before = VelmarDB::commitCount();
    dialog.importButton()->clicked();
    EXPECT_EQ(VelmarDB::commitCount(), before);
    expectInStep(dialog);
}

TEST_F(DeviceListTest, ImportRefusesStoredAndRepeatedNumbersAndKeepsPasswords)
{
    store("6000", "a", "Gate");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("devices.txt"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x;6000;b\ny;6001;c\ny;6001;c\n" + QByteArray(1100, ' ') + "z;6002;d\n");
    }
    RDDevicesDialog dialog;
    PaUiTest::answerDialog("RDDeviceImportDialog", [path](QDialog *d) {
        RDModal::Answer pick;
        pick.kind = QStringLiteral("open files");
        pick.files = QStringList{path};
        RDModal::queue(pick);
        d->findChild<QPushButton *>(QStringLiteral("selectFileButton"))->click();
        d->findChild<QPushButton *>(QStringLiteral("uploadButton"))->click();
    });
    dialog.importButton()->clicked();
    ASSERT_EQ(dialog.devices().size(), 2);
    EXPECT_EQ(dialog.devices()[0].name, QStringLiteral("Gate"));
    EXPECT_EQ(dialog.devices()[0].password, QStringLiteral("a"));
    EXPECT_EQ(switchPassword(QStringLiteral("6000")), QStringLiteral("a"));
    EXPECT_EQ(dialog.devices()[1].number, QStringLiteral("6001"));
    EXPECT_EQ(toast(dialog), QStringLiteral("1 of 4 stored; refused: line 3: 6001 read before, "
                                            "line 4: line too long, 6000 is stored already"));
    expectInStep(dialog);
}

TEST_F(DeviceListTest, ModifyStoresNameAndPasswordAndNeverTouchesAnotherAccount)
{
    const int id = store("6001", "a");
    store("6005", "b");
    RDDevicesDialog dialog;
    dialog.show();
    PaUiTest::answerDialog("RDDeviceModifyDialog", [](QDialog *d) {
        PaUiTest::typeInto(d, "numberEdit", QStringLiteral("6005"));
        PaUiTest::typeInto(d, "nameEdit", QStringLiteral("Lobby"));
        PaUiTest::typeInto(d, "passwordEdit", QStringLiteral("c"));
        clickOk(d);
    });
    PaUiTest::click(dialog.deviceWidget()->itemOf(id)->editButton(), Qt::LeftButton, QPoint(5, 5));
    ASSERT_TRUE(allAnswered());
    EXPECT_EQ(switchPassword(QStringLiteral("6005")), QStringLiteral("b"));
    EXPECT_EQ(switchPassword(QStringLiteral("6001")), QStringLiteral("c"));
    EXPECT_EQ(dialog.deviceWidget()->itemOf(id)->device().name, QStringLiteral("Lobby"));
    EXPECT_EQ(dialog.deviceWidget()->itemOf(id)->device().number, QStringLiteral("6001"));
    expectInStep(dialog);
}

TEST_F(DeviceListTest, DeleteTakesTheShownSelectionBehindOneConfirmation)
{
    const int a = store("6000", "a");
    store("6001", "b");
    const int c = store("6002", "c");
    RDDevicesDialog dialog;
    dialog.show();
    RDDeviceWidget *grid = dialog.deviceWidget();
    PaUiTest::click(grid->itemOf(a), Qt::LeftButton, QPoint(80, 30));
    EXPECT_EQ(dialog.selectAllLabel()->text(), QStringLiteral("Deselect all"));

    // Cancelled: nothing goes.
    PAAlertDialog::setNextAnswer(0);
    PaUiTest::click(grid->itemOf(c)->deleteButton(), Qt::LeftButton, QPoint(5, 5));
    ASSERT_TRUE(allAnswered());
    EXPECT_EQ(m_velmar->getDevices().size(), 3);

    PAAlertDialog::setNextAnswer(1);
    PaUiTest::click(grid->itemOf(c)->deleteButton(), Qt::LeftButton, QPoint(5, 5));
    ASSERT_TRUE(allAnswered());
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")), (QStringList{"Delete this devices", "Delete this devices"}));
    ASSERT_EQ(m_velmar->getDevices().size(), 1);
    EXPECT_EQ(m_velmar->getDevices()[0].number, QStringLiteral("6001"));
    EXPECT_EQ(dialog.selectAllLabel()->text(), QStringLiteral("Select all"));
    expectInStep(dialog);
}

// A rebuild while the confirmation is open (here another device goes and
// the list reloads, so tiles shift) must not change which device goes.
TEST_F(DeviceListTest, MenuDeleteActsOnItsDeviceAfterTheListChangedUnderTheBox)
{
    const int a = store("6000", "a");
    const int b = store("6001", "b");
    store("6002", "c");
    RDDevicesDialog dialog;
    dialog.show();
    PaUiTest::click(dialog.deviceWidget()->itemOf(b), Qt::RightButton, QPoint(80, 30));
    ASSERT_NE(dialog.contextMenu(), nullptr);
    const QList<QAction *> actions = dialog.contextMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[2]->text(), QStringLiteral("Delete"));

    RDModal::Answer ok;
    ok.kind = QStringLiteral("alert");
    ok.result = 1;
    ok.action = [&](QObject *) {
        RDDevice first;
        first.id = a;
        first.number = QStringLiteral("6000");
        ASSERT_TRUE(m_velmar->removeDevice(first));
        dialog.loadDevices();
    };
    RDModal::queue(ok);
    actions[2]->trigger();
    QStringList left;
    for (const RDDevice &d : m_velmar->getDevices())
        left << d.number;
    EXPECT_EQ(left, QStringList{"6002"});
    expectInStep(dialog);
}

TEST_F(DeviceListTest, SelectionSurvivesFilteringAndThePickerReturnsIt)
{
    store("6000", "a", "Gate");
    const int b = store("6001", "b", "Hall");
    store("6002", "c", "hall2");
    RDDevicesDialog dialog;
    dialog.show();
    RDDeviceWidget *grid = dialog.deviceWidget();
    PaUiTest::click(grid->itemOf(b), Qt::LeftButton, QPoint(80, 30));

    // Filtering is case-sensitive on name or number.
    const struct { const char *filter; QStringList shown; } cases[] = {
        {"6002", {"6002"}}, {"Hall", {"6001"}}, {"hall", {"6002"}}, {"", {"6000", "6001", "6002"}},
    };
    for (const auto &c : cases) {
        dialog.filterEdit()->setText(QLatin1String(c.filter));
        QStringList shown;
        for (const RDDevice &d : grid->devices())
            shown << d.number;
        EXPECT_EQ(shown, c.shown) << c.filter;
        ASSERT_EQ(dialog.selectedDevices().size(), 1) << c.filter;
        EXPECT_EQ(dialog.selectedDevices()[0].number, QStringLiteral("6001")) << c.filter;
        for (RDDeviceItemWidget *tile : grid->items())
            EXPECT_EQ(tile->isSelected(), tile->device().id == b) << c.filter;
    }

    // Select, as a picker: accepted with the selection.
    dialog.filterEdit()->setText(QStringLiteral("6002"));
    PaUiTest::click(grid->items()[0], Qt::LeftButton, QPoint(80, 30));
    QTest::mouseClick(dialog.selectButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    QStringList picked;
    for (const RDDevice &d : dialog.selectedDevices())
        picked << d.number;
    EXPECT_EQ(picked, (QStringList{"6002", "6001"}));
}
