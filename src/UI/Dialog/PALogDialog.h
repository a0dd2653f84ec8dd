#pragma once

#include "RDGroup.h"

#include <QDialog>
#include <QString>
#include <QVector>

class PALogsView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;

// The event-log window: a zone choice ("All" or one zone), a date range and
// Search above the log's pages. It opens on the whole log, newest first.
class PALogDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PALogDialog(QWidget *parent = nullptr);
    ~PALogDialog() override;

    // Refills the zone choice: "All", then each zone's conference number in
    // the given order.
    void setGroups(const QVector<RDGroup> &groups);

    // The filter a search with these choices applies: the zone's conference
    // ("" for all), the first day from 00:00:00 and the last day up to
    // 23:59:59 (either empty when its date is invalid). Days given the wrong
    // way round are put in order first, so both days are searched.
    static void searchRange(const QDate &startDate, const QDate &endDate, QString &startTime,
                            QString &endTime);

    QComboBox *zoneCombo() const { return m_zoneCombo; }
    QDateEdit *startDateEdit() const { return m_startDateEdit; }
    QDateEdit *endDateEdit() const { return m_endDateEdit; }
    QPushButton *searchButton() const { return m_searchButton; }
    PALogsView *logsView() const { return m_logsView; }

public slots:
    void onClickSearch(bool checked);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QVector<RDGroup> m_groups;
    QLabel *m_zoneLabel;
    QComboBox *m_zoneCombo;
    QLabel *m_startLabel;
    QDateEdit *m_startDateEdit;
    QLabel *m_endLabel;
    QDateEdit *m_endDateEdit;
    QPushButton *m_searchButton;
    PALogsView *m_logsView;
};
