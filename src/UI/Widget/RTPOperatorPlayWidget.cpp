#include "RTPOperatorPlayWidget.h"

#include "RDPixmapsButton.h"

RTPOperatorPlayWidget::RTPOperatorPlayWidget(const RDGroupScheduleOperation &operation, QWidget *parent)
    : RTPOperatorCellWidget(operation, -1, parent)
    , m_button(new RDPixmapsButton(this))
{
    m_button->setPixmaps(QStringLiteral(":/resources/play_gray.svg"), QStringLiteral(":/resources/pause_gray.svg"),
                         20);
    m_button->setChecked(operation.action.compare(QLatin1String("start"), Qt::CaseInsensitive) != 0);
    setButton(m_button, 20);
    connect(m_button, &RDPixmapsButton::clicked, this, [this] { emit clickPlayWidget(this); });
}
