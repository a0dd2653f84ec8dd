#include "RDFileListItemWidget.h"

#include "RDFileListHeaderWidget.h"
#include "RDLabel.h"
#include "RDMediaDuration.h"
#include "RDPlayIndicator.h"
#include "RDUtils.h"

#include <QMouseEvent>

RDFileListItemWidget::RDFileListItemWidget(QWidget *parent)
    : RDHoverRowWidget(parent)
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
    RDHoverRowWidget::resizeEvent(event);
    RDFileListHeaderWidget::layoutColumns(m_name, m_duration, width(), height());
    m_indicator->updateBar();
}

void RDFileListItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(this);
    else if (event->button() == Qt::RightButton)
        emit rightClicked(this, event->pos());
    RDHoverRowWidget::mousePressEvent(event);
}
