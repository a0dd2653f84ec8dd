// Writes a picture of every widget and dialog base of the kit into the
// folder given as the first argument, for a person to look over:
//   xvfb-run -a build-test/bin/tests/ui_gallery /tmp/gallery
#include "FakeAudioBackend.h"
#include "PAAlertDialog.h"
#include "PAGroupCallDialog.h"
#include "RDSipCallDialog.h"
#include "RDGroupAddDialog.h"
#include "RDGroupEditor.h"
#include "RDGroupInfoWidget.h"
#include "PALogDB.h"
#include "PALogDialog.h"
#include "PALogsView.h"
#include "VDB.h"
#include "DornixAPIWidget.h"
#include "FSLoadingDialog.h"
#include "FSManager.h"
#include "FSRestartDialog.h"
#include "KelCode.h"
#include "RDConfigure.h"
#include "RDQRCodeDialog.h"
#include "VDB.h"
#include "VelmarDB.h"
#include "VelmarGeneralWidget.h"
#include "VelmarNetworkWidget.h"
#include "VelmarSettingsDialog.h"
#include "RDGroupListWidget.h"
#include "RDGroupListItemWidget.h"
#include "RDHomeDialog.h"
#include "RDHomeGroupWidget.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupNumberWidget.h"
#include "RDCoreDeviceGroups.h"
#include "RDFileListWidget.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupSourceMediaWidget.h"
#include "RDGroupSourcePrayWidget.h"
#include "RDGroupSourceSoundWidget.h"
#include "RDGroupSourceStreamWidget.h"
#include "RDGroupSourceWidget.h"
#include "RDPrayFileListWidget.h"
#include "RDGroupBackgroundDialog.h"
#include "RDGroupMoreDialog.h"
#include "RDOnvifDeviceSearchDialog.h"
#include "RDOnvifListItemWidget.h"
#include "RDOnvifListWidget.h"
#include "VDB.h"
#include "VelmarDB.h"
#include "RDGroupRTPWidget.h"
#include "RDGroupSIPTrunkWidget.h"
#include "RDGroupScheduleWidget.h"
#include "RDPrayInfoDialog.h"
#include "RDPrayQueryDialog.h"
#include "RDUtils.h"
#include "RTPOperatorEventDialog.h"
#include "Velmar.h"
#include "RDBaseDialog.h"
#include "RDCalendarView.h"
#include "RDDeviceAddAllDialog.h"
#include "RDDeviceAddOneDialog.h"
#include "RDDeviceImportDialog.h"
#include "RDDeviceItemWidget.h"
#include "RDDeviceModifyDialog.h"
#include "RDDeviceWidget.h"
#include "RDDevicesDialog.h"
#include "RDDialogButton.h"
#include "RDFullDialog.h"
#include "RDLabel.h"
#include "RDLoadingDialog.h"
#include "RDMonthlyView.h"
#include "RDNetworkSelectDialog.h"
#include "RDPagingIndicateView.h"
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"
#include "RDProgress.h"
#include "RDSlider.h"
#include "RDToast.h"
#include "RDVerticalTabStyle.h"
#include "RDWeeklyView.h"
#include "RDWidgetStyle.h"
#include "SwitchControl.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QString g_dir;
int g_written = 0;
bool g_ok = true;

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

