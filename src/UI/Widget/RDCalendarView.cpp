#include "RDCalendarView.h"

#include "RDCalendarDayView.h"
#include "RDDefaultFont.h"
#include "RDLocalize.h"
#include "RDPixmapsButton.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

QDate &fixedToday()
{
    static QDate today;
    return today;
}

QDate today()
{
    return fixedToday().isValid() ? fixedToday() : QDate::currentDate();
}

const char *const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

} // namespace

RDCalendarView::RDCalendarView(QWidget *parent)
    : QWidget(parent)
    , m_prev(new RDPixmapsButton(this))
    , m_next(new RDPixmapsButton(this))
    , m_monthLabel(new QLabel(this))
    , m_month(today())
{
    qRegisterMetaType<RDCalendarDayView *>("RDCalendarDayView*");
    m_prev->setPixmaps(QStringLiteral(":/resources/calendar_prev.svg"),
                       QStringLiteral(":/resources/calendar_prev_pressed.svg"), 9);
    m_next->setPixmaps(QStringLiteral(":/resources/calendar_next.svg"),
                       QStringLiteral(":/resources/calendar_next_pressed.svg"), 9);
    m_monthLabel->setAlignment(Qt::AlignCenter);
    m_monthLabel->setStyleSheet(QStringLiteral("QLabel{color:#ffffff;};"));
    for (int i = 0; i < 7; ++i) {
        auto *label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(defaultFont());
        m_weekdays.append(label);
    }
    for (int i = 0; i < 42; ++i) {
        auto *day = new RDCalendarDayView(this);
        connect(day, &RDCalendarDayView::click, this, &RDCalendarView::_onClickCalendarDayView,
                Qt::QueuedConnection);
        m_days.append(day);
    }
    connect(m_prev, &RDPixmapsButton::clicked, this, &RDCalendarView::_onClickPrevButton, Qt::QueuedConnection);
    connect(m_next, &RDPixmapsButton::clicked, this, &RDCalendarView::_onClickNextButton, Qt::QueuedConnection);
    RDCalendarView::languageChanged();
    fill();
}

void RDCalendarView::setTodayForTesting(const QDate &day)
{
    fixedToday() = day;
}

void RDCalendarView::setDate(const QDate &date)
{
    if (!date.isValid())
        return;
    m_month = date;
    fill();
}

void RDCalendarView::setSelectedDate(const QDate &date)
{
    m_selected = date;
    fill();
}

QString RDCalendarView::monthText() const
{
    return m_monthLabel->text();
}

void RDCalendarView::fill()
{
    m_monthLabel->setText(m_month.toString(QStringLiteral("yyyy-MM")));
    const QDate first(m_month.year(), m_month.month(), 1);
    const int dow = first.dayOfWeek(); // 1 Monday .. 7 Sunday
    const int days = first.daysInMonth();
    const QDate now = today();
    // Cell dow holds day 1: a month starting on Sunday leaves the first row
    // to the month before.
    for (int i = 0; i < 42; ++i) {
        const QDate date = first.addDays(i - dow);
        const bool inMonth = i >= dow && i < dow + days;
        int state = RDCalendarDayView::Plain;
        if (date == m_selected)
            state = RDCalendarDayView::Selected;
        else if (date == now)
            state = RDCalendarDayView::Today;
        m_days[i]->setEnabled(inMonth);
        m_days[i]->setDay(date, state);
    }
}

void RDCalendarView::_onClickPrevButton()
{
    const QDate first(m_month.year(), m_month.month(), 1);
    m_month = first.addMonths(-1);
    fill();
}

void RDCalendarView::_onClickNextButton()
{
    const QDate first(m_month.year(), m_month.month(), 1);
    m_month = first.addMonths(1);
    fill();
}

void RDCalendarView::_onClickCalendarDayView(RDCalendarDayView *dayView)
{
    // Queued: the cell is one of ours for the calendar's whole life.
    if (!m_days.contains(dayView) || !dayView->isEnabled())
        return;
    m_selected = dayView->date();
    fill();
    emit clickCalendar(m_selected);
}

void RDCalendarView::languageChanged()
{
    for (int i = 0; i < 7; ++i)
        m_weekdays[i]->setText(RDLocalize::text(QLatin1String(kWeekdays[i])));
}

void RDCalendarView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void RDCalendarView::relayout()
{
    const int w = width();
    m_prev->setGeometry(15, 12, 9, 15);
    m_next->setGeometry(w - 24, 12, 9, 15);
    m_monthLabel->setGeometry(30, 10, w - 60, 20);
    const int cw = w / 7;
    for (int i = 0; i < 7; ++i)
        m_weekdays[i]->setGeometry(i * cw, 40, cw, 30);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 7; ++c)
            m_days[r * 7 + c]->setGeometry(c * cw, 70 + 30 * r, cw, 30);
}

void RDCalendarView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const int w = width();
    const int h = height();
    const QColor line(228, 228, 228);
    QPainterPath header;
    header.moveTo(10, 0);
    header.arcTo(0, 0, 20, 20, 90, 90);
    header.lineTo(0, 40);
    header.lineTo(w, 40);
    header.lineTo(w, 10);
    header.arcTo(w - 20, 0, 20, 20, 0, 90);
    header.closeSubpath();
    p.setPen(line);
    p.setBrush(QColor(0x19, 0xa4, 0xff));
    p.drawPath(header);
    QPainterPath body;
    body.moveTo(0, 40);
    body.lineTo(0, h - 10);
    body.arcTo(0, h - 20, 20, 20, 180, 90);
    body.lineTo(w - 10, h);
    body.arcTo(w - 20, h - 20, 20, 20, 270, 90);
    body.lineTo(w, 40);
    body.closeSubpath();
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(body);
}
