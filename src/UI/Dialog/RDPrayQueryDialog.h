#pragma once

#include "PAPrayDay.h"
#include "PAPrayRequest.h"
#include "RDLoadingDialog.h"

#include <QVector>

// Gets one month of prayer times for a place and its calculation settings:
// from the month's cache file when it holds days, else from the prayer-times
// service, whose answer then becomes the cache file. The work runs on the
// loading dialog's worker; closing the dialog ends a pending request at once.
class RDPrayQueryDialog : public RDLoadingDialog
{
    Q_OBJECT
public:
    explicit RDPrayQueryDialog(QWidget *parent = nullptr);
    ~RDPrayQueryDialog() override;

    void setQuery(const QString &address, int method, int school, int latitudeAdjustmentMethod);
    void setYearMonth(int year, int month);
    // The days found; read after exec() returned.
    QVector<PAPrayDay> days() const;

    void languageChanged() override;

protected:
    void doWork() override;
    void cancelWork() override;

private:
    QString m_address;
    int m_method = 0;
    int m_school = 0;
    int m_latitudeMethod = 0;
    int m_year = 0;
    int m_month = 0;

    // Ended by a close of the dialog, even before its wait begins.
    PAPrayRequest m_request;

    QVector<PAPrayDay> m_days;
};
