#pragma once

#include "RDWidget.h"

#include <QString>
#include <QVector>

#include "PALogRecord.h"

class QTableWidget;
class RDPagingIndicateView;

// The event log in pages of 50 rows, newest first, with a page selector
// below. The filter (zone conference, first and last time, empty for no
// limit) stays until the next setFilter; the log is only read here, a page
// at a time.
class PALogsView : public RDWidget
{
    Q_OBJECT
public:
    static constexpr int pageSize = 50;

    explicit PALogsView(QWidget *parent = nullptr);
    ~PALogsView() override;

    void setFilter(const QString &conference, const QString &startTime, const QString &endTime);
    // Recounts the records that match and shows the first page.
    void refresh();

    // Texts of a record's cells; empty for values the log does not know.
    static QString actionText(const QString &action);
    static QString sourceText(const QString &source);
    static QString typeText(const QString &action, const QString &type);

    QTableWidget *table() const { return m_table; }
    RDPagingIndicateView *pagingView() const { return m_pagingView; }
    int total() const { return m_total; }

public slots:
    void showPage(int page);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showRecords(const QVector<PALogRecord> &records);

    QTableWidget *m_table;
    RDPagingIndicateView *m_pagingView;
    int m_total = 0;
    QString m_conference;
    QString m_startTime;
    QString m_endTime;
};
