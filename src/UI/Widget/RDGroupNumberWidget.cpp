#include "RDGroupNumberWidget.h"

#include "RDLabel.h"
#include "RDPixmapButton.h"

#include <QLineEdit>

RDGroupNumberWidget::RDGroupNumberWidget(QWidget *parent)
    : RDWidget(parent)
    , m_call(new RDPixmapButton(this))
    , m_label(new RDLabel(this))
    , m_edit(new QLineEdit(this))
{
    m_call->setObjectName(QStringLiteral("callButton"));
    m_call->setPixmap(QStringLiteral(":/resources/call_green.png"), 18);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_edit->setObjectName(QStringLiteral("numberEdit"));
    m_edit->setPlaceholderText(QStringLiteral("%1 ~ %2").arg(3000, 0, 10, QLatin1Char(' ')).arg(3999, 0, 10, QLatin1Char(' ')));
    languageChanged();
}

void RDGroupNumberWidget::setText(const QString &text)
{
    m_edit->setText(text);
}

QString RDGroupNumberWidget::text() const
{
    return m_edit->text();
}

void RDGroupNumberWidget::languageChanged()
{
    m_label->setText(RDLocalize::text(QStringLiteral("Number")));
}

void RDGroupNumberWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_call->setGeometry(10, (h - 18) / 2, 18, 18);
    m_label->setGeometry(32, (h - 22) / 2, w / 2 - 32, 22);
    m_edit->setGeometry(w / 2 + 10, (h - 22) / 2, w / 2 - 20, 22);
}
