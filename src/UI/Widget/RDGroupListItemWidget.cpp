#include "RDGroupListItemWidget.h"

#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"
#include "RDPixmapWidget.h"
#include "RDPixmapsButton.h"
#include "RDPlayer.h"
#include "RDVideoView.h"
#include "Velmar.h"

#include <QMetaObject>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

std::atomic<int> g_reopenDelay{5000};

const QColor kSelectedBorder(2, 183, 44, 255);
const QColor kBorder(43, 43, 43, 160);
const char kDefaultPicture[] = ":/resources/group_bg.png";

QString sourceIconPath(const RDGroup &group)
{
    const QString source = group.source.toLower();
    if (source == QLatin1String("device")) {
        if (group.audioType == 0)
            return QStringLiteral(":/resources/microphone_white.png");
        if (group.audioType == 1)
            return QStringLiteral(":/resources/speak_white.png");
        return QString();
    }
    if (source == QLatin1String("stream"))
        return QStringLiteral(":/resources/stream_white.png");
    if (source == QLatin1String("media"))
        return QStringLiteral(":/resources/media_white.png");
    if (source == QLatin1String("pray"))
        return QStringLiteral(":/resources/pray.png");
    return QString();
}

QString startReasonIconPath(const RDGroup &group)
{
    if (!group.started)
        return QString();
    const QString type = group.startType.toLower();
    if (type == QLatin1String("call conference") || type == QLatin1String("siptrunk"))
        return QStringLiteral(":/resources/call_white.png");
    if (type == QLatin1String("schedule"))
        return QStringLiteral(":/resources/schedule_white.png");
    if (type == QLatin1String("pray"))
        return QStringLiteral(":/resources/pray.png");
    return QString();
}

bool isCamera(const RDGroup &group)
{
    return group.backgroundType.compare(QLatin1String("video"), Qt::CaseInsensitive) == 0;
}

} // namespace

RDGroupListItemWidget::RDGroupListItemWidget(QWidget *parent)
    : RDWidget(parent)
{
    initWidgetResources();
    m_content = new RDWidget(this);
    m_content->setBackgroundColor(Qt::white);
    m_content->setBorder(2, 3, kBorder);
    m_picture = new RDPixmapWidget(m_content);
    m_videoHolder = new RDWidget(m_content);
    m_videoHolder->hide();
    m_bar = new RDWidget(m_content);
    m_bar->setBackgroundColor(QColor(43, 43, 43, 160));
    m_playButton = new RDPixmapsButton(m_content);
    m_playButton->setPixmaps(QStringLiteral(":/resources/play_circled.png"),
                             QStringLiteral(":/resources/pause_circled.png"), 45);
    m_sourceIcon = new RDPixmapButton(m_bar);
    m_sourceIcon->setPixmap(QStringLiteral(":/resources/speak_white.png"), 15);
    m_name = new RDLabel(m_bar);
    m_name->setTextColor(Qt::white);
    m_name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_startReasonIcon = new RDPixmapButton(m_bar);
    m_startReasonIcon->setPixmap(QString(), 0);
    m_deleteButton = new RDPixmapButton(m_bar);
    m_deleteButton->setPixmap(QStringLiteral(":/resources/trash.png"), 20);
    m_fullScreenButton = new RDPixmapButton(m_content);
    m_fullScreenButton->setPixmap(QStringLiteral(":/resources/fullscreen.png"), 20);
    m_fullScreenButton->hide();

    m_player = new RDPlayer();
    m_player->setTimeout(20.0);
    m_player->setVolume(0.0);
    m_player->setObserver(this);

    connect(m_playButton, &RDPixmapsButton::clicked, this, [this] { emit startClicked(this); });
    connect(m_deleteButton, &RDPixmapButton::clicked, this, [this] { emit deleteClicked(this); });
    connect(m_fullScreenButton, &RDPixmapButton::clicked, this, [this] { emit videoClicked(this); });
}

RDGroupListItemWidget::~RDGroupListItemWidget()
{
    stopOpenVideoTimer();
    m_player->stop();
    m_player->setVideoView(nullptr);
    delete m_player;
}

