// The zone source editors: every page's fields through the zone record and
// the database, the lists' edits, a running zone's read-only pages, and the
// live-radio test play on the PC's (fake) sound output.
#include "FakeAudioBackend.h"
#include "PAAlertDialog.h"
#include "PlayerTestMedia.h"
#include "RDAudioFileFilter.h"
#include "RDConfigure.h"
#include "RDCoreDeviceGroupItemWidget.h"
#include "RDCoreDeviceGroups.h"
#include "RDFileListItemWidget.h"
#include "RDFileListWidget.h"
#include "RDGroupSourceMediaWidget.h"
#include "RDGroupSourcePrayWidget.h"
#include "RDGroupSourceSoundWidget.h"
#include "RDGroupSourceStreamWidget.h"
#include "RDGroupSourceWidget.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDPixmapsButton.h"
#include "RDPrayFileListItemWidget.h"
#include "RDPrayFileListWidget.h"
#include "RDPrayInfoDialog.h"
#include "RDPrayLocationLabel.h"
#include "UiTestSupport.h"
#include "Velmar.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFont>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QVector<QString> kOddPaths = {
    QStringLiteral("/srv/audio/morning news.mp3"),
    QStringLiteral("/srv/audio/it's \"live\".wav"),
    QString::fromUtf8("/srv/audio/Grüße ünd Çağrı.flac"),
};

void answerFiles(const QStringList &files)
{
    RDModal::Answer answer;
    answer.kind = QStringLiteral("open files");
    answer.result = files.isEmpty() ? 0 : 1;
    answer.files = files;
    RDModal::queue(answer);
}

QStringList names(const QVector<QString> &paths)
{
    QStringList out;
    for (const QString &path : paths)
        out.append(path);
    return out;
}

class ZoneSourceTest : public ZoneStoreFixture
{
protected:
    void SetUp() override
    {
        ZoneStoreFixture::SetUp();
        backend.addEndpoint("mic-1", "Line In", 0);
        backend.addEndpoint("mic-2", "USB Microphone", 0);
        backend.addEndpoint("spk-1", "Speakers", 1);
        RDConfigure().setPrayEnable(1);
    }

    std::unique_ptr<RDGroupSourceWidget> makeWidget()
    {
        auto widget = std::make_unique<RDGroupSourceWidget>();
        widget->resize(420, 520);
        widget->show();
        return widget;
    }

    static RDGroup baseZone(const char *conference)
    {
        RDGroup zone;
        zone.name = QStringLiteral("Hall");
        zone.conference = QLatin1String(conference);
        zone.source = QStringLiteral("device");
        zone.audioType = 0;
        zone.audioId = QStringLiteral("mic-1");
        zone.audioName = QStringLiteral("Line In");
        zone.mediumLoopType = QStringLiteral("none");
        zone.prayLocation = QStringLiteral("Istanbul, Turkey");
        return zone;
    }

    FakeAudioBackend backend;
};

