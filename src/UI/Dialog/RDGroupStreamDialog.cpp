#include "RDGroupStreamDialog.h"

#include "PlatformFileManager.h"
#include "RDLocalize.h"
#include "RDPixmapCache.h"
#include "RDPixmapsButton.h"
#include "RDPlayer.h"
#include "RDProgress.h"
#include "RDVideoView.h"
#include "RDWidget.h"
#include "Velmar.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QScreen>
#include <QThread>

RDGroupStreamDialog::RDGroupStreamDialog(QWidget *parent)
    : RDFullDialog(parent)
{
    initWidgetResources();
    m_videoView = new RDVideoView(body());
    m_playButton = new RDPixmapsButton(body());
    m_playButton->setPixmaps(QStringLiteral(":/resources/play.png"), QStringLiteral(":/resources/pause.png"), 25);
    m_audioButton = new RDPixmapsButton(body());
    m_audioButton->setPixmaps(QStringLiteral(":/resources/audio_normal.png"),
                              QStringLiteral(":/resources/audio_mute.png"), 25);
    m_captureButton = new RDPixmapsButton(body());
    m_captureButton->setPixmaps(QStringLiteral(":/resources/screenshot.png"),
                                QStringLiteral(":/resources/screenshot.png"), 25);
    m_speakButton = new RDPixmapsButton(body());
    m_speakButton->setPixmaps(QStringLiteral(":/resources/call_green.png"),
                              QStringLiteral(":/resources/call_green.png"), 20);
    m_progress = new RDProgress(body());
    m_progress->hide();

    m_player = new RDPlayer();
    m_player->setObserver(this);
    m_player->setRecorderObserver(this);
    m_player->setVideoView(m_videoView);

    connect(m_playButton, &RDPixmapsButton::clicked, this, &RDGroupStreamDialog::onClickPlayButton);
    connect(m_audioButton, &RDPixmapsButton::clicked, this, &RDGroupStreamDialog::onClickAudioButton);
    connect(m_captureButton, &RDPixmapsButton::clicked, this, &RDGroupStreamDialog::onClickCaptureButton);
    connect(m_speakButton, &RDPixmapsButton::clicked, this, &RDGroupStreamDialog::onClickSpeakButton);

    const QRect desktop = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    resize(int(desktop.width() * 0.8), int(desktop.height() * 0.8));
}

RDGroupStreamDialog::~RDGroupStreamDialog()
{
    m_player->stop();
    m_player->setVideoView(nullptr);
    delete m_player;
}

void RDGroupStreamDialog::setGroup(const RDGroup &group)
{
    m_group = group;
}

void RDGroupStreamDialog::play()
{
    m_player->stop();
    startPlaying();
}

void RDGroupStreamDialog::startPlaying()
{
    const QString url = m_group.mainStreamUrl();
    if (url.isEmpty())
        return;
    m_player->play(url);
    m_progress->show();
    m_progress->startAnimation();
    m_playButton->setChecked(true);
    m_playButton->update();
}

void RDGroupStreamDialog::showStopped()
{
    m_progress->stopAnimation();
    m_progress->hide();
    m_playButton->setChecked(false);
    m_playButton->update();
}

void RDGroupStreamDialog::onClickPlayButton()
{
    if (m_player->isInputRunning()) {
        m_player->stop();
        showStopped();
        return;
    }
    startPlaying();
}

void RDGroupStreamDialog::onClickAudioButton()
{
    const bool mute = !m_audioButton->isChecked();
    m_audioButton->setChecked(mute);
    m_audioButton->update();
    m_player->setVolume(mute ? 0.0 : 1.0);
}

QString RDGroupStreamDialog::capturePath(const QString &folder, const QDateTime &now)
{
    const QString stamp = now.toString(QStringLiteral("yyyyMMddHHmmss"));
    QString path = QStringLiteral("%1/%2.jpg").arg(folder, stamp);
    for (int n = 1; QFile::exists(path); ++n)
        path = QStringLiteral("%1/%2-%3.jpg").arg(folder, stamp).arg(n);
    return path;
}

void RDGroupStreamDialog::onClickCaptureButton()
{
    const QString path = capturePath(Velmar::captureDir(), QDateTime::currentDateTime());
    if (!m_videoView->saveImage(path))
        return;
    Platform::showInFileManager(QDir::toNativeSeparators(path));
}

void RDGroupStreamDialog::onClickSpeakButton()
{
    emit speakRequested(m_group.conference);
}

void RDGroupStreamDialog::onPlayerStatusChanged(int status, double current, double total)
{
    updatePlayerStatus(status, current, total);
}

void RDGroupStreamDialog::onRecorderStatusChanged(RDPlayerRecorder *recorder, int status, double current,
                                                  double total)
{
    Q_UNUSED(recorder);
    updateRecordStatus(status, current, total);
}

void RDGroupStreamDialog::updatePlayerStatus(int status, double current, double total)
{
    if (thread() != QThread::currentThread()) {
        QMetaObject::invokeMethod(this, "updatePlayerStatus", Qt::QueuedConnection, Q_ARG(int, status),
                                  Q_ARG(double, current), Q_ARG(double, total));
        return;
    }
    switch (status) {
    case 1:
        showStopped();
        showToast(RDLocalize::text(QStringLiteral("Stream Play Failure")), Qt::Alignment(0x44), 5, 5);
        break;
    case 2:
        m_progress->stopAnimation();
        m_progress->hide();
        break;
    case 3:
    case 4:
        showStopped();
        break;
    default:
        break;
    }
}

void RDGroupStreamDialog::updateRecordStatus(int status, double current, double total)
{
    if (thread() != QThread::currentThread()) {
        QMetaObject::invokeMethod(this, "updateRecordStatus", Qt::QueuedConnection, Q_ARG(int, status),
                                  Q_ARG(double, current), Q_ARG(double, total));
        return;
    }
    // The view records nothing itself; recorder progress is not shown.
}

void RDGroupStreamDialog::relayoutContents(int width, int height)
{
    m_videoView->QWidget::setGeometry(0, 0, width, height);
    m_playButton->setGeometry(10, height - 35, 25, 25);
    m_audioButton->setGeometry(m_playButton->geometry().right() + 10, height - 35, 25, 25);
    m_captureButton->setGeometry(m_audioButton->geometry().right() + 10, height - 35, 25, 25);
    m_speakButton->setGeometry(m_captureButton->geometry().right() + 10, height - 33, 20, 20);
    m_progress->setGeometry((width - 30) / 2, (height - 30) / 2, 30, 30);
}
