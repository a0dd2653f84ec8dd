#include "RDDeviceAddAllDialog.h"

#include "RDLabel.h"

#include <QIntValidator>
#include <QLineEdit>

#include <algorithm>

RDDeviceAddAllDialog::RDDeviceAddAllDialog(QWidget *parent)
    : RDDeviceFormDialog(parent)
    , m_hint(addHint())
{
    setObjectName(QStringLiteral("RDDeviceAddAllDialog"));
    m_startEdit = addRow(QStringLiteral("startEdit"), 4, true);
    m_namePrefixEdit = addRow(QStringLiteral("namePrefixEdit"), 20, false);
    m_passwordPrefixEdit = addRow(QStringLiteral("passwordPrefixEdit"), 10, true);
    m_countEdit = addRow(QStringLiteral("countEdit"), 0, false);
    setupNumberEdit(m_startEdit);
    m_countEdit->setValidator(new QIntValidator(1, 1000, m_countEdit));
    setReturnOrder({m_namePrefixEdit, m_startEdit, m_passwordPrefixEdit, m_countEdit});
    resize(550, 310);
    RDDeviceAddAllDialog::languageChanged();
}

RDDeviceAddAllDialog::~RDDeviceAddAllDialog() = default;

QVector<RDDevice> RDDeviceAddAllDialog::buildDevices() const
{
    QVector<RDDevice> devices;
    const int start = m_startEdit->text().toInt();
    const int count = std::max(1, m_countEdit->text().toInt());
    const int end = std::min(start + count, 7000);
    for (int n = start; n < end; ++n) {
        RDDevice device;
        device.number = QString::number(n);
        device.name = QStringLiteral("%1%2").arg(m_namePrefixEdit->text()).arg(n);
        device.password = QStringLiteral("%1%2").arg(m_passwordPrefixEdit->text()).arg(n);
        devices.append(device);
    }
    return devices;
}

void RDDeviceAddAllDialog::languageChanged()
{
    m_hint->setText(
        RDLocalize::text(QStringLiteral("The name is name prefix + number, The password is password prefix + number")));
    rowLabel(0)->setText(QStringLiteral("%1(%2)").arg(RDLocalize::text(QStringLiteral("Please input start SIP number")),
                                                      QStringLiteral("%1-%2").arg(6000).arg(6999)));
    rowLabel(1)->setText(RDLocalize::text(QStringLiteral("Please input name prefix")));
    rowLabel(2)->setText(RDLocalize::text(QStringLiteral("Please input password prefix")));
    rowLabel(3)->setText(RDLocalize::text(QStringLiteral("Please input count")));
    RDDeviceFormDialog::languageChanged();
}

bool RDDeviceAddAllDialog::canAccept() const
{
    return m_startEdit->text().size() >= 4 && m_passwordPrefixEdit->text().size() >= 2;
}

void RDDeviceAddAllDialog::okAction()
{
    if (!isDeviceNumber(m_startEdit->text())) {
        showMessage(QStringLiteral("SIP number is between 6000 and 6999"));
        return;
    }
    accept();
}
