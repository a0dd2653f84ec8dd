#include "RDStreamDialog.h"

#include "RDPixmapsButton.h"
#include "RDPlayer.h"
#include "RDProgress.h"
#include "RDVideoView.h"
#include "RDWidget.h"

#include <QThread>

RDStreamDialog::RDStreamDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_player(new RDPlayer)
    , m_view(new RDVideoView(body()))
    , m_playButton(new RDPixmapsButton(body()))
    , m_audioButton(new RDPixmapsButton(body()))
    , m_spinner(new RDProgress(body()))
{
    m_player->setObserver(this);
    m_player->setVideoView(m_view);
    m_playButton->setPixmaps(QStringLiteral(":/resources/play.png"), QStringLiteral(":/resources/pause.png"), 25);
    m_audioButton->setPixmaps(QStringLiteral(":/resources/audio_normal.png"),
                              QStringLiteral(":/resources/audio_mute.png"), 25);
    m_playButton->raise();
    m_audioButton->raise();
    m_spinner->raise();
    m_spinner->hide();
    connect(m_playButton, &RDPixmapsButton::clicked, this, &RDStreamDialog::onClickPlayButton);
    connect(m_audioButton, &RDPixmapsButton::clicked, this, &RDStreamDialog::onClickAudioButton);
    setMinimumSize(600, 600);
    resize(600, 600);
}

RDStreamDialog::~RDStreamDialog()
{
    // The player's threads end here, so no event reaches a half-gone dialog.
    m_player->stop();
    delete m_player;
    m_player = nullptr;
}

void RDStreamDialog::startPlayer()
{
    m_player->play(m_url);
    m_spinner->show();
    m_spinner->startAnimation();
    m_playButton->setChecked(true);
}

void RDStreamDialog::stopSpinner()
{
    m_spinner->stopAnimation();
    m_spinner->hide();
}

void RDStreamDialog::play(const QString &url)
{
    m_url = url;
    m_player->stop();
    if (!m_url.isEmpty())
        startPlayer();
}

void RDStreamDialog::onClickPlayButton()
{
    if (m_player->isPlaying()) {
        m_player->stop();
        stopSpinner();
        m_playButton->setChecked(false);
        return;
    }
    if (!m_url.isEmpty())
        startPlayer();
}

void RDStreamDialog::onClickAudioButton()
{
    m_audioButton->setChecked(!m_audioButton->isChecked());
    m_player->setVolume(m_audioButton->isChecked() ? 0.0 : 1.0);
}

void RDStreamDialog::onPlayerStatusChanged(int status, double current, double total)
{
    updatePlayerStatus(status, current, total);
}

void RDStreamDialog::updatePlayerStatus(int status, double current, double total)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, "updatePlayerStatus", Qt::QueuedConnection, Q_ARG(int, status),
                                  Q_ARG(double, current), Q_ARG(double, total));
        return;
    }
    switch (status) {
    case 1:
        stopSpinner();
        m_playButton->setChecked(false);
        showToast(RDLocalize::text(QStringLiteral("Stream Play Failure")), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
        break;
    case 2:
        stopSpinner();
        break;
    case 3:
    case 4:
        stopSpinner();
        m_playButton->setChecked(false);
        break;
    default:
        break;
    }
}

void RDStreamDialog::relayoutContents(int width, int height)
{
    // The view has a private setGeometry of its own (picture geometry).
    static_cast<QWidget *>(m_view)->setGeometry(0, 0, width, height);
    m_playButton->setGeometry(10, height - 35, 25, 25);
    m_audioButton->setGeometry(45, height - 35, 25, 25);
    m_spinner->setGeometry((width - 30) / 2, (height - 30) / 2, 30, 30);
}
