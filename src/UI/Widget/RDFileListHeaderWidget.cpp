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
    layoutColumns(m_name, m_duration, width(), height());
}

void RDFileListHeaderWidget::layoutColumns(QWidget *name, QWidget *duration, int width, int height)
{
    const int split = int(0.7 * width);
    name->setGeometry(10, (height - 25) / 2, qMax(0, split - 10), 25);
    duration->setGeometry(split + 5, (height - 25) / 2, qMax(0, width - split - 10), 25);
}