void shoot(QWidget *w, const char *name)
{
    w->show();
    settle();
    const QString path = QStringLiteral("%1/%2.png").arg(g_dir, QLatin1String(name));
    if (w->grab().save(path)) {
        ++g_written;
    } else {
        g_ok = false;
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
    w->hide();
}

// A plain grey board that widgets of dark screens sit on.
QWidget *board(int w, int h, const QColor &color)
{
    auto *b = new QWidget;
    b->resize(w, h);
    setBackgroundBrush(b, color);
    return b;
}

void labels()
{
    QWidget *b = board(420, 170, QColor(242, 243, 245));
    auto *plain = new RDLabel(b);
    plain->setText(QStringLiteral("Plain label"));
    plain->setTextColor(QColor(0, 0, 0));
    plain->setGeometry(10, 10, 190, 30);
    auto *disabled = new RDLabel(b);
    disabled->setText(QStringLiteral("Disabled label"));
    disabled->setTextColor(QColor(0, 0, 0));
    disabled->setEnabled(false);
    disabled->setGeometry(210, 10, 190, 30);
    auto *primary = new RDLabel(b);
    primary->setText(QStringLiteral("Primary button"));
    applyPrimaryButtonStyle(primary);
    primary->setBorder(5, 1, QColor(53, 141, 0));
    primary->setGeometry(10, 50, 190, 30);
    auto *framed = new RDLabel(b);
    framed->setText(QStringLiteral("Ring border 3 px"));
    framed->setTextColor(QColor(0, 0, 0));
    framed->setBackgroundColor(QColor(255, 255, 255));
    framed->setBorder(12, 3, QColor(85, 85, 85));
    framed->setGeometry(210, 50, 190, 40);
    auto *go = new RDLabel(b);
    go->setText(QStringLiteral("Go"));
    go->setMargins(10, 0, 10, 0);
    go->setBorder(0, 1, QColor(100, 149, 237));
    go->setTextColor(QColor(100, 149, 237));
    go->setGeometry(10, 100, 60, 30);
    auto *combo = new QComboBox(b);
    applyComboBoxStyle(combo);
    combo->addItems({QStringLiteral("Sound Device"), QStringLiteral("Live Radio")});
    combo->setGeometry(210, 100, 190, 25);
    shoot(b, "01-labels");
    delete b;
}

void toast()
{
    auto *t = new RDToast;
    t->resize(360, 160);
    t->setBackgroundColor(QColor(255, 255, 255));
    t->setBorder(0, 1, QColor(85, 85, 85));
    t->showToast(QStringLiteral("Save Success"));
    shoot(t, "02-toast");
    delete t;
}

void icons()
{
    QWidget *b = board(520, 120, QColor(255, 255, 255));
    const char *names[] = {"icon", "minimized_black", "minimized_hover", "maximized_black", "maximized_hover",
                           "close_black", "close_hover", "drop_down_gray"};
    int x = 10;
    for (const char *name : names) {
        auto *dark = board(56, 100, QString::fromLatin1(name).contains(QLatin1String("close_hover"))
                                        ? QColor(224, 16, 16)
                                        : QColor(255, 255, 255));
        dark->setParent(b);
        dark->move(x, 10);
        auto *small = new RDPixmapButton(dark);
        small->setPixmap(QStringLiteral(":/resources/%1.svg").arg(QLatin1String(name)), 20);
        small->setGeometry(18, 5, small->sizeHint().width(), small->sizeHint().height());
        auto *big = new RDPixmapButton(dark);
        big->setPixmap(QStringLiteral(":/resources/%1.svg").arg(QLatin1String(name)), 48);
        big->setGeometry(4, 40, big->sizeHint().width(), big->sizeHint().height());
        x += 62;
    }
    shoot(b, "03-icons");
    delete b;

    QWidget *blue = board(120, 60, QColor(0x19, 0xa4, 0xff));
    int bx = 10;
    for (const char *name : {"calendar_prev", "calendar_prev_pressed", "calendar_next", "calendar_next_pressed"}) {
        auto *button = new RDPixmapButton(blue);
        button->setPixmap(QStringLiteral(":/resources/%1.svg").arg(QLatin1String(name)), 18);
        button->setGeometry(bx, 15, button->sizeHint().width(), button->sizeHint().height());
        bx += 26;
    }
    shoot(blue, "04-calendar-arrows");
    delete blue;
}

void controls()
{
    QWidget *b = board(360, 170, QColor(60, 63, 65));
    auto *slider = new RDSlider(b);
    slider->setGeometry(10, 10, 200, 20);
    slider->setValue(30);
    auto *sliderLight = new RDSlider(b);
    sliderLight->setGeometry(10, 40, 200, 20);
    sliderLight->setTrackColor(QColor(200, 200, 200));
    sliderLight->setValue(100);
    int x = 230;
    for (int state = 0; state < 3; ++state) {
        auto *sw = new SwitchControl(b);
        sw->setGeometry(x, 10, 38, 22);
        if (state == 1) {
            sw->setToggled(true);
        } else if (state == 2) {
            sw->setEnabled(false);
        }
        x += 42;
    }
    auto *spinner = new RDProgress(b);
    spinner->setGeometry(10, 80, 60, 60);
    spinner->setDisplayedWhenStopped(true);
    auto *percent = new RDProgress(b);
    percent->setGeometry(90, 80, 60, 60);
    percent->setDisplayedWhenStopped(true);
    percent->onProgress(42);
    auto *small = new RDProgress(b);
    small->setGeometry(170, 95, 25, 25);
    small->setColor(QColor(43, 43, 43));
    small->setDisplayedWhenStopped(true);
    b->show();
    // Let the switches slide to rest.
    QTimer::singleShot(400, [] {});
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    shoot(b, "05-slider-switch-spinner");
    delete b;
}

void dialogs()
{
    {
        RDBaseDialog dialog;
        dialog.resize(430, 230);
        dialog.showToast(QStringLiteral("A toast over a dialog"));
        shoot(&dialog, "06-base-dialog-toast");
        dialog.showLoading(0);
        shoot(&dialog, "07-base-dialog-loading");
    }
    {
        RDFullDialog dialog;
        dialog.resize(640, 400);
        shoot(&dialog, "08-full-dialog");
    }
    {
        PAAlertDialog alert;
        alert.setMessage(QStringLiteral("Do you want to exit the application"));
        alert.setOkText(QStringLiteral("Exit"));
        alert.setCancelText(QStringLiteral("Minimized"));
        shoot(&alert, "09-alert");
    }
    {
        RDLoadingDialog loading;
        loading.setMessage(QStringLiteral("Searching for cameras"));
        shoot(&loading, "10-loading-dialog");
    }
    {
        RDNetworkSelectDialog dialog;
        RDNetworkAdapter a;
        a.name = QStringLiteral("eth0");
        a.description = QStringLiteral("Intel Ethernet");
        a.ip = QStringLiteral("192.168.1.20");
        a.netmask = QStringLiteral("255.255.255.0");
        RDNetworkAdapter b = a;
        b.name = QStringLiteral("wlan0");
        b.description = QStringLiteral("Wireless");
        b.ip = QStringLiteral("10.0.0.7");
        dialog.setNetworks({a, b});
        dialog.selectNetwork(a.ip, a.netmask);
        shoot(&dialog, "11-network-select");
    }
    {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        QStringLiteral("Delete the selected devices?"), QMessageBox::NoButton, nullptr,
                        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box.addButton(QMessageBox::Yes)->setText(QStringLiteral("Delete"));
        box.addButton(QMessageBox::No)->setText(QStringLiteral("Keep"));
        box.setDefaultButton(QMessageBox::No);
        shoot(&box, "12-message-box");
    }
}

void pickers()
{
    {
        QWidget *b = board(900, 50, QColor(242, 243, 245));
        auto *pager = new RDPagingIndicateView(b);
        pager->setGeometry(0, 5, 900, 40);
        pager->setPageCount(30);
        pager->show();
        QLineEdit *entry = pager->findChild<QLineEdit *>();
        entry->setText(QStringLiteral("21"));
        QMetaObject::invokeMethod(entry, "returnPressed");
        settle();
        shoot(b, "13-paging");
        delete b;
    }
    {
        QWidget *b = board(300, 270, QColor(242, 243, 245));
        auto *calendar = new RDCalendarView(b);
        calendar->setGeometry(10, 0, 280, 260);
        calendar->setDate(QDate(2026, 12, 1));
        calendar->setSelectedDate(QDate(2026, 12, 24));
        shoot(b, "14-calendar");
        delete b;
    }
    {
        QWidget *b = board(300, 230, QColor(242, 243, 245));
        auto *month = new RDMonthlyView(b);
        month->setGeometry(10, 10, 280, 150);
        month->setSelectedDays(QStringLiteral("1;15;31;"));
        auto *week = new RDWeeklyView(b);
        week->setGeometry(10, 170, 280, 50);
        week->setSelectedDays(QStringLiteral("0;6;"));
        auto *off = new RDWeeklyView(b);
        off->setEnabled(false);
        off->setGeometry(10, 170, 0, 0);
        shoot(b, "15-month-week-pickers");
        off->setGeometry(10, 170, 280, 50);
        week->hide();
        shoot(b, "16-week-picker-disabled");
        delete b;
    }
    {
        RDVerticalTabStyle style;
        QTabWidget tabs;
        tabs.setTabPosition(QTabWidget::West);
        tabs.tabBar()->setStyle(&style);
        tabs.addTab(new QWidget, QStringLiteral("Schedule"));
        tabs.addTab(new QWidget, QStringLiteral("SIP Trunk"));
        tabs.addTab(new QWidget, QStringLiteral("RTP"));
        tabs.resize(360, 200);
        shoot(&tabs, "17-vertical-tabs");
    }
    {
        QMenu menu;
        applyMenuStyle(&menu);
        menu.addAction(QStringLiteral("Modify"));
        menu.addAction(QStringLiteral("Call"));
        menu.addSeparator();
        menu.addAction(QStringLiteral("Delete"));
        shoot(&menu, "18-menu");
    }
}


// A zone as an installation holds it, with every advanced setting in use.
RDGroup galleryZone()
{
    RDGroup g;
    g.id = 7;
    g.name = QStringLiteral("Lobby and entrance");
    g.source = QStringLiteral("media");
    g.conference = QStringLiteral("3001");
    g.scheduleEnable = 1;
    g.scheduleRepeatType = QStringLiteral("weekly");
    g.scheduleRepeatValue = QStringLiteral("1;2;3;4;5;");
    g.scheduleTime = QStringLiteral("20260302");
    g.setScheduleOperations({{QStringLiteral("07:30"), QStringLiteral("start")},
                             {QStringLiteral("12:00"), QStringLiteral("stop")},
                             {QStringLiteral("13:00"), QStringLiteral("start")},
                             {QStringLiteral("18:15"), QStringLiteral("stop")}});
    g.sipTrunkEnable = 1;
    g.sipTrunkServer = QStringLiteral("sip.carrier.example");
    g.sipTrunkPort = QStringLiteral("5060");
    g.sipTrunkNumber = QStringLiteral("+4930123456");
    g.sipTrunkName = QStringLiteral("Reception");
    g.sipTrunkPassword = QStringLiteral("s3cret-pass");
    g.sipTrunkExpire = QStringLiteral("3600");
    g.rtpEnable = 1;
    g.rtpUrl = QStringLiteral("239.255.0.1:5008");
    g.httpOutputEnable = 1;
    return g;
}

// One month of prayer times in the service's answer form.
QByteArray galleryPrayMonth(const QDate &month)
{
    QJsonArray data;
    for (int day = 1; day <= month.daysInMonth(); ++day) {
        const int shift = day / 3;
        const auto at = [shift](int h, int m) {
            const int t = h * 60 + m + shift;
            return QStringLiteral("%1:%2 (EET)").arg(t / 60, 2, 10, QLatin1Char('0')).arg(t % 60, 2, 10, QLatin1Char('0'));
        };
        QJsonObject timings{{"Fajr", at(4, 31)},     {"Sunrise", at(6, 2)}, {"Dhuhr", at(11, 47)},
                            {"Asr", at(14, 53)},     {"Sunset", at(17, 31)}, {"Maghrib", at(17, 34)},
                            {"Isha", at(18, 58)},    {"Imsak", at(4, 21)},  {"Midnight", at(23, 47)}};
        QJsonObject gregorian{{"day", QStringLiteral("%1").arg(day, 2, 10, QLatin1Char('0'))},
                              {"month", QJsonObject{{"number", month.month()}}},
                              {"year", QString::number(month.year())}};
        data.append(QJsonObject{{"timings", timings}, {"date", QJsonObject{{"gregorian", gregorian}}}});
    }
    return QJsonDocument(QJsonObject{{"code", 200}, {"data", data}}).toJson(QJsonDocument::Compact);
}

void zoneEditors()
{
    const RDGroup zone = galleryZone();
    {
        RDGroupMoreDialog more;
        more.setGroup(zone);
        // No switch runs here: the stream address of a typical installation.
        more.rtpWidget()->setGroup(zone, QStringLiteral("192.168.1.10"), 9391);
        more.updateSipTrunkRegStatus(QStringLiteral("registered"));
        const char *const names[3] = {"20-more-schedule", "21-more-sip-trunk", "22-more-rtp"};
        for (int tab = 0; tab < 3; ++tab) {
            more.setCurrentTab(tab);
            shoot(&more, names[tab]);
        }
        RDGroup daily = zone;
        daily.scheduleRepeatType = QStringLiteral("onceonly");
        daily.sipTrunkEnable = 0;
        daily.httpOutputEnable = 0;
        more.setGroup(daily);
        more.rtpWidget()->setGroup(daily, QStringLiteral("192.168.1.10"), 9391);
        more.updateSipTrunkRegStatus(QStringLiteral("register fail"));
        more.setCurrentTab(RDGroupMoreDialog::ScheduleTab);
        shoot(&more, "23-more-schedule-once");
        more.setCurrentTab(RDGroupMoreDialog::SipTrunkTab);
        shoot(&more, "24-more-sip-trunk-off");
        more.setCurrentTab(RDGroupMoreDialog::RtpTab);
        shoot(&more, "25-more-rtp-http-off");
    }
    {
        RTPOperatorEventDialog event;
        event.setOperation({QStringLiteral("18:15"), QStringLiteral("stop")});
        shoot(&event, "26-operation-editor");
    }
    {
        QTemporaryDir prayDir;
        Velmar::setPrayDir(prayDir.path());
        const QDate today = QDate::currentDate();
        const QString place = QStringLiteral("Cairo, Egypt");
        writeFile(Velmar::prayCacheFile(place, 5, 0, 3, today.year(), today.month()),
                  galleryPrayMonth(today));
        RDPrayInfoDialog pray;
        pray.init(place, 5, 0, 3);
        shoot(&pray, "27-pray-settings");
        Velmar::setPrayDir(QString());
    }
    {
        RDPrayQueryDialog query;
        shoot(&query, "28-pray-query");
    }
}

// A silent 16-bit mono WAV file of `seconds`, so the media rows show real
// playing times.
QString galleryWav(const QTemporaryDir &dir, const QString &name, int seconds)
{
    const quint32 rate = 8000;
    const quint32 bytes = rate * 2 * quint32(seconds);
    QByteArray wav("RIFF");
    const auto u32 = [&wav](quint32 v) { for (int i = 0; i < 4; ++i) wav.append(char((v >> (8 * i)) & 0xff)); };
    const auto u16 = [&wav](quint16 v) { wav.append(char(v & 0xff)); wav.append(char(v >> 8)); };
    u32(36 + bytes);
    wav.append("WAVEfmt ");
    u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
    wav.append("data");
    u32(bytes);
    wav.append(QByteArray(int(bytes), '\0'));
    const QString path = dir.filePath(name);
    writeFile(path, wav);
    return path;
}

// The zone source editors: each page of the source choice filled as in a
// typical installation, a running media zone and the prayer page.
void sourceEditors()
{
    QTemporaryDir audio;
    const QVector<QString> files = {galleryWav(audio, QStringLiteral("Morning announcement.wav"), 42),
                                    galleryWav(audio, QStringLiteral("Background music - lobby.wav"), 185),
                                    galleryWav(audio, QStringLiteral("Closing time.wav"), 17),
                                    galleryWav(audio, QString::fromUtf8("Grüße an alle Gäste.wav"), 63)};
    const QVector<RDCoreDevice> endpoints = {RDCoreDevice("in-1", "Line In (USB Audio CODEC)", 0),
                                             RDCoreDevice("in-2", "Microphone (Realtek High Definition Audio)", 0),
                                             RDCoreDevice("out-1", "Speakers (Realtek High Definition Audio)", 1)};
    RDGroup zone = galleryZone();
    zone.source = QStringLiteral("device");
    zone.audioId = QStringLiteral("in-2");
    zone.streamUrl = QStringLiteral("http://stream.radio.example:8000/classic.mp3");
    zone.mediumLoopType = QStringLiteral("times");
    zone.mediumLoopTimes = 3;
    zone.mediumLoopDuration = 600;
    zone.setMedia(files);
    {
        RDGroupSourceWidget source;
        source.resize(420, 480);
        source.loadGroup(zone);
        source.soundWidget()->deviceGroups()->setDevices(endpoints, zone.audioId);
        shoot(&source, "45-source-sound-device");
        source.sourceCombo()->setCurrentIndex(RDGroupSourceWidget::StreamIndex);
        shoot(&source, "46-source-live-radio");
        source.sourceCombo()->setCurrentIndex(RDGroupSourceWidget::MediaIndex);
        shoot(&source, "47-source-media");
        RDGroup running = zone;
        running.source = QStringLiteral("media");
        running.started = 1;
        running.startType = QStringLiteral("media");
        running.setPlayStatus(1, 120.0, 9);
        source.loadGroup(running);
        shoot(&source, "48-source-media-running");
    }
    {
        RDGroupSourceStreamWidget radio;
        radio.resize(420, 120);
        radio.showToast(QStringLiteral("Please input radio url"));
        shoot(&radio, "49-source-radio-toast");
    }
    {
        QTemporaryDir prayDir;
        Velmar::setPrayDir(prayDir.path());
        const QDate today = QDate::currentDate();
        const QString place = QStringLiteral("Cairo, Egypt");
        writeFile(Velmar::prayCacheFile(place, 5, 0, 3, today.year(), today.month()), galleryPrayMonth(today));
        RDGroupSourcePrayWidget pray;
        pray.resize(420, 420);
        pray.setSettings(place, 5, 0, 3);
        pray.fileList()->setPrayDay(pray.today());
        pray.fileList()->setFiles({files[0], QString(), files[2], files[3], QString(), files[1]});
        pray.fileList()->setPlayIndex(2, 10.0);
        shoot(&pray, "50-source-pray");
        pray.setSettings(QString(), 5, 0, 3);
        pray.fileList()->setPrayDay(PAPrayDay());
        pray.fileList()->setFiles({});
        pray.fileList()->setPlayIndex(-1, 0.0);
        shoot(&pray, "51-source-pray-empty");
        Velmar::setPrayDir(QString());
    }
}

RDDevice galleryDevice(int i)
{
    static const char *states[] = {"online", "calling", "none"};
    RDDevice d;
    d.id = i + 1;
    d.number = QString::number(6000 + i);
    d.name = i % 7 == 3 ? QStringLiteral("Reception desk intercom") : QStringLiteral("Speaker %1").arg(i + 1);
    d.password = QStringLiteral("pw%1").arg(i);
    d.status = QLatin1String(states[i % 3]);
    return d;
}

// The device list with 0, 3 and 200 devices (online, calling and offline
// tiles, one selected), and the dialogs it opens.
void devices()
{
    for (int count : {0, 3, 200}) {
        RDDevicesDialog dialog;
        dialog.resize(900, 620);
        for (int i = 0; i < count; ++i)
            dialog.updateDeviceAdded(galleryDevice(i));
        if (count > 0)
            dialog.deviceWidget()->items()[1]->setSelected(true);
        dialog.updateSelectLabel();
        const QByteArray name = "29-devices-" + QByteArray::number(count);
        shoot(&dialog, name.constData());
    }
    {
        RDDeviceAddOneDialog dialog;
        dialog.findChild<QLineEdit *>(QStringLiteral("numberEdit"))->setText(QStringLiteral("5999"));
        dialog.findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("secret"));
        dialog.showToast(QStringLiteral("SIP number is between 6000 and 6999"));
        shoot(&dialog, "30-device-add-one");
    }
    {
        RDDeviceAddAllDialog dialog;
        dialog.findChild<QLineEdit *>(QStringLiteral("startEdit"))->setText(QStringLiteral("6100"));
        dialog.findChild<QLineEdit *>(QStringLiteral("namePrefixEdit"))->setText(QStringLiteral("Hall "));
        shoot(&dialog, "31-device-add-all");
    }
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("devices.txt"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("Gate;6001;pw6001\nHall;6002;pw6002\nbroken line\nYard;6003;pw6003\n");
        f.close();
        RDDeviceImportDialog dialog;
        dialog.readFile(path);
        shoot(&dialog, "32-device-import");
    }
    {
        RDDeviceModifyDialog dialog;
        dialog.setDevice(galleryDevice(4));
        shoot(&dialog, "33-device-modify");
    }
}