// Each source kind and repeat rule, set on the pages as an operator does,
// stored through the central object and read back from the database.
TEST_F(ZoneSourceTest, EveryPageRoundTripsThroughTheDatabase)
{
    struct Case {
        int index;
        const char *source;
        const char *loop;
        int times;
        int duration;
        const char *url;
        int deviceRow;
    };
    const Case cases[] = {
        {RDGroupSourceWidget::SoundIndex, "device", "none", 0, 0, "", 1},
        {RDGroupSourceWidget::StreamIndex, "stream", "list", 0, 0, "http://127.0.0.1:8000/live radio?x='a b'", 0},
        {RDGroupSourceWidget::MediaIndex, "media", "times", 3, 0, "", 0},
        {RDGroupSourceWidget::PrayIndex, "pray", "duration", 0, 7200, "", 0},
    };
    int conference = 3000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        const RDGroup before = stored(baseZone(QByteArray::number(conference++).constData()));
        auto widget = makeWidget();
        widget->loadGroup(before);

        widget->sourceCombo()->setCurrentIndex(c.index);
        RDCoreDeviceGroups *devices = widget->soundWidget()->deviceGroups();
        ASSERT_EQ(devices->rows().size(), 3);
        PaUiTest::click(devices->rows()[c.deviceRow]->label(), Qt::LeftButton, QPoint(3, 3));
        QCoreApplication::processEvents();
        widget->streamWidget()->urlEdit()->setText(QLatin1String(c.url));
        RDGroupSourceMediaWidget *media = widget->mediaWidget();
        const int repeat = QStringList{"none", "list", "times", "duration"}.indexOf(QLatin1String(c.loop));
        PaUiTest::click(media->radio(RDGroupSourceMediaWidget::Repeat(repeat)), Qt::LeftButton, QPoint(3, 3));
        media->timesEdit()->setText(QString::number(c.times));
        media->durationEdit()->setText(QString::number(c.duration));
        answerFiles(names(kOddPaths));
        media->fileList()->onClickAddButton();
        // Isha and Midnight get files; the rows between stay empty.
        RDPrayFileListWidget *pray = widget->prayWidget()->fileList();
        answerFiles({kOddPaths[0]});
        pray->onClickItemFileButton(pray->rows()[6]);
        answerFiles({kOddPaths[2], kOddPaths[1]});
        pray->onClickItemFileButton(pray->rows()[8]);

        RDGroup edited = before;
        widget->saveGroup(edited);
        ASSERT_TRUE(m_velmar->updateGroup(before, edited));
        const RDGroup after = m_velmar->getGroupById(before.id);

        EXPECT_EQ(after.source, QLatin1String(c.source));
        EXPECT_EQ(after.mediumLoopType, QLatin1String(c.loop));
        EXPECT_EQ(after.mediumLoopTimes, c.times);
        EXPECT_EQ(after.mediumLoopDuration, c.duration);
        EXPECT_EQ(after.streamUrl, QLatin1String(c.url));
        EXPECT_EQ(after.medium, names(kOddPaths).join(QLatin1Char('\n')));
        EXPECT_EQ(after.prayFiles, QStringLiteral("\n\n\n\n\n\n%1\n\n%2").arg(kOddPaths[0], kOddPaths[2]));
        const RDCoreDevice picked = devices->rows()[c.deviceRow]->device();
        EXPECT_EQ(after.audioId, picked.id());
        EXPECT_EQ(after.audioName, picked.name());
        EXPECT_EQ(after.audioType, picked.type());

        // A fresh editor shows what was stored.
        auto again = makeWidget();
        again->loadGroup(after);
        EXPECT_EQ(again->sourceCombo()->currentIndex(), c.index);
        EXPECT_EQ(again->mediaWidget()->loopType(), QLatin1String(c.loop));
        EXPECT_EQ(again->mediaWidget()->fileList()->files(), kOddPaths);
        EXPECT_EQ(again->prayWidget()->fileList()->files().value(8), kOddPaths[2]);
        EXPECT_EQ(again->soundWidget()->deviceGroups()->selectedDevice(), picked);
        EXPECT_EQ(again->streamWidget()->url(), QLatin1String(c.url));
    }
}

