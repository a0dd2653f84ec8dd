#include "RDDeviceAddOneDialog.h"

#include "RDLabel.h"

#include <QLineEdit>

RDDeviceAddOneDialog::RDDeviceAddOneDialog(QWidget *parent)
    : RDDeviceFormDialog(parent)
{
    setObjectName(QStringLiteral("RDDeviceAddOneDialog"));
    m_numberEdit = addRow(QStringLiteral("numberEdit"), 4, true);
    m_nameEdit = addRow(QStringLiteral("nameEdit"), 20, false);
    m_passwordEdit = addRow(QStringLiteral("passwordEdit"), 10, true);
    setupNumberEdit(m_numberEdit);
    setReturnOrder({m_nameEdit, m_numberEdit, m_passwordEdit});
    resize(550, 240);
    RDDeviceAddOneDialog::languageChanged();
}

RDDeviceAddOneDialog::~RDDeviceAddOneDialog() = default;

RDDevice RDDeviceAddOneDialog::device() const
{
    RDDevice device;
    device.number = m_numberEdit->text();
    device.name = m_nameEdit->text().isEmpty() ? device.number : m_nameEdit->text();
    device.password = m_passwordEdit->text();
    return device;
}

void RDDeviceAddOneDialog::languageChanged()
{
    rowLabel(0)->setText(QStringLiteral("%1(%2)").arg(RDLocalize::text(QStringLiteral("Please input SIP number")),
                                                      QStringLiteral("%1-%2").arg(6000).arg(6999)));
    rowLabel(1)->setText(RDLocalize::text(QStringLiteral("Please input name")));
    rowLabel(2)->setText(RDLocalize::text(QStringLiteral("Please input sip password")));
    RDDeviceFormDialog::languageChanged();
}

bool RDDeviceAddOneDialog::canAccept() const
{
    return m_numberEdit->text().size() >= 4 && !m_passwordEdit->text().isEmpty();
}

bool RDDeviceAddOneDialog::checkInput()
{
    const QString number = m_numberEdit->text();
    if (number.size() != 4) {
        showMessage(QStringLiteral("Please enter a four digit account number"));
        return false;
    }
    // An empty password is let pass without a word: OK is disabled then.
    if (m_passwordEdit->text().isEmpty())
        return false;
    if (!isDeviceNumber(number)) {
        showMessage(QStringLiteral("SIP number is between 6000 and 6999"));
        return false;
    }
    return true;
}

void RDDeviceAddOneDialog::okAction()
{
    if (checkInput())
        accept();
}
