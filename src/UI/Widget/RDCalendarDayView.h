#pragma once

#include <QDate>
#include <QFont>
#include <QWidget>

// One day of the month calendar: its number, filled blue when selected,
// ringed when it is today; grey when it belongs to another month (then
// disabled). A release inside it emits click().
class RDCalendarDayView : public QWidget
{
    Q_OBJECT
public:
    enum State { Plain = 0, Selected = 1, Today = 2 };

    explicit RDCalendarDayView(QWidget *parent = nullptr);

    void setDay(const QDate &date, int state);
    QDate date() const { return m_date; }
    int state() const { return m_state; }

signals:
    void click(RDCalendarDayView *dayView);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QFont m_font;
    int m_state = Plain;
    QDate m_date;
};

Q_DECLARE_METATYPE(RDCalendarDayView *)