int RDGroupListItemWidget::reopenDelay()
{
    return g_reopenDelay.load();
}

void RDGroupListItemWidget::setReopenDelayForTesting(int milliseconds)
{
    g_reopenDelay.store(milliseconds);
}

QPixmap RDGroupListItemWidget::coverPixmap(const QString &path, int w, int h)
{
    QPixmap cached = findCachedPixmap(path, w, h);
    if (!cached.isNull())
        return cached;
    QPixmap result;
    const QPixmap image(path);
    if (w > 0 && h > 0 && image.width() > 0 && image.height() > 0) {
        const qint64 iw = image.width();
        const qint64 ih = image.height();
        if (iw * h <= ih * w) {
            const int scaledHeight = int(ih * w / iw);
            result = image.scaled(w, scaledHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .copy(0, (scaledHeight - h) / 2, w, h);
        } else {
            const int scaledWidth = int(iw * h / ih);
            result = image.scaled(scaledWidth, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .copy((scaledWidth - w) / 2, 0, w, h);
        }
        cachePixmap(path, result);
    }
    return result;
}

void RDGroupListItemWidget::setGroup(const RDGroup &group)
{
    m_group = group;
    applyBackground();
    m_name->setText(m_group.name.isEmpty() ? m_group.conference : m_group.name);
    const QString source = sourceIconPath(m_group);
    m_sourceIcon->setPixmap(source, source.isEmpty() ? 0 : 15);
    m_playButton->setChecked(m_group.started != 0);
    const QString reason = startReasonIconPath(m_group);
    m_startReasonIcon->setPixmap(reason, reason.isEmpty() ? 0 : 15);
    relayout();
    update();
}

void RDGroupListItemWidget::setSelected(bool selected)
{
    m_selected = selected;
    m_content->setBackgroundColor(Qt::white);
    m_content->setBorder(2, 3, selected ? kSelectedBorder : kBorder);
    m_content->update();
}

QString RDGroupListItemWidget::pictureFile() const
{
    if (m_group.backgroundType.compare(QLatin1String("image"), Qt::CaseInsensitive) == 0
        && !m_group.backgroundImage.isEmpty())
        return QStringLiteral("%1/%2").arg(Velmar::backgroundDir(), m_group.backgroundImage);
    return QString::fromLatin1(kDefaultPicture);
}

void RDGroupListItemWidget::applyBackground()
{
    const QString url = m_group.subStreamUrl();
    if (isCamera(m_group) && !url.isEmpty()) {
        m_fullScreenButton->show();
        m_picture->hide();
        stopVideo();
        playUrl(url);
        return;
    }
    // Whatever played before stops, and no reopen stays pending for a zone
    // that no longer shows a camera.
    stopVideo();
    m_fullScreenButton->hide();
    if (m_videoView)
        m_videoView->hide();
    m_videoHolder->hide();
    m_picture->show();
    m_picture->setPixmap(coverPixmap(pictureFile(), m_picture->width(), m_picture->height()));
}

void RDGroupListItemWidget::stopVideo()
{
    stopOpenVideoTimer();
    if (m_player->isInputRunning())
        m_player->stop();
    if (m_videoView)
        m_videoView->hide();
    m_currentUrl.clear();
}

void RDGroupListItemWidget::playUrl(const QString &url)
{
    if (!m_videoView) {
        m_videoView = new RDVideoView(m_videoHolder);
        m_videoView->QWidget::setGeometry(0, 0, m_videoHolder->width(), m_videoHolder->height());
        m_player->setVideoView(m_videoView);
    }
    m_videoHolder->show();
    stopOpenVideoTimer();
    if (url == m_currentUrl && m_player->isPlaying()) {
        m_player->flush();
        return;
    }
    if (m_player->isInputRunning())
        m_player->stop();
    m_videoView->clear();
    if (m_player->play(url) < 0) {
        m_currentUrl.clear();
        m_player->stop();
        m_videoView->hide();
        return;
    }
    m_currentUrl = url;
    m_videoView->clear();
    m_videoView->show();
}

bool RDGroupListItemWidget::onGuiThread() const
{
    return thread() == QThread::currentThread();
}

void RDGroupListItemWidget::onPlayerStatusChanged(int status, double current, double total)
{
    Q_UNUSED(current);
    Q_UNUSED(total);
    if (status != 1 && status != 3)
        return;
    closeVideo();
    startOpenVideoTimer(reopenDelay());
}

void RDGroupListItemWidget::startOpenVideoTimer(int timeout)
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "startOpenVideoTimer", Qt::QueuedConnection, Q_ARG(int, timeout));
        return;
    }
    // A failure reported twice (a read error and then the end of the
    // stream) leaves one reopen, not two.
    stopOpenVideoTimer();
    m_openVideoTimer = new QTimer(this);
    m_openVideoTimer->setSingleShot(true);
    connect(m_openVideoTimer, &QTimer::timeout, this, &RDGroupListItemWidget::invokeOpenVideo);
    m_openVideoTimer->start(timeout);
}