// Opening a stored zone and saving it untouched writes back exactly what
// was loaded, also where the pages cannot show the stored value.
TEST_F(ZoneSourceTest, ViewingAStoredZoneChangesNothing)
{
    struct Case {
        const char *name;
        int prayEnable;
        std::function<void(RDGroup &)> shape;
    };
    const Case cases[] = {
        {"prayer zone while prayer support is off", 0, [](RDGroup &z) { z.source = QStringLiteral("pray"); }},
        {"endpoint that is gone", 1,
         [](RDGroup &z) {
             z.audioId = QStringLiteral("usb-gone");
             z.audioName = QStringLiteral("Old Card");
             z.audioType = 0;
         }},
        {"empty prayer location and short prayer list", 1,
         [](RDGroup &z) {
             z.prayLocation.clear();
             z.prayFiles = QStringLiteral("/a.mp3\n\n/b.mp3");
             z.mediumLoopType = QStringLiteral("LIST");
         }},
    };
    int conference = 3100;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RDConfigure().setPrayEnable(c.prayEnable);
        RDGroup zone = baseZone(QByteArray::number(conference++).constData());
        c.shape(zone);
        const RDGroup loaded = stored(zone);
        auto widget = makeWidget();
        widget->loadGroup(loaded);
        RDGroup saved = loaded;
        widget->saveGroup(saved);
        EXPECT_EQ(saved.source, loaded.source);
        EXPECT_EQ(saved.audioId, loaded.audioId);
        EXPECT_EQ(saved.audioName, loaded.audioName);
        EXPECT_EQ(saved.audioType, loaded.audioType);
        EXPECT_EQ(saved.prayLocation, loaded.prayLocation);
        EXPECT_EQ(saved.prayFiles, loaded.prayFiles);
        EXPECT_EQ(saved.medium, loaded.medium);
        EXPECT_EQ(saved.mediumLoopType, loaded.mediumLoopType);
        EXPECT_EQ(saved.mediumLoopTimes, loaded.mediumLoopTimes);
        EXPECT_EQ(saved.streamUrl, loaded.streamUrl);
    }
}

// A new zone (not stored yet) takes what the pages show.
TEST_F(ZoneSourceTest, NewZoneTakesWhatThePagesShow)
{
    RDConfigure().setPrayEnable(0);
    auto widget = makeWidget();
    EXPECT_EQ(widget->sourceCombo()->count(), 3);
    RDGroup zone;
    zone.source = QStringLiteral("pray");
    zone.audioId = QStringLiteral("usb-gone");
    zone.prayFiles = QStringLiteral("/a.mp3");
    widget->loadGroup(zone);
    EXPECT_EQ(widget->sourceCombo()->currentIndex(), 0);
    RDGroup saved = zone;
    widget->saveGroup(saved);
    EXPECT_EQ(saved.source, QLatin1String("device"));
    EXPECT_EQ(saved.audioId, QLatin1String("mic-1"));
    EXPECT_EQ(saved.audioName, QLatin1String("Line In"));
    EXPECT_EQ(saved.prayLocation, QLatin1String("Makkah, Saudi Arabia"));
    EXPECT_EQ(saved.prayFiles.count(QLatin1Char('\n')), 8);

    // Prayer support switched on later: the choice grows a "Pray" item.
    RDConfigure().setPrayEnable(1);
    widget->reloadSources();
    ASSERT_EQ(widget->sourceCombo()->count(), 4);
    zone.source = QStringLiteral("MEDIA");
    widget->loadGroup(zone);
    EXPECT_EQ(widget->sourceCombo()->currentIndex(), int(RDGroupSourceWidget::MediaIndex));
    EXPECT_TRUE(widget->mediaWidget()->isVisible());
    EXPECT_FALSE(widget->soundWidget()->isVisible());
}

TEST_F(ZoneSourceTest, EndpointListChecksOneRowAndFallsBackToTheFirstCapture)
{
    RDCoreDeviceGroups list;
    const QVector<RDCoreDevice> endpoints = {RDCoreDevice("spk", "Speakers", 1), RDCoreDevice("m1", "Mic", 0),
                                             RDCoreDevice("m2", "Mic 2", 0)};
    list.setDevices(endpoints, QStringLiteral("missing"));
    EXPECT_EQ(list.selectedDevice().id(), QLatin1String("m1"));
    list.setDevices(endpoints, QStringLiteral("m2"));
    EXPECT_EQ(list.selectedDevice().id(), QLatin1String("m2"));
    QSignalSpy changed(&list, &RDCoreDeviceGroups::selectionChanged);
    list.onItemWidgetClicked(list.rows()[2]);
    EXPECT_EQ(changed.count(), 0);
    list.onItemWidgetClicked(list.rows()[0]);
    EXPECT_EQ(list.selectedDevice().id(), QLatin1String("spk"));
    int checked = 0;
    for (RDCoreDeviceGroupItemWidget *row : list.rows())
        checked += row->isChecked();
    EXPECT_EQ(checked, 1);
    // Only render endpoints: nothing is checked, nothing is stored.
    list.setDevices({RDCoreDevice("spk", "Speakers", 1)}, QString());
    EXPECT_TRUE(list.selectedDevice().isNull());
}

