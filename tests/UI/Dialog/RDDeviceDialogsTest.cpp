#include "DialogScript.h"
#include "RDDeviceAddAllDialog.h"
#include "RDDeviceAddOneDialog.h"
#include "RDDeviceImportDialog.h"
#include "RDDeviceModifyDialog.h"
#include "RDDeviceNameModifyDialog.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// Runs the dialog's own loop; `steps` work the dialog as an operator would.
// A dialog still open afterwards is closed (rejected).
int runDialog(QDialog &dialog, const std::function<void()> &steps)
{
    PaUiTest::answerDialog(dialog.metaObject()->className(), [steps](QDialog *) { steps(); });
    return dialog.exec();
}

QLineEdit *edit(QDialog &dialog, const char *name)
{
    auto *e = dialog.findChild<QLineEdit *>(QLatin1String(name));
    EXPECT_NE(e, nullptr) << name;
    return e;
}

QString toastText(RDDialog &dialog)
{
    return dialog.toastLabel() ? dialog.toastLabel()->text() : QString();
}

QString writeFile(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = dir.filePath(QLatin1String(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << qPrintable(path);
    return path;
}

// Picks the files in the dialog's picker, one run each, then uploads.
int importFiles(RDDeviceImportDialog &dialog, const QStringList &paths)
{
    return runDialog(dialog, [&] {
        for (const QString &path : paths) {
            RDModal::Answer pick;
            pick.kind = QStringLiteral("open files");
            pick.result = 1;
            pick.files = QStringList{path};
            RDModal::queue(pick);
            dialog.selectButton()->click();
        }
        dialog.uploadButton()->click();
    });
}

} // namespace

TEST(RDDeviceAddOneDialog, ChecksTheNumberAndNamesAnUnnamedDeviceAfterIt)
{
    const struct {
        const char *number, *name, *password;
        bool okEnabled;
        const char *toast; // null: accepted
    } cases[] = {
        {"600", "", "pw", false, "Please enter a four digit account number"},
        {"5999", "Hall", "pw", true, "SIP number is between 6000 and 6999"},
        {"6001", "Hall", "", false, ""}, // an empty password is refused silently
        {"6001", "", "pw", true, nullptr},
        {"6999", "Hall", "secret", true, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.number);
        RDDeviceAddOneDialog dialog;
        bool okEnabled = false;
        QString toast;
        const int result = runDialog(dialog, [&] {
            QTest::keyClicks(edit(dialog, "nameEdit"), QLatin1String(c.name));
            QTest::keyClicks(edit(dialog, "numberEdit"), QLatin1String(c.number));
            QTest::keyClicks(edit(dialog, "passwordEdit"), QLatin1String(c.password));
            okEnabled = dialog.okButton()->isEnabled();
            // Return in the password edit is the OK action.
            QTest::keyClick(edit(dialog, "passwordEdit"), Qt::Key_Return);
            toast = toastText(dialog);
        });
        EXPECT_EQ(okEnabled, c.okEnabled);
        if (c.toast) {
            EXPECT_EQ(result, QDialog::Rejected);
            EXPECT_EQ(toast, QLatin1String(c.toast));
            continue;
        }
        EXPECT_EQ(result, QDialog::Accepted);
        const RDDevice device = dialog.device();
        EXPECT_EQ(device.id, 0);
        EXPECT_EQ(device.number, QLatin1String(c.number));
        EXPECT_EQ(device.name, *c.name ? QLatin1String(c.name) : QLatin1String(c.number));
        EXPECT_EQ(device.password, QLatin1String(c.password));
    }
}

TEST(RDDeviceAddOneDialog, ReturnWalksNameNumberPassword)
{
    RDDeviceAddOneDialog dialog;
    runDialog(dialog, [&] {
        // The window's focus widget: offscreen windows are never active.
        QTest::keyClick(edit(dialog, "nameEdit"), Qt::Key_Return);
        EXPECT_EQ(dialog.focusWidget(), edit(dialog, "numberEdit"));
        // Not yet a number the validator accepts: Return still moves on.
        QTest::keyClicks(edit(dialog, "numberEdit"), QStringLiteral("600"));
        QTest::keyClick(edit(dialog, "numberEdit"), Qt::Key_Return);
        EXPECT_EQ(dialog.focusWidget(), edit(dialog, "passwordEdit"));
    });
}

TEST(RDDeviceAddAllDialog, BuildsARunThatNeverPasses6999)
{
    const struct {
        const char *start, *count;
        QStringList numbers;
    } cases[] = {
        {"6998", "5", {"6998", "6999"}},
        {"6100", "", {"6100"}}, // an empty count is one device
        {"6100", "3", {"6100", "6101", "6102"}},
    };
    for (const auto &c : cases) {
        RDDeviceAddAllDialog dialog;
        edit(dialog, "startEdit")->setText(QLatin1String(c.start));
        edit(dialog, "countEdit")->setText(QLatin1String(c.count));
        edit(dialog, "namePrefixEdit")->setText(QStringLiteral("Spk"));
        edit(dialog, "passwordPrefixEdit")->setText(QStringLiteral("pw"));
        const QVector<RDDevice> devices = dialog.buildDevices();
        QStringList numbers;
        for (const RDDevice &d : devices) {
            numbers << d.number;
            EXPECT_EQ(d.name, QStringLiteral("Spk") + d.number);
            EXPECT_EQ(d.password, QStringLiteral("pw") + d.number);
            EXPECT_EQ(d.id, 0);
        }
        EXPECT_EQ(numbers, c.numbers) << c.start;
    }
    const struct {
        const char *start, *prefix;
        bool okEnabled;
        const char *toast;
    } checks[] = {
        {"6000", "p", false, nullptr}, // a password prefix needs two characters
        {"5000", "pw", true, "SIP number is between 6000 and 6999"},
        {"6000", "pw", true, nullptr},
    };
    for (const auto &c : checks) {
        RDDeviceAddAllDialog dialog;
        bool okEnabled = false;
        QString toast;
        const int result = runDialog(dialog, [&] {
            QTest::keyClicks(edit(dialog, "startEdit"), QLatin1String(c.start));
            QTest::keyClicks(edit(dialog, "passwordPrefixEdit"), QLatin1String(c.prefix));
            okEnabled = dialog.okButton()->isEnabled();
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
            toast = toastText(dialog);
        });
        EXPECT_EQ(okEnabled, c.okEnabled) << c.start << c.prefix;
        EXPECT_EQ(result, c.okEnabled && !c.toast ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(toast, c.toast ? QLatin1String(c.toast) : QLatin1String(""));
    }
}

TEST(RDDeviceModifyDialog, ChangesNameAndPasswordButNeverTheNumber)
{
    RDDevice stored;
    stored.id = 7;
    stored.number = QStringLiteral("6001");
    stored.name = QStringLiteral("Hall");
    stored.password = QStringLiteral("a");
    RDDeviceModifyDialog modify;
    RDDeviceNameModifyDialog nameModify;
    for (RDDeviceModifyDialog *dialog : std::initializer_list<RDDeviceModifyDialog *>{&modify, &nameModify}) {
        dialog->setDevice(stored);
        EXPECT_EQ(edit(*dialog, "numberEdit")->text(), QStringLiteral("6001"));
        const int result = runDialog(*dialog, [&] {
            QLineEdit *number = edit(*dialog, "numberEdit");
            EXPECT_TRUE(number->isReadOnly());
            EXPECT_FALSE(number->isEnabled());
            number->selectAll();
            QTest::keyClicks(number, QStringLiteral("6005"));
            edit(*dialog, "nameEdit")->clear();
            edit(*dialog, "passwordEdit")->setText(QStringLiteral("b"));
            QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
        });
        ASSERT_EQ(result, QDialog::Accepted);
        const RDDevice changed = dialog->device();
        EXPECT_EQ(changed.id, 7);
        EXPECT_EQ(changed.number, QStringLiteral("6001"));
        EXPECT_EQ(changed.name, QStringLiteral("6001"));
        EXPECT_EQ(changed.password, QStringLiteral("b"));
    }
}

TEST(RDDeviceImportDialog, TakesGoodLinesAndRefusesTheRestByLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray text;
    text += " Hall ; 6001 ; pw1 \r\n";                          // 1: spaces go
    text += "Two;6002\n";                                        // 2: two parts
    text += "x;600;p\n";                                         // 3: three digits
    text += QByteArray(1100, ' ') + "Tail;6003;pw\n";            // 4: its tail is no line of its own
    text += QByteArray("Nul\0x;6006;pw\n", 14);                  // 5: a NUL byte
    text += "\xff\xfe;6007;pw\n";                                // 6: not UTF-8
    text += "Dup;6001;pw2\n";                                    // 7: a number read before
    text += "\n";                                                // 8: blank, passed over
    text += "\xc3\x9cmlaut;6008;p\xc3\xa4ss;extra\n";           // 9: UTF-8, a fourth part ignored
    text += "Quiet;6009;\n";                                     // 10: no password
    const QString first = writeFile(dir, "a.txt", text);
    // A second file adds to the first; its repeat of 6008 is refused too.
    const QString second = writeFile(dir, "b.txt", "Yard;6010;y\nAgain;6008;z");

    RDDeviceImportDialog dialog;
    ASSERT_EQ(importFiles(dialog, {first, second}), QDialog::Accepted);
    QStringList rows;
    for (const RDDevice &d : dialog.devices())
        rows << QStringLiteral("%1|%2|%3").arg(d.name, d.number, d.password);
    EXPECT_EQ(rows, (QStringList{"Hall|6001|pw1", QStringLiteral("\u00dcmlaut|6008|p\u00e4ss"), "Yard|6010|y"}));
    const QStringList refused = dialog.refusedLines();
    ASSERT_EQ(refused.size(), 8) << qPrintable(refused.join('\n'));
    const char *starts[] = {"line 2:", "line 3:", "line 4: line too long", "line 5:", "line 6: not UTF-8",
                            "line 7: 6001 read before", "line 10:", "line 2: 6008 read before"};
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(refused[i].startsWith(QLatin1String(starts[i]))) << qPrintable(refused[i]);

    QTableWidget *table = dialog.table();
    ASSERT_EQ(table->columnCount(), 3);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), QStringLiteral("SIP Number"));
    EXPECT_EQ(table->item(2, 0)->text(), QStringLiteral("Yard"));
}