// The zone and device call dialogs with the PC's sound endpoints of a
// typical desk, in the states the operator sees (no call is placed).
void calls()
{
    FakeAudioBackend audio;
    audio.addEndpoint("mic-desk", "Microphone (USB Desk Microphone)", 0);
    audio.addEndpoint("mic-headset", "Headset Microphone (Bluetooth)", 0);
    audio.addEndpoint("spk", "Speakers (Realtek High Definition Audio)", 1);
    {
        PAGroupCallDialog dialog;
        dialog.setNumber(QStringLiteral("3001"));
        dialog.updateStatus(QStringLiteral("Talking"));
        shoot(&dialog, "40-zone-call");
    }
    {
        RDSipCallDialog dialog;
        dialog.setNumber(QStringLiteral("6001"));
        dialog.captureCombo()->setCurrentIndex(1);
        dialog.updateStatus(QStringLiteral("Registring"));
        dialog.resize(420, 260);
        shoot(&dialog, "41-device-call");
    }
    audio.removeEndpoint("mic-desk");
    audio.removeEndpoint("mic-headset");
    {
        RDSipCallDialog dialog;
        dialog.updateStatus(QStringLiteral("Microphone not found"));
        shoot(&dialog, "42-device-call-no-microphone");
    }
}

// The zone info panel (stopped, and running with the more settings lit and
// the volume muted) and the zone add dialog, empty and refusing a number.
void zonePanel()
{
    RDGroup zone = galleryZone();
    QVector<RDDevice> members;
    for (int i = 0; i < 9; ++i)
        members.append(galleryDevice(i));
    zone.setDevices(members);
    zone.setMedia({QStringLiteral("/srv/music/Morning jazz.mp3"), QStringLiteral("/srv/music/Café ambience.flac"),
                   QStringLiteral("/srv/announcements/closing time.wav")});
    zone.mediumLoopType = QStringLiteral("list");
    zone.priority = 3;
    {
        RDGroupInfoWidget panel;
        panel.resize(1000, 560);
        RDGroup stopped = zone;
        stopped.scheduleEnable = 0;
        stopped.rtpEnable = 0;
        stopped.started = 0;
        panel.setGroup(stopped);
        panel.editor()->deviceWidget()->items()[2]->setSelected(true);
        shoot(&panel, "55-zone-info-panel");
        RDGroup running = zone;
        running.started = 1;
        running.volume = -10;
        running.scheduleEnable = 1;
        running.sipTrunkEnable = 1;
        running.rtpEnable = 1;
        panel.setGroup(running);
        shoot(&panel, "56-zone-info-running");
    }
    {
        RDGroupAddDialog dialog;
        dialog.resize(1000, 640);
        RDGroup fresh;
        fresh.name = QStringLiteral("Car park");
        fresh.source = QStringLiteral("stream");
        fresh.streamUrl = QStringLiteral("http://radio.example/live.mp3");
        fresh.setDevices({galleryDevice(1), galleryDevice(5)});
        dialog.setGroup(fresh);
        shoot(&dialog, "57-zone-add");
        dialog.editor()->numberRow()->setText(QStringLiteral("4000"));
        dialog.onClickOKButton();
        shoot(&dialog, "58-zone-add-invalid");
    }
}

