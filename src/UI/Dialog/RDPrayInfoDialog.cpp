#include "RDPrayInfoDialog.h"

#include "PAPrayMethod.h"
#include "RDCalendarView.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPrayQueryDialog.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"
#include "Velmar.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const char *const kLatitudeRules[3] = {"Middle of the Night", "One Seventh Rule", "Angle Based"};
const char *const kSchools[2] = {"Shafi", "Hanafi"};

void selectData(QComboBox *box, int value)
{
    const int index = box->findData(value);
    if (index >= 0)
        box->setCurrentIndex(index);
}

} // namespace

RDPrayInfoDialog::RDPrayInfoDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_locationLabel(new QLabel(body()))
    , m_search(new RDPixmapButton(body()))
    , m_locationEdit(new QLineEdit(body()))
    , m_methodLabel(new QLabel(body()))
    , m_method(new QComboBox(body()))
    , m_schoolLabel(new QLabel(body()))
    , m_school(new QComboBox(body()))
    , m_latitudeLabel(new QLabel(body()))
    , m_latitude(new QComboBox(body()))
    , m_header(new RDWidget(body()))
    , m_headerLabel(new RDLabel(body()))
    , m_refresh(new RDPixmapButton(body()))
    , m_calendar(nullptr)
    , m_ok(new RDLabel(body()))
    , m_cancel(new RDLabel(body()))
    , m_selectedDate(QDate::currentDate())
{
    m_search->setPixmap(QStringLiteral(":/resources/search_style.svg"), 15);
    m_search->setCursor(Qt::PointingHandCursor);
    m_header->setBackgroundColor(QColor(53, 141, 0));
    m_headerLabel->setTextColor(QColor(255, 255, 255));
    m_headerLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_refresh->setPixmap(QStringLiteral(":/resources/refresh_white.svg"), 20);
    m_refresh->setCursor(Qt::PointingHandCursor);
    for (int i = 0; i < PAPrayDay::kPrayerCount; ++i) {
        auto *name = new RDLabel(body());
        name->setText(QLatin1String(PAPrayDay::kNames[i]));
        name->setTextColor(QColor(0, 0, 0));
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_names.append(name);
        auto *time = new RDLabel(body());
        time->setText(QStringLiteral("00:00"));
        time->setTextColor(QColor(0, 0, 0));
        time->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_times.append(time);
    }
    m_calendar = new RDCalendarView(body());
    m_calendar->setSelectedDate(m_selectedDate);
    m_calendar->setDate(m_selectedDate);
    for (const PAPrayMethod &entry : PAPrayMethod::methods())
        m_method->addItem(entry.description, entry.id);
    for (int i = 0; i < 2; ++i)
        m_school->addItem(QString(), i);
    for (int i = 0; i < 3; ++i)
        m_latitude->addItem(QString(), i + 1);
    applyComboBoxStyle(m_method);
    applyComboBoxStyle(m_school);
    applyComboBoxStyle(m_latitude);
    applyPrimaryButtonStyle(m_ok);
    applyPrimaryButtonStyle(m_cancel);

    connect(m_calendar, &RDCalendarView::clickCalendar, this, &RDPrayInfoDialog::onClickCalendar);
    connect(m_search, &RDPixmapButton::clicked, this, &RDPrayInfoDialog::onClickLocationQuery);
    connect(m_refresh, &RDPixmapButton::clicked, this, &RDPrayInfoDialog::query);
    connect(m_locationEdit, &QLineEdit::returnPressed, this, &RDPrayInfoDialog::onLocationReturn);
    connect(m_ok, &RDLabel::clicked, this, &RDPrayInfoDialog::onClickOKButton);
    connect(m_cancel, &RDLabel::clicked, this, &RDPrayInfoDialog::onClickCancelButton);
    setMinimumSize(760, 410);
    resize(760, 410);
    RDPrayInfoDialog::languageChanged();
}

void RDPrayInfoDialog::languageChanged()
{
    RDFullDialog::languageChanged();
    m_locationLabel->setText(RDLocalize::text(QStringLiteral("Location")));
    m_locationEdit->setPlaceholderText(RDLocalize::text(QStringLiteral("Makkah, Saudi Arabia")));
    m_methodLabel->setText(RDLocalize::text(QStringLiteral("Method")));
    m_schoolLabel->setText(RDLocalize::text(QStringLiteral("Juristic School")));
    m_schoolLabel->setToolTip(RDLocalize::text(QStringLiteral("only affects Asr calculation")));
    const QString latitude = RDLocalize::text(QStringLiteral("Higher Latitude Adjustment Method"));
    m_latitudeLabel->setText(latitude);
    m_latitudeLabel->setToolTip(latitude);
    for (int i = 0; i < 2; ++i)
        m_school->setItemText(i, RDLocalize::text(QLatin1String(kSchools[i])));
    for (int i = 0; i < 3; ++i)
        m_latitude->setItemText(i, RDLocalize::text(QLatin1String(kLatitudeRules[i])));
    m_headerLabel->setText(RDLocalize::text(QStringLiteral("Prayer Times for")));
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
    m_cancel->setText(RDLocalize::text(QStringLiteral("Cancel")));
}

