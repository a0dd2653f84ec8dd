#include "RDGroupScheduleWidget.h"

#include "RDCalendarView.h"
#include "RDGroup.h"
#include "RDMonthlyView.h"
#include "RDPixmapButton.h"
#include "RDWeeklyView.h"
#include "RDWidgetStyle.h"
#include "RTPOperatorEventDialog.h"
#include "RTPOperatorListWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

namespace {

const char *const kRepeatShown[4] = {"Once only", "Daily", "Weekly", "Monthly"};
const char *const kRepeatStored[4] = {"onceonly", "daily", "weekly", "monthly"};
const char kDateFormat[] = "yyyyMMdd";

} // namespace

RDGroupScheduleWidget::RDGroupScheduleWidget(QWidget *parent)
    : RDWidget(parent)
    , m_enable(new QCheckBox(this))
    , m_enableLabel(new QLabel(this))
    , m_cycleLabel(new QLabel(this))
    , m_repeat(new QComboBox(this))
    , m_calendar(new RDCalendarView(this))
    , m_weekly(new RDWeeklyView(this))
    , m_monthly(new RDMonthlyView(this))
    , m_eventLabel(new QLabel(this))
    , m_add(new RDPixmapButton(this))
    , m_list(new RTPOperatorListWidget(this))
{
    for (int i = 0; i < 4; ++i)
        m_repeat->addItem(QString());
    applyComboBoxStyle(m_repeat);
    m_add->setPixmap(QStringLiteral(":/resources/add_style.svg"), 16);
    m_add->setCursor(Qt::PointingHandCursor);
    m_calendar->setSelectedDate(QDate::currentDate());
    m_calendar->setDate(QDate::currentDate());
    m_weekly->hide();
    m_monthly->hide();
    connect(m_repeat, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RDGroupScheduleWidget::onRepeatTypeBoxChanged);
    connect(m_add, &RDPixmapButton::clicked, this, &RDGroupScheduleWidget::onClickAddOperatorButton);
    connect(m_enable, &QCheckBox::toggled, this, &RDGroupScheduleWidget::setControlsEnabled);
    connect(m_calendar, &RDCalendarView::clickCalendar, m_calendar, &RDCalendarView::setSelectedDate);
    setControlsEnabled(false);
    RDGroupScheduleWidget::languageChanged();
}

void RDGroupScheduleWidget::languageChanged()
{
    m_enableLabel->setText(RDLocalize::text(QStringLiteral("Enable Schedule")));
    m_cycleLabel->setText(RDLocalize::text(QStringLiteral("Cycle Period")));
    for (int i = 0; i < 4; ++i)
        m_repeat->setItemText(i, RDLocalize::text(QLatin1String(kRepeatShown[i])));
    m_eventLabel->setText(RDLocalize::text(QStringLiteral("Time Event")));
    if (width() > 0)
        resizeEvent(nullptr);
}

void RDGroupScheduleWidget::setSchedule(bool enable, const QString &repeatType, const QString &repeatValue,
                                        const QString &date, const QVector<RDGroupScheduleOperation> &operations)
{
    m_enable->setChecked(enable);
    setControlsEnabled(enable);
    int index = 0;
    for (int i = 1; i < 4; ++i) {
        if (repeatType.compare(QLatin1String(kRepeatStored[i]), Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index == 2)
        m_weekly->setSelectedDays(repeatValue);
    else if (index == 3)
        m_monthly->setSelectedDays(repeatValue);
    // Every cycle keeps its stored date: merely showing a weekly zone must
    // not turn its date into today's.
    QDate selected = QDate::fromString(date, QLatin1String(kDateFormat));
    if (!selected.isValid())
        selected = QDate::currentDate();
    m_calendar->setSelectedDate(selected);
    m_calendar->setDate(selected);
    m_repeat->setCurrentIndex(index);
    onRepeatTypeBoxChanged(index);
    m_list->setOperations(operations);
}

void RDGroupScheduleWidget::getGroup(RDGroup &group) const
{
    const int index = m_repeat->currentIndex();
    group.scheduleEnable = m_enable->isChecked() ? 1 : 0;
    group.scheduleRepeatType = QLatin1String(kRepeatStored[index >= 1 && index <= 3 ? index : 0]);
    if (index == 2)
        group.scheduleRepeatValue = m_weekly->selectedDays();
    else if (index == 3)
        group.scheduleRepeatValue = m_monthly->selectedDays();
    else
        group.scheduleRepeatValue.clear();
    QDate date = m_calendar->selectedDate();
    if (!date.isValid())
        date = QDate::currentDate();
    group.scheduleTime = date.toString(QLatin1String(kDateFormat));
    group.setScheduleOperations(m_list->operations());
}

void RDGroupScheduleWidget::onRepeatTypeBoxChanged(int index)
{
    if (index < 0 || index > 3)
        return;
    m_calendar->setVisible(index == 0);
    m_weekly->setVisible(index == 2);
    m_monthly->setVisible(index == 3);
}

void RDGroupScheduleWidget::onClickAddOperatorButton()
{
    RTPOperatorEventDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_list->insertOperation(dialog.operation());
}

void RDGroupScheduleWidget::setControlsEnabled(bool enabled)
{
    const QList<QWidget *> controls{m_enableLabel, m_cycleLabel, m_repeat, m_calendar, m_weekly,
                                    m_monthly,     m_eventLabel, m_add,    m_list};
    for (QWidget *control : controls)
        control->setEnabled(enabled);
}

void RDGroupScheduleWidget::resizeEvent(QResizeEvent *)
{
    m_enable->setGeometry(10, 10, 20, 20);
    m_enableLabel->setGeometry(35, 10, 200, 20);
    m_cycleLabel->adjustSize();
    m_cycleLabel->setGeometry(10, 40, m_cycleLabel->width(), 30);
    m_repeat->adjustSize();
    m_repeat->move(m_cycleLabel->geometry().right() + 10, 40 + (30 - m_repeat->height()) / 2);
    const int pickerTop = m_cycleLabel->geometry().bottom() + 10;
    m_calendar->setGeometry(10, pickerTop, 300, 280);
    m_monthly->setGeometry(10, pickerTop, 230, 160);
    m_weekly->setGeometry(10, pickerTop, 230, 40);
    m_eventLabel->adjustSize();
    m_eventLabel->move(330, 10);
    m_add->setGeometry(m_eventLabel->geometry().right() + 5, 12, 16, 16);
    m_list->setGeometry(330, 35, 300, height() - 45);
}