// A realistic event log: six zones over a week, started by hand, by
// schedule, by calls and prayers, stopped by the end of play or of a call.
void fillEventLog(int records)
{
    static const char *const conferences[] = {"3000", "3001", "3002", "3003", "3010", "3011"};
    static const char *const starts[][2] = {{"user", "media"},     {"schedule", "media"}, {"call conference", "device"},
                                            {"http", "stream"},    {"pray", "pray"},      {"sipTrunk", "device"},
                                            {"api", "stream"}};
    static const char *const stops[] = {"media", "user", "internal", "external", "schedule", "http", "api"};
    PALogDB log(true);
    log.checkUpgrade();
    QSqlDatabase db = log.database();
    db.transaction();
    QDateTime time(QDate(2026, 11, 27), QTime(6, 30));
    for (int i = 0; i < records; ++i) {
        PALogRecord record;
        record.groupConference = QLatin1String(conferences[(i / 2) % 6]);
        record.groupName = QStringLiteral("Zone ") + record.groupConference;
        const bool start = i % 2 == 0;
        const int kind = (i / 2) % 7;
        record.action = i % 23 == 5 ? QStringLiteral("app talk") : start ? QStringLiteral("start") : QStringLiteral("stop");
        record.source = QLatin1String(starts[kind][1]);
        record.type = QLatin1String(start ? starts[kind][0] : stops[kind]);
        record.dateTime = time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        log.insertLog(record);
        time = time.addSecs(start ? 17 * 60 + (i % 5) * 41 : 43 * 60 + (i % 3) * 7);
    }
    db.commit();
}

