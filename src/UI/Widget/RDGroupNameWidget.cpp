#include "RDGroupNameWidget.h"

#include "RDLabel.h"
#include "RDPixmapWidget.h"

#include <QLineEdit>
#include <QPixmap>

RDGroupNameWidget::RDGroupNameWidget(QWidget *parent)
    : RDWidget(parent)
    , m_icon(new RDPixmapWidget(this))
    , m_label(new RDLabel(this))
    , m_edit(new QLineEdit(this))
{
    m_icon->setPixmap(QPixmap(QStringLiteral(":/resources/id.png")));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_edit->setObjectName(QStringLiteral("nameEdit"));
    m_edit->setMaxLength(100);
    languageChanged();
}

void RDGroupNameWidget::setText(const QString &text)
{
    m_edit->setText(text);
    m_edit->setCursorPosition(0);
}

QString RDGroupNameWidget::text() const
{
    return m_edit->text();
}

void RDGroupNameWidget::languageChanged()
{
    m_label->setText(RDLocalize::text(QStringLiteral("Name")));
    m_edit->setPlaceholderText(RDLocalize::text(QStringLiteral("Please input name")));
}

void RDGroupNameWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_icon->setGeometry(10, (h - 16) / 2, 16, 16);
    m_label->setGeometry(32, (h - 22) / 2, w / 2 - 32, 22);
    m_edit->setGeometry(w / 2 + 10, (h - 22) / 2, w / 2 - 20, 22);
}