TEST(RDDeviceImportDialog, ReadsAtMostAThousandLinesOfAnyFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 1000 blank lines, then devices: none of them is read. Then 100,000
    // lines and one endless line: reading stops in good time.
    QByteArray late(1000, '\n');
    for (int i = 0; i < 500; ++i)
        late += QStringLiteral("d;%1;p\n").arg(6000 + i).toLatin1();
    QByteArray many;
    for (int i = 0; i < 100000; ++i)
        many += QStringLiteral("n%1;%2;p\n").arg(i).arg(6000 + i % 1000).toLatin1();
    const QString lateFile = writeFile(dir, "late.txt", late);
    const QString manyFile = writeFile(dir, "many.txt", many);
    const QString endless = writeFile(dir, "endless.txt", QByteArray(8 << 20, 'x'));

    RDDeviceImportDialog lateDialog;
    ASSERT_EQ(importFiles(lateDialog, {lateFile}), QDialog::Accepted);
    EXPECT_TRUE(lateDialog.devices().isEmpty());
    EXPECT_EQ(lateDialog.table()->columnCount(), 0);
    ASSERT_EQ(lateDialog.refusedLines().size(), 1);
    EXPECT_TRUE(lateDialog.refusedLines()[0].startsWith(QLatin1String("line 1001: not read")));

    RDDeviceImportDialog manyDialog;
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(importFiles(manyDialog, {manyFile, endless}), QDialog::Accepted);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(manyDialog.devices().size(), 1000);
    EXPECT_EQ(manyDialog.devices().last().number, QStringLiteral("6999"));
    EXPECT_EQ(manyDialog.refusedLines(),
              (QStringList{"line 1001: not read, a file holds at most 1000 lines", "line 1: line too long"}));
}

TEST(RDDeviceImportDialog, AFileThatCannotBeOpenedSaysSoAndChangesNothing)
{
    RDDeviceImportDialog dialog;
    QString toast;
    importFiles(dialog, {QStringLiteral("/nonexistent/devices.txt")});
    EXPECT_TRUE(dialog.devices().isEmpty());
    EXPECT_TRUE(dialog.refusedLines().isEmpty());
    EXPECT_EQ(toastText(dialog), QStringLiteral("Can not open file"));
}