// The event-log window on an empty log, then on a filled one: the newest
// page, a date range on its third page, and one zone.
void eventLogs()
{
    QTemporaryDir dir;
    const QString oldDir = VDB::dataDir();
    VDB::setDataDir(dir.path());
    QVector<RDGroup> zones;
    for (const char *conference : {"3000", "3001", "3002", "3003", "3010", "3011"}) {
        RDGroup zone;
        zone.conference = QLatin1String(conference);
        zones.append(zone);
    }
    {
        PALogDialog dialog;
        dialog.resize(1000, 680);
        shoot(&dialog, "85-event-log-empty");
    }
    fillEventLog(336);
    {
        PALogDialog dialog;
        dialog.setGroups(zones);
        dialog.resize(1000, 680);
        shoot(&dialog, "86-event-log");
        // A range given the wrong way round, on its third page.
        dialog.startDateEdit()->setDate(QDate(2026, 12, 5));
        dialog.endDateEdit()->setDate(QDate(2026, 11, 28));
        dialog.onClickSearch(false);
        dialog.logsView()->pagingView()->setCurrentPage(2);
        dialog.logsView()->showPage(2);
        shoot(&dialog, "87-event-log-range-page-3");
        dialog.zoneCombo()->setCurrentIndex(3);
        dialog.onClickSearch(false);
        shoot(&dialog, "88-event-log-zone");
    }
    PALogDB::closeSharedLog();
    VDB::setDataDir(oldDir);
}

