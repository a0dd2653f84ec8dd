#include "RTPOperatorPlayWidget.h"

#include "RDPixmapsButton.h"

RTPOperatorPlayWidget::RTPOperatorPlayWidget(const RDGroupScheduleOperation &operation, QWidget *parent)
    : QWidget(parent)
    , m_button(new RDPixmapsButton(this))
    , m_operation(operation)
{
    m_button->setPixmaps(QStringLiteral(":/resources/play_gray.svg"), QStringLiteral(":/resources/pause_gray.svg"),
                         20);
    m_button->setChecked(operation.action.compare(QLatin1String("start"), Qt::CaseInsensitive) != 0);
    m_button->resize(20, 20);
    connect(m_button, &RDPixmapsButton::clicked, this, [this] { emit clickPlayWidget(this); });
}

void RTPOperatorPlayWidget::resizeEvent(QResizeEvent *)
{
    m_button->move((width() - m_button->width()) / 2, (height() - m_button->height()) / 2);
}