void RDGroupListItemWidget::stopOpenVideoTimer()
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "stopOpenVideoTimer", Qt::QueuedConnection);
        return;
    }
    if (!m_openVideoTimer)
        return;
    m_openVideoTimer->stop();
    delete m_openVideoTimer;
    m_openVideoTimer = nullptr;
}

void RDGroupListItemWidget::openVideo()
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "openVideo", Qt::QueuedConnection);
        return;
    }
    const QString url = m_group.subStreamUrl();
    if (!url.isEmpty() && isCamera(m_group))
        playUrl(url);
}

void RDGroupListItemWidget::closeVideo()
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "closeVideo", Qt::QueuedConnection);
        return;
    }
    if (m_videoView)
        m_videoView->clear();
    m_player->stop();
}

void RDGroupListItemWidget::invokeOpenVideo()
{
    if (!onGuiThread()) {
        QMetaObject::invokeMethod(this, "openVideo", Qt::QueuedConnection);
        return;
    }
    // The timer that fired is let go first: it runs once, and is never
    // deleted while it is still delivering its own timeout.
    if (QTimer *timer = m_openVideoTimer) {
        m_openVideoTimer = nullptr;
        timer->stop();
        timer->deleteLater();
    }
    openVideo();
}

void RDGroupListItemWidget::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    const QPoint inContent = m_content->mapFrom(this, event->pos());
    if (m_bar->geometry().contains(inContent))
        return;
    if (event->button() == Qt::LeftButton)
        emit clicked(this);
    else if (event->button() == Qt::RightButton)
        emit rightClicked(this, event->pos());
}

void RDGroupListItemWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDGroupListItemWidget::relayout()
{
    const int w = width();
    const int h = height();
    m_content->setGeometry(0, 0, w, h);
    const int cw = m_content->width();
    const int ch = m_content->height();
    m_picture->setGeometry(3, 3, cw - 6, ch - 6);
    m_videoHolder->setGeometry(3, 3, cw - 6, ch - 6);
    if (m_videoView)
        m_videoView->QWidget::setGeometry(0, 0, m_videoHolder->width(), m_videoHolder->height());
    m_bar->setGeometry(3, ch - 28, cw - 6, 25);
    const int bh = m_bar->height();
    m_playButton->setGeometry((cw - 45) / 2, (ch - 45) / 2, 45, 45);
    m_sourceIcon->setGeometry(5, (bh - 15) / 2, 15, 15);
    const int r = m_sourceIcon->geometry().right();
    m_name->setGeometry(r + 5, (bh - 20) / 2, cw - r - 35, 20);
    m_deleteButton->setGeometry(m_bar->width() - 25, (bh - 20) / 2, 20, 20);
    m_startReasonIcon->setGeometry(m_deleteButton->geometry().left() - 20, (bh - 15) / 2, 15, 15);
    m_fullScreenButton->setGeometry(w - 23, 3, 20, 20);
    m_picture->setPixmap(coverPixmap(pictureFile(), m_picture->width(), m_picture->height()));
}