// The settings dialog on each page over a private database and a switch
// manager that knows its network, the large QR code and the switch dialogs.
void settings()
{
    QTemporaryDir data;
    const QString oldDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
    }
    {
        RDConfigure conf;
        conf.setKelCodeEnable(1);
        conf.setKelCode(QStringLiteral("VLM-4K7Q-2291"));
        conf.setWsEnable(1);
        conf.setWsPort(9024);
        conf.setAuthEnable(1);
        conf.setAuthUsername(QStringLiteral("operator"));
        conf.setAuthPassword(QStringLiteral("hall-2291"));
    }
    FSManager *fs = FSManager::createInstance();
    fs->setNetwork(QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0"), 5060, true,
                   QStringLiteral("203.0.113.7"), 5080, QStringLiteral("OPUS,G722,PCMA"));
    fs->setRtpPortRange(16384, 32768);
    Velmar::createInstance();
    {
        VelmarSettingsDialog dialog;
        const char *names[] = {"75-settings-general", "76-settings-system", "77-settings-about",
                               "78-settings-app-connect", "79-settings-data"};
        for (int i = 0; i < 5; ++i) {
            dialog.tabs()->setCurrentIndex(i);
            shoot(&dialog, names[i]);
        }
        dialog.tabs()->setCurrentIndex(1);
        dialog.systemPage()->internalPortEdit()->setText(QStringLiteral("70000"));
        dialog.systemPage()->onClickOKButton();
        shoot(&dialog, "80-settings-system-refused");
    }
    {
        RDQRCodeDialog dialog;
        dialog.setCode(KelCode::encode(QStringLiteral("192.168.1.20:9024")), QStringLiteral("192.168.1.20:9024"));
        shoot(&dialog, "81-qr-code");
    }
    {
        FSRestartDialog dialog;
        shoot(&dialog, "82-switch-restart");
    }
    {
        FSLoadingDialog dialog(nullptr, [] { return false; });
        shoot(&dialog, "83-switch-loading");
    }
    Velmar::destroyInstance();
    FSManager::destroyInstance();
    VelmarDB::closeIdleConnections();
    VDB::setDataDir(oldDir);
}

