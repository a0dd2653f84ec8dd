#include "RDNetworkSelectDialog.h"

#include "RDLabel.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QComboBox>
#include <QLabel>

RDNetworkSelectDialog::RDNetworkSelectDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_prompt(new QLabel(body()))
    , m_combo(new QComboBox(body()))
    , m_ok(new RDLabel(body()))
{
    m_prompt->setAlignment(Qt::AlignCenter);
    applyComboBoxStyle(m_combo);
    applyPrimaryButtonStyle(m_ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    connect(m_ok, &RDLabel::clicked, this, &RDNetworkSelectDialog::onClickOkButton);
    connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RDNetworkSelectDialog::onComoBoxIndexChanged);
    resize(400, 210);
    RDNetworkSelectDialog::languageChanged();
}

void RDNetworkSelectDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    m_prompt->setText(RDLocalize::text(QStringLiteral("Please select network")));
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
}

void RDNetworkSelectDialog::setNetworks(const QVector<RDNetworkAdapter> &networks)
{
    m_networks = networks;
    m_combo->clear();
    for (const RDNetworkAdapter &a : networks)
        m_combo->addItem(QStringLiteral("%1 %2").arg(a.description, a.ip));
}

void RDNetworkSelectDialog::selectNetwork(const QString &ipAddress, const QString &netmask)
{
    int row = -1;
    for (int i = 0; i < m_networks.size(); ++i) {
        if (m_networks[i].ip == ipAddress && m_networks[i].netmask == netmask) {
            row = i;
            break;
        }
    }
    if (row < 0 && !m_networks.isEmpty()) {
        // The preferred address itself: one adapter may carry several.
        const RDNetworkAdapter preferred = selectNetworkAdapter(m_networks);
        for (int i = 0; i < m_networks.size(); ++i) {
            const RDNetworkAdapter &a = m_networks[i];
            if (a.name == preferred.name && a.ip == preferred.ip && a.netmask == preferred.netmask) {
                row = i;
                break;
            }
        }
    }
    if (row >= 0 && row < m_combo->count())
        m_combo->setCurrentIndex(row);
}

RDNetworkAdapter RDNetworkSelectDialog::currentNetwork() const
{
    const int row = m_combo->currentIndex();
    if (row < 0 || row >= m_networks.size())
        return RDNetworkAdapter();
    return m_networks[row];
}

void RDNetworkSelectDialog::onClickOkButton()
{
    accept();
}

void RDNetworkSelectDialog::onComoBoxIndexChanged(int)
{
}

void RDNetworkSelectDialog::relayoutContents(int w, int)
{
    m_prompt->setGeometry(0, 10, w, 30);
    const int promptBottom = m_prompt->geometry().bottom();
    m_combo->setGeometry(20, promptBottom + 20, w - 40, 25);
    m_ok->setGeometry((w - 120) / 2, m_combo->geometry().bottom() + 20, 120, 25);
}
