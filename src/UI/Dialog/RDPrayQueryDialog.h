#pragma once

#include "PAPrayDay.h"
#include "RDLoadingDialog.h"

#include <QByteArray>
#include <QVector>

#include <mutex>

class QEventLoop;

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
    // One GET on the worker thread: 0 and the body when the service
    // answered; an error code when it failed, timed out or was cancelled.
    int fetch(const QString &url, QByteArray &answer);

    QString m_address;
    int m_method = 0;
    int m_school = 0;
    int m_latitudeMethod = 0;
    int m_year = 0;
    int m_month = 0;

    // The request the worker waits for, and whether the dialog was closed;
    // a close before the wait begins is kept, so the wait never begins.
    std::mutex m_loopLock;
    QEventLoop *m_loop = nullptr;
    bool m_cancelled = false;

    QVector<PAPrayDay> m_days;
};