// The background dialog with three cameras found (one chosen) and with a
// picture, and the camera search. (The stream preview's GL view leaks its
// driver's bytes where no GL context can be made, so it is not shot here.)
void backgrounds()
{
    // The dialog reads its camera credentials from the settings: a private
    // database keeps the gallery from touching a real one.
    QTemporaryDir data;
    const QString oldDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
    }
    {
        RDGroupBackgroundDialog dialog;
        QVector<QOnvifDevice> cameras;
        const char *const names[] = {"192.168.1.64", "192.168.1.65", "192.168.1.70"};
        for (int i = 0; i < 3; ++i) {
            QOnvifDevice camera(QStringLiteral("http://%1/onvif/device_service").arg(QLatin1String(names[i])),
                                QStringLiteral("urn:uuid:%1").arg(i));
            camera.setAuthentication(QStringLiteral("admin"), QStringLiteral("p@ss:1"));
            for (int p = 0; p < (i == 2 ? 1 : 2); ++p) {
                QOnvifDeviceProfile profile(QStringLiteral("Profile_%1").arg(p + 1), QString());
                profile.setUri(QStringLiteral("rtsp://%1:554/Streaming/Channels/10%2").arg(QLatin1String(names[i])).arg(p + 1));
                camera.profiles().append(profile);
            }
            cameras.append(camera);
        }
        dialog.cameraList()->setDevices(cameras);
        dialog.onClickItemWidget(dialog.cameraList()->items().at(0));
        shoot(&dialog, "60-background-video");
        dialog.setBackground(QStringLiteral("image"), QStringLiteral("/home/operator/Pictures/lobby.jpg"), QString(),
                             QString());
        dialog.cameraList()->setDevices({});
        shoot(&dialog, "61-background-image");
    }
    {
        RDOnvifDeviceSearchDialog search;
        shoot(&search, "64-camera-search");
    }
    VelmarDB::closeIdleConnections();
    VDB::setDataDir(oldDir);
}

// The home screen's zone column with no zones, a few and a long list: one
// zone playing, sources of every kind, a selected tile and a context menu.
QVector<RDGroup> galleryZones(int count)
{
    const char *sources[] = {"media", "stream", "device", "pray", "device"};
    const char *names[] = {"Lobby", "Car Park", "Canteen", "Prayer Hall", "Workshop"};
    QVector<RDGroup> zones;
    for (int i = 0; i < count; ++i) {
        RDGroup zone;
        zone.id = i + 1;
        zone.conference = QString::number(3000 + i);
        zone.name = i == 3 ? QString() : QStringLiteral("%1 %2").arg(QLatin1String(names[i % 5])).arg(i / 5 + 1);
        zone.source = QLatin1String(sources[i % 5]);
        zone.audioType = i % 5 == 4 ? 0 : 1;
        zone.sortIndex = count - i;
        if (i == 1) {
            zone.started = 1;
            zone.startType = QStringLiteral("schedule");
        }
        if (i == 2) {
            zone.started = 1;
            zone.startType = QStringLiteral("call conference");
        }
        zones.append(zone);
    }
    return zones;
}

