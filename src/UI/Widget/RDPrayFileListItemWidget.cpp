#include "RDPrayFileListItemWidget.h"

#include "RDLabel.h"
#include "RDMediaDuration.h"
#include "RDPixmapButton.h"
#include "RDPlayIndicator.h"
#include "RDUtils.h"

#include <QMouseEvent>

RDPrayFileListItemWidget::RDPrayFileListItemWidget(QWidget *parent)
    : RDHoverRowWidget(parent)
    , m_progress(new RDWidget(this))
    , m_nameLabel(new RDLabel(this))
    , m_timeLabel(new RDLabel(this))
    , m_fileLabel(new RDLabel(this))
    , m_fileButton(new RDPixmapButton(this))
    , m_indicator(new RDPlayIndicator(this, m_progress))
{
    setCursor(Qt::PointingHandCursor);
    m_progress->setBackgroundColor(QColor(100, 149, 237, 143));
    for (RDLabel *label : {m_nameLabel, m_timeLabel, m_fileLabel}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextColor(Qt::black);
    }
    m_fileButton->setPixmap(QStringLiteral(":/resources/add_style.svg"), 14);
    connect(m_fileButton, &RDPixmapButton::clicked, this, [this] { emit clickFileButton(this); });
}

void RDPrayFileListItemWidget::setPrayName(const QString &name)
{
    m_prayName = name;
    m_nameLabel->setText(name);
}

void RDPrayFileListItemWidget::setTimeText(const QString &text)
{
    m_timeText = text;
    m_timeLabel->setText(text);
}

void RDPrayFileListItemWidget::setPath(const QString &path)
{
    m_path = path;
    m_indicator->setDuration(path.isEmpty() ? 0.0 : getMediaDuration(path));
    m_fileLabel->setText(path.isEmpty() ? QString() : fileBaseName(path));
}

double RDPrayFileListItemWidget::duration() const { return m_indicator->duration(); }

void RDPrayFileListItemWidget::setPlaying(bool playing, double position)
{
    m_indicator->setPlaying(playing, position);
}

bool RDPrayFileListItemWidget::isPlaying() const { return m_indicator->isPlaying(); }

void RDPrayFileListItemWidget::resizeEvent(QResizeEvent *event)
{
    RDHoverRowWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int y = (h - 25) / 2;
    // 60 px, or wider where the font needs it for the longest prayer name.
    const int nameWidth = qMax(60, m_nameLabel->fontMetrics().horizontalAdvance(QStringLiteral("Midnight")) + 4);
    m_nameLabel->setGeometry(10, y, nameWidth, 25);
    m_timeLabel->setGeometry(m_nameLabel->geometry().right() + 1 + 5, y, 45, 25);
    const int fileX = m_timeLabel->geometry().right() + 1 + 5;
    m_fileLabel->setGeometry(fileX, y, qMax(0, w - 30 - fileX), 25);
    m_fileButton->setGeometry(w - 19, (h - 14) / 2, 14, 14);
    m_indicator->updateBar();
}

void RDPrayFileListItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(this);
    else if (event->button() == Qt::RightButton)
        emit rightClicked(this, event->pos());
    RDHoverRowWidget::mousePressEvent(event);
}
