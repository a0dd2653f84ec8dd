#include "RDGroupSourceStreamWidget.h"

#include "RDAudioPlayer.h"
#include "RDLabel.h"
#include "RDPixmapsButton.h"

#include <QLabel>
#include <QLineEdit>

RDGroupSourceStreamWidget::RDGroupSourceStreamWidget(QWidget *parent)
    : RDToast(parent)
    , m_caption(new QLabel(this))
    , m_play(new RDPixmapsButton(this))
    , m_urlEdit(new QLineEdit(this))
    , m_player(new RDAudioPlayer())
{
    m_caption->setWordWrap(true);
    m_caption->setMinimumWidth(200);
    m_play->setPixmaps(QStringLiteral(":/resources/play_style.svg"), QStringLiteral(":/resources/pause_style.svg"), 18);
    m_player->setObserver(this);
    connect(this, &RDGroupSourceStreamWidget::updatePlayError, this, &RDGroupSourceStreamWidget::onUpdatePlayError,
            Qt::QueuedConnection);
    connect(this, &RDGroupSourceStreamWidget::updatePlayEnded, this, &RDGroupSourceStreamWidget::onUpdatePlayEnded,
            Qt::QueuedConnection);
    connect(m_play, &RDPixmapsButton::clicked, this, &RDGroupSourceStreamWidget::onClickPlayButton);
    languageChanged();
}

RDGroupSourceStreamWidget::~RDGroupSourceStreamWidget()
{
    m_player->setObserver(nullptr);
    m_player->stop();
    delete m_player;
}

QString RDGroupSourceStreamWidget::url() const { return m_urlEdit->text(); }

void RDGroupSourceStreamWidget::setUrl(const QString &url) { m_urlEdit->setText(url); }

void RDGroupSourceStreamWidget::stopPlay()
{
    if (m_player->isRunning())
        m_player->stop();
    m_play->setChecked(false);
}

bool RDGroupSourceStreamWidget::isPlaying() const { return m_player->isRunning(); }

void RDGroupSourceStreamWidget::languageChanged()
{
    const QString caption = RDLocalize::text(QStringLiteral("Play live Radio to the zone"));
    m_caption->setText(caption);
    m_caption->setToolTip(caption);
    m_urlEdit->setPlaceholderText(RDLocalize::text(QStringLiteral("Please input radio url")));
}

void RDGroupSourceStreamWidget::onOpenFailure(RDAudioPlayer *player)
{
    Q_UNUSED(player)
    emit updatePlayError();
}

void RDGroupSourceStreamWidget::onPlayEnded(RDAudioPlayer *player)
{
    Q_UNUSED(player)
    emit updatePlayEnded();
}

void RDGroupSourceStreamWidget::onUpdatePlayError()
{
    showToast(RDLocalize::text(QStringLiteral("File play error")));
    stopPlay();
}

void RDGroupSourceStreamWidget::onUpdatePlayEnded() { stopPlay(); }

void RDGroupSourceStreamWidget::onClickPlayButton()
{
    if (m_player->isRunning()) {
        stopPlay();
        return;
    }
    const QString url = m_urlEdit->text();
    if (url.isEmpty()) {
        m_play->setChecked(false);
        showToast(RDLocalize::text(QStringLiteral("Please input radio url")));
        return;
    }
    m_player->setUrl(url);
    m_player->start();
    m_play->setChecked(true);
}

void RDGroupSourceStreamWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    relayout();
}

void RDGroupSourceStreamWidget::relayout()
{
    const int w = width();
    m_caption->setGeometry(10, 10, qMax(0, w - 20), 20);
    m_play->setGeometry(10, 39, 18, 18);
    m_urlEdit->setGeometry(35, 40, qMax(0, w - 50), 20);
}
