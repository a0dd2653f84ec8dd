#include "RDGroupPriorityWidget.h"

#include "RDLabel.h"
#include "RDPixmapWidget.h"
#include "RDWidgetStyle.h"

#include <QComboBox>
#include <QPixmap>

RDGroupPriorityWidget::RDGroupPriorityWidget(QWidget *parent)
    : RDWidget(parent)
    , m_icon(new RDPixmapWidget(this))
    , m_label(new RDLabel(this))
    , m_combo(new QComboBox(this))
{
    m_icon->setPixmap(QPixmap(QStringLiteral(":/resources/priority.png")));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setTextColor(Qt::black);
    m_combo->setObjectName(QStringLiteral("priorityBox"));
    applyComboBoxStyle(m_combo);
    for (int i = 0; i < 9; ++i)
        m_combo->addItem(QString::number(i + 1), i);
    languageChanged();
}

int RDGroupPriorityWidget::priority() const
{
    return m_combo->currentData().toInt();
}

void RDGroupPriorityWidget::setPriority(int priority)
{
    if (priority >= 0 && priority < m_combo->count())
        m_combo->setCurrentIndex(priority);
}

void RDGroupPriorityWidget::languageChanged()
{
    m_label->setText(RDLocalize::text(QStringLiteral("Priority")));
}

void RDGroupPriorityWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_icon->setGeometry(10, (h - 18) / 2, 18, 18);
    m_label->setGeometry(32, (h - 22) / 2, w / 2 - 32, 22);
    m_combo->setGeometry(w / 2 + 10, (h - 22) / 2, w / 2 - 20, 22);
}
