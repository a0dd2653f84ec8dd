#include "RDFileListItemWidget.h"

#include "RDLabel.h"
#include "RDMediaDuration.h"
#include "RDPlayIndicator.h"
#include "RDUtils.h"

#include <QMouseEvent>

RDFileListItemWidget::RDFileListItemWidget(QWidget *parent)
    : RDWidget(parent)
    , m_progress(new RDWidget(this))
    , m_name(new RDLabel(this))
    , m_duration(new RDLabel(this))
    , m_indicator(new RDPlayIndicator(this, m_progress))
{
    setCursor(Qt::PointingHandCursor);
    m_progress->setBackgroundColor(QColor(100, 149, 237, 143));
    for (RDLabel *label : {m_name, m_duration}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextColor(Qt::black);
    }
}

void RDFileListItemWidget::setPath(const QString &path)
{
    m_path = path;
    const double seconds = getMediaDuration(path);
    m_indicator->setDuration(seconds);
    m_name->setText(fileBaseName(path));
    m_duration->setText(formatDuration(seconds));
}

double RDFileListItemWidget::duration() const { return m_indicator->duration(); }

void RDFileListItemWidget::setPlaying(bool playing, double position) { m_indicator->setPlaying(playing, position); }

bool RDFileListItemWidget::isPlaying() const { return m_indicator->isPlaying(); }

void RDFileListItemWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int split = int(0.7 * w);
    m_name->setGeometry(10, (h - 25) / 2, qMax(0, split - 10), 25);
    m_duration->setGeometry(split + 5, (h - 25) / 2, qMax(0, w - split - 10), 25);
    m_indicator->updateBar();
}

void RDFileListItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(this);
    else if (event->button() == Qt::RightButton)
        emit rightClicked(this, event->pos());
    RDWidget::mousePressEvent(event);
}

void RDFileListItemWidget::enterEvent(QEvent *event)
{
    setBackgroundColor(QColor(100, 149, 237, 64));
    RDWidget::enterEvent(event);
}

void RDFileListItemWidget::leaveEvent(QEvent *event)
{
    setBackgroundColor(QColor(255, 255, 255, 0));
    RDWidget::leaveEvent(event);
}