TEST_F(ZoneSourceTest, RunningZoneOpensReadOnlyAndMarksWhatPlays)
{
    RDGroup zone = baseZone("3200");
    zone.source = QStringLiteral("media");
    zone.setMedia(kOddPaths);
    const RDGroup loaded = stored(zone);
    RDGroup running = loaded;
    running.started = 1;
    running.startType = QStringLiteral("media");
    running.setPlayStatus(1, 0.0, 9);
    auto widget = makeWidget();
    widget->loadGroup(running);
    EXPECT_FALSE(widget->sourceCombo()->isEnabled());
    EXPECT_FALSE(widget->soundWidget()->deviceGroups()->isEnabled());
    EXPECT_FALSE(widget->streamWidget()->urlEdit()->isEnabled());
    EXPECT_TRUE(widget->streamWidget()->playButton()->isEnabled());
    EXPECT_FALSE(widget->mediaWidget()->isEditable());
    EXPECT_FALSE(widget->mediaWidget()->timesEdit()->isEnabled());
    EXPECT_FALSE(widget->prayWidget()->locationBox()->isEnabled());
    EXPECT_FALSE(widget->prayWidget()->fileList()->isEditable());
    const auto rows = widget->mediaWidget()->fileList()->rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_FALSE(rows[0]->isPlaying());
    EXPECT_TRUE(rows[1]->isPlaying());
    // A file that cannot be read fills its row while it plays.
    EXPECT_EQ(rows[1]->progressBar()->width(), rows[1]->width());

    // Not editable: the add button does nothing, a row click still asks to play.
    QSignalSpy switched(widget.get(), &RDGroupSourceWidget::switchMedia);
    widget->mediaWidget()->fileList()->onClickAddButton();
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
    PaUiTest::click(rows[2], Qt::LeftButton, QPoint(5, 5));
    ASSERT_EQ(switched.count(), 1);
    EXPECT_EQ(switched.at(0).at(0).toString(), kOddPaths[2]);
    EXPECT_EQ(switched.at(0).at(1).toInt(), 2);

    // Stopped again: editable, and no row plays.
    widget->loadGroup(loaded);
    EXPECT_TRUE(widget->sourceCombo()->isEnabled());
    EXPECT_TRUE(widget->mediaWidget()->isEditable());
    EXPECT_FALSE(rows[1]->isPlaying());
}

TEST(MediaSourcePage, RepeatWordsAndNumberEdits)
{
    RDGroupSourceMediaWidget page;
    const struct {
        const char *word;
        const char *shown;
    } cases[] = {{"list", "list"}, {"LIST", "none"}, {"TIMES", "times"}, {"Duration", "duration"}, {"", "none"}};
    for (const auto &c : cases) {
        page.setLoopType(QLatin1String(c.word));
        EXPECT_EQ(page.loopType(), QLatin1String(c.shown)) << c.word;
        EXPECT_EQ(page.timesEdit()->isEnabled(), page.loopType() == QLatin1String("times")) << c.word;
    }
    page.setLoopType(QStringLiteral("times"));
    page.timesEdit()->clear();
    QTest::keyClicks(page.timesEdit(), QStringLiteral("1x2-3"));
    EXPECT_EQ(page.timesEdit()->text(), QLatin1String("123"));
    EXPECT_EQ(page.loopTimes(), 123);
    page.setLoopType(QStringLiteral("duration"));
    page.durationEdit()->clear();
    EXPECT_EQ(page.loopDuration(), 0);
    // One past the largest count cannot be typed.
    QTest::keyClicks(page.durationEdit(), QStringLiteral("2147483648"));
    EXPECT_EQ(page.durationEdit()->text(), QLatin1String("214748364"));
    page.durationEdit()->clear();
    QTest::keyClicks(page.durationEdit(), QStringLiteral("2147483647"));
    EXPECT_EQ(page.loopDuration(), 2147483647);
}

