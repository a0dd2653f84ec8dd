#include "DornixHelpWidget.h"

#include "RDLabel.h"

#include <QLabel>

DornixHelpWidget::DornixHelpWidget(QWidget *parent)
    : RDToast(parent)
    , m_versionCaption(new RDLabel(this))
    , m_version(new RDLabel(this))
    , m_dateCaption(new QLabel(this))
    , m_date(new QLabel(this))
    , m_contactCaption(new QLabel(this))
    , m_contact(new QLabel(this))
{
    for (RDLabel *l : {m_versionCaption, m_version}) {
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->setTextColor(QColor(0, 0, 0));
    }
    m_contact->setText(QStringLiteral("support@velmar-pa.example"));
    m_contact->setTextInteractionFlags(Qt::TextSelectableByMouse);
    DornixHelpWidget::languageChanged();
}

DornixHelpWidget::~DornixHelpWidget() = default;

void DornixHelpWidget::languageChanged()
{
    m_versionCaption->setText(RDLocalize::text(QStringLiteral("Version")));
    m_dateCaption->setText(RDLocalize::text(QStringLiteral("Build Date")));
    m_contactCaption->setText(RDLocalize::text(QStringLiteral("Contact Us")));
    m_version->setText(QStringLiteral("2.3.0"));
    m_date->setText(QStringLiteral("20261014"));
    relayout();
}

void DornixHelpWidget::resizeEvent(QResizeEvent *event)
{
    RDToast::resizeEvent(event);
    relayout();
}

void DornixHelpWidget::relayout()
{
    const int W = width();
    const QWidget *captions[] = {m_versionCaption, m_dateCaption, m_contactCaption};
    QWidget *values[] = {m_version, m_date, m_contact};
    for (int i = 0; i < 3; ++i) {
        const_cast<QWidget *>(captions[i])->setGeometry(10, 10 + 30 * i, 150, 30);
        values[i]->setGeometry(170, 10 + 30 * i, W - 160, 30);
    }
}
