#pragma once

#include "RDBaseDialog.h"
#include "RDNetworkAdapter.h"

#include <QVector>

class QComboBox;
class QLabel;
class RDLabel;

// Modal picker of one local network address ("description ip" per row).
class RDNetworkSelectDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit RDNetworkSelectDialog(QWidget *parent = nullptr);

    void setNetworks(const QVector<RDNetworkAdapter> &networks);
    // Selects the row of exactly that address and netmask, else the
    // preferred adapter of the list.
    void selectNetwork(const QString &ipAddress, const QString &netmask);
    // The adapter of the current row; an empty one when there is none.
    RDNetworkAdapter currentNetwork() const;
    QComboBox *comboBox() const { return m_combo; }
    RDLabel *okButton() const { return m_ok; }

    void languageChanged() override;

protected:
    void relayoutContents(int width, int height) override;

private slots:
    void onClickOkButton();
    void onComoBoxIndexChanged(int index);

private:
    QLabel *m_prompt;
    QComboBox *m_combo;
    RDLabel *m_ok;
    QVector<RDNetworkAdapter> m_networks;
};