// At the home panel's width the "Audio Source" caption is not cut at the
// usual font sizes, and the choice beside it keeps a usable width.
TEST(ZoneSourceCaption, FitsItsTextAtLargerFonts)
{
    for (int points : {9, 12}) {
        RDGroupSourceWidget source;
        QFont font = source.font();
        font.setPointSize(points);
        source.setFont(font);
        source.resize(258, 300);
        source.languageChanged();
        const RDLabel *caption = nullptr;
        for (const RDLabel *label : source.findChildren<RDLabel *>()) {
            if (label->text() == QLatin1String("Audio Source"))
                caption = label;
        }
        ASSERT_NE(caption, nullptr);
        const auto *combo = source.findChild<QComboBox *>();
        ASSERT_NE(combo, nullptr);
        EXPECT_GE(caption->width(), caption->fontMetrics().horizontalAdvance(caption->text())) << points;
        EXPECT_GE(combo->width(), 90) << points;
        EXPECT_LE(combo->geometry().right(), source.width()) << points;
        EXPECT_LT(caption->geometry().right(), combo->geometry().left()) << points;
    }
}

TEST(MediaFileList, MenuEditsTheListInPlace)
{
    PaUiTest::CaptureUnscripted unscripted;
    RDFileListWidget list;
    list.resize(300, 300);
    list.show();
    QSignalSpy changed(&list, &RDFileListWidget::mediaChanged);
    list.setFiles({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});

    // "Add" on the third row inserts in front of it.
    list.onRightClickItemWidget(list.rows()[2], QPoint(2, 2));
    ASSERT_NE(list.contextMenu(), nullptr);
    answerFiles({"/m/x.mp3", "/m/y.mp3"});
    list.onClickRightAddItem();
    EXPECT_EQ(list.files(), (QVector<QString>{"/m/a.mp3", "/m/b.mp3", "/m/x.mp3", "/m/y.mp3", "/m/c.mp3"}));
    EXPECT_EQ(list.rows().size(), 5);

    list.onRightClickItemWidget(list.rows()[0], QPoint(2, 2));
    list.onClickRightTopItem();
    EXPECT_EQ(list.files().first(), QLatin1String("/m/a.mp3"));
    list.onRightClickItemWidget(list.rows()[3], QPoint(2, 2));
    list.onClickRightTopItem();
    EXPECT_EQ(list.files().first(), QLatin1String("/m/y.mp3"));
    list.onRightClickItemWidget(list.rows()[4], QPoint(2, 2));
    list.onClickRightDeleteItem();
    EXPECT_EQ(list.files(), (QVector<QString>{"/m/y.mp3", "/m/a.mp3", "/m/b.mp3", "/m/x.mp3"}));
    EXPECT_EQ(changed.count(), 4);

    // A cancelled picker and a cancelled question change nothing.
    answerFiles({});
    list.onClickAddButton();
    PAAlertDialog::setNextAnswer(0);
    list.onClickRightClearItem();
    EXPECT_EQ(list.files().size(), 4);
    EXPECT_EQ(changed.count(), 4);
    PAAlertDialog::setNextAnswer(1);
    list.onClickRightClearItem();
    EXPECT_TRUE(list.files().isEmpty());
    EXPECT_EQ(changed.count(), 5);
    QCoreApplication::processEvents();
    EXPECT_TRUE(unscripted.kinds().isEmpty()) << unscripted.kinds().join(QLatin1Char(',')).toStdString();

    // Play indicators: one row at a time, none for an index off the list.
    list.setFiles({"/m/a.mp3", "/m/b.mp3"});
    list.setPlayIndex(1, 3.0);
    EXPECT_TRUE(list.rows()[1]->isPlaying());
    list.setPlayIndex(0, 0.0);
    EXPECT_FALSE(list.rows()[1]->isPlaying());
    list.setPlayIndex(7, 0.0);
    EXPECT_FALSE(list.rows()[0]->isPlaying());
}

