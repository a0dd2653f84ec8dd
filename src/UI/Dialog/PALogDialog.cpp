#include "PALogDialog.h"

#include "PALogsView.h"
#include "RDLocalize.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QDateEdit *makeDateEdit(QWidget *parent, const QDate &date)
{
    auto *edit = new QDateEdit(parent);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
    edit->setDate(date);
    return edit;
}

} // namespace

PALogDialog::PALogDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , m_zoneLabel(new QLabel(this))
    , m_zoneCombo(new QComboBox(this))
    , m_startLabel(new QLabel(this))
    , m_startDateEdit(makeDateEdit(this, QDate::currentDate().addDays(-365)))
    , m_endLabel(new QLabel(this))
    , m_endDateEdit(makeDateEdit(this, QDate::currentDate()))
    , m_searchButton(new QPushButton(this))
    , m_logsView(new PALogsView(this))
{
    connect(m_searchButton, &QPushButton::clicked, this, &PALogDialog::onClickSearch);
    m_zoneLabel->setText(RDLocalize::text(QStringLiteral("Zone")));
    m_startLabel->setText(RDLocalize::text(QStringLiteral("Start Date")));
    m_endLabel->setText(RDLocalize::text(QStringLiteral("End Date")));
    m_searchButton->setText(RDLocalize::text(QStringLiteral("Search")));
    setGroups({});
    m_logsView->refresh();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize area = screen->availableGeometry().size();
        setMinimumSize(area.width() / 2, area.height() / 2);
        resize(int(area.width() * 0.8), int(area.height() * 0.8));
    } else {
        setMinimumSize(800, 600);
    }
}

PALogDialog::~PALogDialog() = default;

void PALogDialog::setGroups(const QVector<RDGroup> &groups)
{
    m_groups = groups;
    m_zoneCombo->clear();
    m_zoneCombo->addItem(RDLocalize::text(QStringLiteral("All")), QString());
    for (const RDGroup &group : m_groups)
        m_zoneCombo->addItem(group.conference, group.conference);
    relayout();
}

void PALogDialog::searchRange(const QDate &startDate, const QDate &endDate, QString &startTime,
                              QString &endTime)
{
    QDate first = startDate;
    QDate last = endDate;
    // Swapping the finished texts would search from the later day's first
    // second to the earlier day's last one and miss both days; the days are
    // put in order before their times are added.
    if (first.isValid() && last.isValid() && last < first)
        std::swap(first, last);
    startTime = first.isValid() ? QDateTime(first, QTime(0, 0, 0)).toString(timeFormat) : QString();
    endTime = last.isValid() ? QDateTime(last, QTime(23, 59, 59)).toString(timeFormat) : QString();
}

void PALogDialog::onClickSearch(bool checked)
{
    Q_UNUSED(checked)
    const QString conference = m_zoneCombo->currentData().toString();
    QString startTime;
    QString endTime;
    searchRange(m_startDateEdit->date(), m_endDateEdit->date(), startTime, endTime);
    m_logsView->setFilter(conference, startTime, endTime);
    m_logsView->refresh();
}

void PALogDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    relayout();
}

void PALogDialog::relayout()
{
    auto place = [](QWidget *widget, int x, int minimumWidth) {
        const int w = qMax(minimumWidth, widget->sizeHint().width());
        widget->setGeometry(x, 10, w, 30);
        return widget->geometry().right();
    };
    int right = place(m_zoneLabel, 10, 0);
    right = place(m_zoneCombo, right + 10, 100);
    right = place(m_startLabel, right + 30, 0);
    right = place(m_startDateEdit, right + 10, 100);
    right = place(m_endLabel, right + 30, 0);
    right = place(m_endDateEdit, right + 10, 100);
    place(m_searchButton, right + 30, 100);
    m_logsView->setGeometry(0, 50, width(), qMax(0, height() - 50));
}
