#include "RDModal.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QDialog>

TEST(RDModalTest, PickersGiveTheScriptedFilesAndNothingUnscripted)
{
    RDModal::Answer open;
    open.kind = QStringLiteral("open file");
    open.files = QStringList{QStringLiteral("/tmp/a.mp3")};
    RDModal::queue(open);
    RDModal::Answer many;
    many.kind = QStringLiteral("open files");
    many.files = QStringList{QStringLiteral("/tmp/a.mp3"), QStringLiteral("/tmp/B.WAV")};
    RDModal::queue(many);
    RDModal::Answer folder;
    folder.kind = QStringLiteral("folder");
    folder.files = QStringList{QStringLiteral("/tmp/export")};
    RDModal::queue(folder);

    EXPECT_EQ(RDModal::getOpenFileName(nullptr, QStringLiteral("Media"), QString(), QStringLiteral("Audio (*.mp3)")),
              QStringLiteral("/tmp/a.mp3"));
    EXPECT_EQ(RDModal::getOpenFileNames(nullptr, QStringLiteral("Media"), QString(), QString()), many.files);
    EXPECT_EQ(RDModal::getExistingDirectory(nullptr, QStringLiteral("Export"), QString()),
              QStringLiteral("/tmp/export"));
    EXPECT_EQ(RDModal::pendingAnswers(), 0);

    PaUiTest::CaptureUnscripted capture;
    EXPECT_TRUE(RDModal::getSaveFileName(nullptr, QStringLiteral("Save"), QString(), QString()).isEmpty());
    EXPECT_EQ(capture.kinds(), QStringList{QStringLiteral("save file")});
    EXPECT_EQ(RDModal::takeShown(), (QStringList{QStringLiteral("Media"), QStringLiteral("Media"),
                                                 QStringLiteral("Export"), QStringLiteral("Save")}));
}

TEST(RDModalTest, ARealRunThatOutlastsItsWatchdogIsEndedAndReported)
{
    QDialog dialog;
    RDModal::Answer run;
    run.realExec = true;
    run.watchdogMs = 50;
    RDModal::queue(run);
    PaUiTest::CaptureUnscripted capture;
    EXPECT_EQ(RDModal::run(QStringLiteral("dialog:QDialog"), QString(), 0, [&] { return dialog.exec(); }, &dialog),
              QDialog::Rejected);
    EXPECT_EQ(capture.kinds(), QStringList{QStringLiteral("watchdog expired: dialog:QDialog")});
}