void RDPrayInfoDialog::init(const QString &location, int method, int school, int latitudeAdjustmentMethod)
{
    m_appliedLocation = location;
    m_appliedMethod = method;
    m_appliedSchool = school;
    m_appliedLatitude = latitudeAdjustmentMethod;
    m_locationEdit->setText(location);
    selectData(m_method, method);
    selectData(m_school, school);
    selectData(m_latitude, latitudeAdjustmentMethod);
    showDay(Velmar::getPrayDay(location, method, school, latitudeAdjustmentMethod, m_selectedDate.year(),
                               m_selectedDate.month(), m_selectedDate.day()));
}

QString RDPrayInfoDialog::location() const
{
    return m_locationEdit->text();
}

int RDPrayInfoDialog::method() const
{
    return m_method->currentData().toInt();
}

int RDPrayInfoDialog::school() const
{
    return m_school->currentData().toInt();
}

int RDPrayInfoDialog::latitudeAdjustmentMethod() const
{
    return m_latitude->currentData().toInt();
}

QString RDPrayInfoDialog::timeText(int index) const
{
    return index >= 0 && index < m_times.size() ? m_times[index]->text() : QString();
}

void RDPrayInfoDialog::query()
{
    m_appliedLocation = location();
    m_appliedMethod = method();
    m_appliedSchool = school();
    m_appliedLatitude = latitudeAdjustmentMethod();
    RDPrayQueryDialog dialog(this);
    dialog.setQuery(m_appliedLocation, m_appliedMethod, m_appliedSchool, m_appliedLatitude);
    dialog.setYearMonth(m_selectedDate.year(), m_selectedDate.month());
    dialog.centerOn(this);
    dialog.startWork();
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_days = dialog.days();
    m_daysMonth = QDate(m_selectedDate.year(), m_selectedDate.month(), 1);
    showSelectedDay();
}

void RDPrayInfoDialog::onClickCalendar(QDate date)
{
    // The held days are those of the month last fetched, which is not the
    // selected date's when a fetch of another month was closed.
    const bool sameMonth = date.year() == m_daysMonth.year() && date.month() == m_daysMonth.month();
    m_selectedDate = date;
    m_calendar->setSelectedDate(date);
    if (sameMonth && !m_days.isEmpty())
        showSelectedDay();
    else
        query();
}

void RDPrayInfoDialog::onClickLocationQuery()
{
    query();
}

void RDPrayInfoDialog::onLocationReturn()
{
    query();
}

void RDPrayInfoDialog::onClickOKButton()
{
    accept();
}

void RDPrayInfoDialog::onClickCancelButton()
{
    reject();
}

void RDPrayInfoDialog::showSelectedDay()
{
    for (const PAPrayDay &day : m_days) {
        if (day.date == m_selectedDate) {
            showDay(day);
            return;
        }
    }
    showDay(PAPrayDay());
}

void RDPrayInfoDialog::showDay(const PAPrayDay &day)
{
    for (int i = 0; i < PAPrayDay::kPrayerCount; ++i)
        m_times[i]->setText(day.times[i].toString());
}

void RDPrayInfoDialog::relayoutContents(int w, int h)
{
    m_locationLabel->adjustSize();
    m_locationLabel->setGeometry(10, 10, m_locationLabel->width(), 25);
    m_locationEdit->setGeometry(10, m_locationLabel->geometry().bottom() + 5, 155, 25);
    m_search->setGeometry(m_locationEdit->geometry().right() + 5,
                          m_locationEdit->y() + (25 - 15) / 2, 15, 15);
    int y = m_locationEdit->geometry().bottom() + 15;
    const QList<QPair<QWidget *, QComboBox *>> rows{
        {m_methodLabel, m_method}, {m_schoolLabel, m_school}, {m_latitudeLabel, m_latitude}};
    for (const auto &row : rows) {
        row.first->setGeometry(10, y, 170, 25);
        row.second->setGeometry(10, row.first->geometry().bottom() + 5, 170, 25);
        y = row.second->geometry().bottom() + 15;
    }
    m_header->setGeometry(210, 10, 190, 25);
    m_headerLabel->setGeometry(220, 10, 170, 25);
    m_refresh->setGeometry(370, 12, 20, 20);
    m_refresh->raise();
    for (int i = 0; i < PAPrayDay::kPrayerCount; ++i) {
        m_names[i]->setGeometry(210, 35 + 30 * i, 120, 25);
        m_times[i]->setGeometry(340, 35 + 30 * i, 60, 25);
    }
    m_calendar->setGeometry(425, 10, 300, 280);
    const int x = (w / 2 - 120) / 2;
    m_ok->setGeometry(x, h - 40, 120, 30);
    m_cancel->setGeometry(x + w / 2, h - 40, 120, 30);
}
