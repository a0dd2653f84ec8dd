#include "RDFileListHeaderWidget.h"

#include "RDLabel.h"
#include "RDUtils.h"

RDFileListHeaderWidget::RDFileListHeaderWidget(QWidget *parent)
    : RDWidget(parent)
    , m_name(new RDLabel(this))
    , m_duration(new RDLabel(this))
{
    setBackgroundColor(rdThemeColor());
    for (RDLabel *label : {m_name, m_duration}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextColor(Qt::white);
    }
    languageChanged();
}

void RDFileListHeaderWidget::languageChanged()
{
    m_name->setText(RDLocalize::text(QStringLiteral("Name")));
    m_duration->setText(RDLocalize::text(QStringLiteral("Duration")));
}

void RDFileListHeaderWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int split = int(0.7 * w);
    m_name->setGeometry(10, (h - 25) / 2, qMax(0, split - 10), 25);
    m_duration->setGeometry(split + 5, (h - 25) / 2, qMax(0, w - split - 10), 25);
}