void zoneTiles()
{
    const struct {
        int count;
        const char *name;
    } lists[] = {{0, "65-zone-tiles-empty"}, {4, "66-zone-tiles-four"}, {40, "67-zone-tiles-forty"}};
    for (const auto &l : lists) {
        RDGroupListWidget list;
        list.resize(300, 640);
        list.show();
        list.setGroups(galleryZones(l.count));
        if (l.count > 0)
            list.selectIndex(0);
        shoot(&list, l.name);
    }
    {
        RDGroupListWidget list;
        list.resize(300, 400);
        list.show();
        list.setGroups(galleryZones(3));
        list.selectIndex(1);
        settle();
        list.onRightClickItemWidget(list.items()[1], QPoint(60, 40));
        settle();
        if (QMenu *menu = list.contextMenu()) {
            QPixmap picture = list.grab();
            QPainter painter(&picture);
            const QPoint at = list.mapFromGlobal(menu->pos());
            painter.drawPixmap(at, menu->grab());
            painter.end();
            const QString path = QStringLiteral("%1/68-zone-tile-menu.png").arg(g_dir);
            if (picture.save(path))
                ++g_written;
            else
                g_ok = false;
            menu->hide();
        }
    }
}


// The main window over a private database: with no zones, with five zones
// (one playing, some devices online) and the detail of the playing zone,
// the close question and the tray menu.
void homeScreen()
{
    QTemporaryDir data;
    const QString oldDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
    }
    Velmar::createInstance();
    Velmar *velmar = Velmar::instance();
    {
        RDHomeDialog home;
        home.resize(1280, 760);
        home.loadGroups();
        shoot(&home, "90-home-empty");

        const char *deviceNames[] = {"Entrance", "Reception", "Gate West", "Gate East", "Kitchen", "Hall",
                                     "Stage Left", "Stage Right"};
        QVector<RDDevice> devices;
        for (int i = 0; i < 8; ++i) {
            RDDevice d;
            d.number = QString::number(6001 + i);
            d.name = QLatin1String(deviceNames[i]);
            d.password = QStringLiteral("pw%1").arg(i);
            d.id = velmar->addDevice(d);
            devices.append(d);
        }
        const struct
        {
            const char *conference, *name, *source;
            int first, count;
        } zones[] = {{"3001", "Lobby", "media", 0, 2},
                     {"3002", "Car Park", "stream", 2, 2},
                     {"3003", "Canteen", "device", 4, 1},
                     {"3004", "Assembly Hall", "media", 5, 3},
                     {"3005", "Prayer Room", "pray", 5, 1}};
        int playing = 0;
        for (int i = 0; i < 5; ++i) {
            RDGroup g;
            g.conference = QLatin1String(zones[i].conference);
            g.name = QLatin1String(zones[i].name);
            g.source = QLatin1String(zones[i].source);
            g.sortIndex = 5 - i;
            g.volume = 0;
            g.mediumLoopType = QStringLiteral("list");
            g.streamUrl = QStringLiteral("http://radio.example.net:8000/live.mp3");
            g.medium = QStringLiteral("/srv/media/opening.mp3\n/srv/media/notice.wav");
            QStringList ids;
            for (int d = 0; d < zones[i].count; ++d)
                ids << QString::number(devices[zones[i].first + d].id);
            g.devices = ids.join(QLatin1Char(';'));
            const int id = velmar->addGroup(g);
            if (i == 1)
                playing = id;
        }
        home.loadGroups();
        velmar->onGroupStarted(playing, QStringLiteral("3002"), QStringLiteral("user"), QStringLiteral("gallery"));
        QVector<RDDevice> online;
        for (int i : {0, 1, 2, 3, 5}) {
            RDDevice d = devices[i];
            d.status = i == 2 || i == 3 ? QStringLiteral("calling") : QStringLiteral("online");
            online.append(d);
        }
        velmar->notifyDeviceStatusChanged(online);
        settle();
        shoot(&home, "91-home-zones");

        home.show();
        settle();
        for (RDGroupListItemWidget *tile : home.groupWidget()->listWidget()->items()) {
            if (tile->group().id == playing)
                home.groupWidget()->onClickGroupItemWidget(tile);
        }
        shoot(&home, "92-home-playing-zone-detail");

        {
            PAAlertDialog ask;
            ask.setMessage(RDLocalize::text(QStringLiteral("Do you want to exit the application")));
            ask.setOkText(RDLocalize::text(QStringLiteral("Minimized")));
            ask.setCancelText(RDLocalize::text(QStringLiteral("Exit")));
            shoot(&ask, "93-home-close-question");
        }
        if (QMenu *menu = home.trayMenu()) {
            menu->adjustSize();
            shoot(menu, "94-home-tray-menu");
        }
    }
    Velmar::destroyInstance();
    VelmarDB::closeIdleConnections();
    VDB::setDataDir(oldDir);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kelbrin Corvane Lite"));
    g_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
    if (!QDir().mkpath(g_dir)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(g_dir));
        return 1;
    }
    labels();
    toast();
    icons();
    controls();
    dialogs();
    pickers();
    zoneEditors();
    sourceEditors();
    devices();
    calls();
    zonePanel();
    eventLogs();
    settings();
    backgrounds();
    zoneTiles();
    homeScreen();
    std::printf("%d pictures in %s\n", g_written, qPrintable(g_dir));
    return g_ok ? 0 : 1;
}
