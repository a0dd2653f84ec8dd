#pragma once

#include "PAPrayDay.h"
#include "RDFullDialog.h"

#include <QDate>
#include <QVector>

class QComboBox;
class QLabel;
class QLineEdit;
class RDCalendarView;
class RDLabel;
class RDPixmapButton;
class RDWidget;

// How a prayer zone's times are found: the place, the calculation method,
// the juristic school and the higher-latitude rule, with the nine times of
// a day picked in a calendar to check them. The caller reads the four
// settings after OK and stores them itself.
class RDPrayInfoDialog : public RDFullDialog
{
    Q_OBJECT
public:
    explicit RDPrayInfoDialog(QWidget *parent = nullptr);

    void init(const QString &location, int method, int school, int latitudeAdjustmentMethod);
    QString location() const;
    int method() const;
    int school() const;
    int latitudeAdjustmentMethod() const;

    QDate selectedDate() const { return m_selectedDate; }
    QVector<PAPrayDay> days() const { return m_days; }
    // The time shown on row `index` (0 Fajr .. 8 Midnight).
    QString timeText(int index) const;

    QLineEdit *locationEdit() const { return m_locationEdit; }
    QComboBox *methodBox() const { return m_method; }
    QComboBox *schoolBox() const { return m_school; }
    QComboBox *latitudeBox() const { return m_latitude; }
    RDCalendarView *calendarView() const { return m_calendar; }
    RDPixmapButton *refreshButton() const { return m_refresh; }
    RDPixmapButton *searchButton() const { return m_search; }
    RDLabel *okButton() const { return m_ok; }
    RDLabel *cancelButton() const { return m_cancel; }

    void languageChanged() override;

public slots:
    void query();
    void onClickCalendar(QDate date);
    void onClickLocationQuery();
    void onLocationReturn();
    void onClickOKButton();
    void onClickCancelButton();

protected:
    void relayoutContents(int width, int height) override;

private:
    void showDay(const PAPrayDay &day);
    void showSelectedDay();

    QLabel *m_locationLabel;
    RDPixmapButton *m_search;
    QLineEdit *m_locationEdit;
    QLabel *m_methodLabel;
    QComboBox *m_method;
    QLabel *m_schoolLabel;
    QComboBox *m_school;
    QLabel *m_latitudeLabel;
    QComboBox *m_latitude;
    RDWidget *m_header;
    RDLabel *m_headerLabel;
    RDPixmapButton *m_refresh;
    QVector<RDLabel *> m_names;
    QVector<RDLabel *> m_times;
    RDCalendarView *m_calendar;
    RDLabel *m_ok;
    RDLabel *m_cancel;

    // The settings last applied.
    QString m_appliedLocation;
    int m_appliedMethod = 0;
    int m_appliedSchool = 0;
    int m_appliedLatitude = 0;
    QDate m_selectedDate;
    QVector<PAPrayDay> m_days;
    QDate m_daysMonth;
};
