#include "PAAlertDialog.h"
#include "RDDialogButton.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDMessageBox.h"
#include "RDModal.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

TEST(PAAlertDialogTest, ButtonsSitCentredInTheirHalves)
{
    PAAlertDialog alert;
    EXPECT_EQ(alert.size(), QSize(430, 230));
    EXPECT_EQ(alert.body()->size(), QSize(428, 194));
    EXPECT_EQ(alert.okButton()->geometry(), QRect(47, 134, 120, 30));
    EXPECT_EQ(alert.cancelButton()->geometry(), QRect(261, 134, 120, 30));
    EXPECT_EQ(alert.messageLabel()->geometry(), QRect(0, 30, 428, 30));

    alert.setOkText(QStringLiteral("Exit the application and stop every running zone now"));
    const QRect ok = alert.okButton()->geometry();
    EXPECT_GT(ok.width(), 120);
    EXPECT_EQ(ok.x(), (214 - ok.width()) / 2);
    EXPECT_EQ(alert.cancelButton()->geometry(), QRect(261, 134, 120, 30));
}

TEST(PAAlertDialogTest, RealRunsAnswerOneForOkAndZeroOtherwise)
{
    const struct {
        const char *button;
        int expected;
    } cases[] = {{"okButton", 1}, {"cancelButton", 0}, {"close", 0}};
    for (const auto &c : cases) {
        PAAlertDialog alert;
        alert.setMessage(QStringLiteral("Delete the zone"));
        RDModal::Answer run;
        run.kind = QStringLiteral("alert");
        run.realExec = true;
        const QString name = QLatin1String(c.button);
        run.action = [name](QObject *d) {
            QTest::mousePress(static_cast<QWidget *>(d)->findChild<QWidget *>(name), Qt::LeftButton);
            QTest::mouseRelease(static_cast<QWidget *>(d)->findChild<QWidget *>(name), Qt::LeftButton);
        };
        RDModal::queue(run);
        EXPECT_EQ(alert.exec(), c.expected) << c.button;
    }
    const QString text = QStringLiteral("Delete the zone");
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")), (QStringList{text, text, text}));
}

TEST(PAAlertDialogTest, ScriptedUnscriptedAndUnattendedRuns)
{
    PAAlertDialog::setNextAnswer(0);
    PAAlertDialog::setNextAnswer(1);
    PAAlertDialog first;
    first.setMessage(QStringLiteral("first"));
    EXPECT_EQ(first.exec(), 0);
    EXPECT_EQ(first.result(), 0);
    PAAlertDialog::showMessage(QStringLiteral("second"));
    EXPECT_EQ(RDModal::pendingAnswers(), 0);

    {
        // Nothing scripted in a test: the handler hears of it at once.
        PaUiTest::CaptureUnscripted capture(0);
        PAAlertDialog::showMessage(QStringLiteral("third"));
        // An answer meant for another kind of run is refused too.
        RDModal::queue(QStringLiteral("warning"), QMessageBox::Yes);
        PAAlertDialog fourth;
        EXPECT_EQ(fourth.exec(), 0);
        EXPECT_EQ(capture.kinds(), (QStringList{QStringLiteral("alert"), QStringLiteral("warning answered for alert")}));
    }
    {
        // Nobody to answer and no test: logged and taken as OK, never blocking.
        const RDModal::Handler handler = RDModal::unscriptedHandler();
        RDModal::setUnscriptedHandler(nullptr);
        PAAlertDialog unattended;
        EXPECT_EQ(unattended.exec(), 1);
        RDModal::setUnscriptedHandler(handler);
    }
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("alert")),
              (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"), QString(),
                           QString()}));
}

TEST(PAAlertDialogTest, LanguageChangeSetsTheButtonTextsAgain)
{
    PaUiTest::TestLanguage language("OK=Gut\nCancel=Lieber nicht\nClose=Zu\n");
    ASSERT_TRUE(language.isValid());

    PAAlertDialog alert;
    alert.setOkText(QStringLiteral("Exit"));
    ASSERT_TRUE(RDLocalize::changeLanguage(QStringLiteral("Test")));
    EXPECT_EQ(alert.okButton()->text(), QStringLiteral("Gut"));
    EXPECT_EQ(alert.cancelButton()->text(), QStringLiteral("Lieber nicht"));
    EXPECT_EQ(alert.findChild<RDDialogButton *>(QStringLiteral("close"))->toolTip(), QStringLiteral("Zu"));
    // The wider button is laid out again.
    EXPECT_EQ(alert.cancelButton()->x(), 214 + (214 - alert.cancelButton()->width()) / 2);
}

TEST(MessageBoxTest, ButtonsAndDefaultsFollowTheTexts)
{
    const struct {
        bool warning;
        const char *yes;
        const char *no;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    } cases[] = {
        {true, "Yes", "", QMessageBox::Yes, QMessageBox::Yes},
        {true, "Yes", "No", QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
        {false, "", "No", QMessageBox::No, QMessageBox::No},
        {false, "Go", "Stay", QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
    };
    for (const auto &c : cases) {
        RDModal::Answer run;
        run.kind = c.warning ? QStringLiteral("warning") : QStringLiteral("information");
        run.realExec = true;
        QMessageBox::StandardButtons seen;
        QString defaultText;
        QString windowTitle;
        run.action = [&](QObject *d) {
            auto *box = static_cast<QMessageBox *>(d);
            seen = box->standardButtons();
            windowTitle = box->windowTitle();
            ASSERT_NE(box->defaultButton(), nullptr);
            defaultText = box->defaultButton()->text();
            box->defaultButton()->click();
        };
        RDModal::queue(run);
        const QString yes = QLatin1String(c.yes), no = QLatin1String(c.no);
        const QMessageBox::StandardButton answer = c.warning ? warningBox(QStringLiteral("Sure?"), yes, no)
                                                             : informationBox(QStringLiteral("Sure?"), yes, no);
        EXPECT_EQ(seen, c.buttons) << c.yes << "/" << c.no;
        EXPECT_EQ(answer, c.defaultButton) << c.yes << "/" << c.no;
        EXPECT_EQ(defaultText, c.defaultButton == QMessageBox::Yes ? yes : no);
        EXPECT_EQ(windowTitle, QCoreApplication::applicationName());
    }

    // A scripted answer is returned as given.
    RDModal::queue(QStringLiteral("warning"), QMessageBox::Yes);
    EXPECT_EQ(warningBox(QStringLiteral("Really?"), QStringLiteral("Yes"), QStringLiteral("No")), QMessageBox::Yes);
}