TEST(PrayerFileList, NineRowsWhateverTheStoredList)
{
    PaUiTest::CaptureUnscripted unscripted;
    RDPrayFileListWidget list;
    list.resize(300, 320);
    list.show();
    list.setFiles({"/p/fajr.mp3", "", "/p/dhuhr.mp3"});
    ASSERT_EQ(list.rows().size(), 9);
    EXPECT_EQ(list.files().size(), 9);
    EXPECT_EQ(list.rows()[8]->prayName(), QLatin1String("Midnight"));
    EXPECT_TRUE(list.rows()[5]->path().isEmpty());
    QVector<QString> ten(10, QStringLiteral("/p/x.mp3"));
    list.setFiles(ten);
    EXPECT_EQ(list.files().size(), 9);

    // "Delete" on Isha empties only that entry.
    QSignalSpy changed(&list, &RDPrayFileListWidget::fileChanged);
    list.onRightClickItemWidget(list.rows()[6], QPoint(2, 2));
    list.onClickRightDeleteItem();
    EXPECT_TRUE(list.files()[6].isEmpty());
    EXPECT_EQ(list.files().count(QStringLiteral("/p/x.mp3")), 8);
    EXPECT_EQ(changed.count(), 1);

    // Not editable: no menu, but the file button still assigns a file.
    list.setEditable(false);
    list.onRightClickItemWidget(list.rows()[0], QPoint(2, 2));
    EXPECT_EQ(list.contextMenu(), nullptr);
    answerFiles({"/p/first.mp3", "/p/second.mp3"});
    PaUiTest::click(list.rows()[1]->fileButton(), Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(list.files()[1], QLatin1String("/p/first.mp3"));
    EXPECT_EQ(list.rows()[1]->fileLabel()->text(), QLatin1String("first"));
    EXPECT_EQ(changed.count(), 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(unscripted.kinds().isEmpty()) << unscripted.kinds().join(QLatin1Char(',')).toStdString();
}

TEST(PrayerSourcePage, EmptyLocationQueriesThePlaceholder)
{
    RDGroupSourcePrayWidget page;
    page.setSettings(QString(), 4, 1, 2);
    QString asked;
    int method = -1;
    RDModal::Answer answer;
    answer.kind = QStringLiteral("dialog:RDPrayInfoDialog");
    answer.result = 0;
    answer.action = [&](QObject *object) {
        auto *dialog = qobject_cast<RDPrayInfoDialog *>(object);
        ASSERT_NE(dialog, nullptr);
        asked = dialog->location();
        method = dialog->method();
    };
    RDModal::queue(answer);
    QSignalSpy changed(&page, &RDGroupSourcePrayWidget::fileChanged);
    page.onClickLocationQuery();
    EXPECT_EQ(asked, QLatin1String("Makkah, Saudi Arabia"));
    EXPECT_EQ(method, 4);
    // Cancelled: nothing taken.
    EXPECT_TRUE(page.location().isEmpty());
    EXPECT_EQ(changed.count(), 0);
}

// Audio files of any letter case show in the (Qt) file picker on Linux.
TEST(AudioFilePicker, ListsAudioFilesOfAnyLetterCase)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char *name : {"a.mp3", "B.WAV", "c.Ogg", "d.FlAc", "notes.txt", "mp3"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const struct {
        QString filter;
        QStringList expected;
    } cases[] = {
        {RDAudioFileFilter::basicFilter(), {"B.WAV", "a.mp3", "c.Ogg"}},
        {RDAudioFileFilter::extendedFilter(), {"B.WAV", "a.mp3", "c.Ogg", "d.FlAc"}},
    };
    for (const auto &c : cases) {
        QFileDialog dialog(nullptr, QString(), dir.path());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilter(c.filter);
        auto *model = dialog.findChild<QFileSystemModel *>();
        ASSERT_NE(model, nullptr);
        QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        dialog.show();
        const QModelIndex root = model->index(dir.path());
        if (model->rowCount(root) == 0) {
            ASSERT_TRUE(loaded.wait(5000));
        }
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(root) > 0, 5000);
        QStringList shown;
        for (int i = 0; i < model->rowCount(root); ++i) {
            const QModelIndex index = model->index(i, 0, root);
            // Filtered-out files are kept but disabled when the model is told so.
            if (model->flags(index) & Qt::ItemIsEnabled)
                shown.append(model->fileName(index));
        }
        shown.sort();
        EXPECT_EQ(shown, c.expected) << c.filter.toStdString();
    }
}

class RadioTestPlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PlayerTestMedia::instance().isReady()) << PlayerTestMedia::instance().error().toStdString();
        backend.addEndpoint("spk", "Speakers", 1);
        page.resize(400, 120);
        page.show();
    }
    static QString media(const char *name) { return PlayerTestMedia::instance().path(name); }

    FakeAudioBackend backend;
    RDGroupSourceStreamWidget page;
};

