#pragma once

#include "QOnvif.h"
#include "QOnvifDevice.h"
#include "RDLoadingDialog.h"

#include <QVector>

// Searches the LAN for cameras on the loading dialog's worker and asks each
// one found for its profiles and stream addresses with the given
// credentials. Each query is bounded, so a close waits at most one query.
class RDOnvifDeviceSearchDialog : public RDLoadingDialog
{
    Q_OBJECT
public:
    explicit RDOnvifDeviceSearchDialog(QWidget *parent = nullptr);
    ~RDOnvifDeviceSearchDialog() override;

    void setSearch(const QString &ip, const QString &username, const QString &password);
    // The cameras found; read after exec() returned 1.
    QVector<QOnvifDevice> devices() const { return m_devices; }

    void languageChanged() override;

protected:
    void doWork() override;
    void cancelWork() override;

private:
    void queryDevice(const QOnvifDevice &found);

    QOnvif m_onvif;
    QVector<QOnvifDevice> m_devices;
    QString m_ip;
    QString m_username;
    QString m_password;
};
