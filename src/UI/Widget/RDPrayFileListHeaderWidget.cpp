#include "RDPrayFileListHeaderWidget.h"

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDPixmapButton.h"
#include "RDUtils.h"

RDPrayFileListHeaderWidget::RDPrayFileListHeaderWidget(QWidget *parent)
    : RDWidget(parent)
    , m_label(new RDLabel(this))
    , m_refresh(new RDPixmapButton(this))
{
    setBackgroundColor(rdThemeColor());
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setTextColor(Qt::white);
    m_label->setText(RDLocalize::text(QStringLiteral("Prayer Times for")));
    m_refresh->setPixmap(QStringLiteral(":/resources/refresh_white.svg"), 20);
}

void RDPrayFileListHeaderWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_label->setGeometry(10, (h - 25) / 2, qMax(0, w - 40), 25);
    m_refresh->setGeometry(w - 25, (h - 20) / 2, 20, 20);
}