// The tone reaches the endpoint; when the file ends the button comes back.
TEST_F(RadioTestPlay, ToneFilePlaysOnTheEndpointThenTheButtonComesBack)
{
    page.setUrl(media("sine.mp3"));
    PaUiTest::click(page.playButton(), Qt::LeftButton, QPoint(3, 3));
    EXPECT_TRUE(page.playButton()->isChecked());
    EXPECT_TRUE(backend.waitPlayedFrames(4800, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(!page.playButton()->isChecked(), 10000);
    EXPECT_FALSE(page.isPlaying());
    EXPECT_EQ(page.toastLabel(), nullptr);
}

TEST_F(RadioTestPlay, EmptyOrBrokenAddressesToastAndStayIdle)
{
    PaUiTest::click(page.playButton(), Qt::LeftButton, QPoint(3, 3));
    EXPECT_FALSE(page.playButton()->isChecked());
    EXPECT_FALSE(page.isPlaying());
    ASSERT_NE(page.toastLabel(), nullptr);
    EXPECT_EQ(page.toastLabel()->text(), QLatin1String("Please input radio url"));

    page.setUrl(media("missing.mp3"));
    PaUiTest::click(page.playButton(), Qt::LeftButton, QPoint(3, 3));
    QTRY_VERIFY_WITH_TIMEOUT(page.toastLabel() && page.toastLabel()->text() == QLatin1String("File play error"),
                             10000);
    EXPECT_FALSE(page.playButton()->isChecked());
    EXPECT_FALSE(page.isPlaying());
}

TEST_F(RadioTestPlay, ClickWhilePlayingStopsAtOnce)
{
    page.setUrl(media("sine.mp3"));
    PaUiTest::click(page.playButton(), Qt::LeftButton, QPoint(3, 3));
    ASSERT_TRUE(page.isPlaying());
    PaUiTest::click(page.playButton(), Qt::LeftButton, QPoint(3, 3));
    EXPECT_FALSE(page.isPlaying());
    EXPECT_FALSE(page.playButton()->isChecked());
    EXPECT_EQ(page.toastLabel(), nullptr);
}

} // namespace
