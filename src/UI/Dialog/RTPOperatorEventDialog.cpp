#include "RTPOperatorEventDialog.h"

#include "RDLocalize.h"

#include <QButtonGroup>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTime>
#include <QTimeEdit>

RTPOperatorEventDialog::RTPOperatorEventDialog(QWidget *parent)
    : RDDialog(parent)
    , m_label(new QLabel(RDLocalize::text(QStringLiteral("Start Time")), this))
    , m_time(new QTimeEdit(this))
    , m_group(new QButtonGroup(this))
    , m_start(new QRadioButton(RDLocalize::text(QStringLiteral("Start")), this))
    , m_stop(new QRadioButton(RDLocalize::text(QStringLiteral("Stop")), this))
    , m_ok(new QPushButton(RDLocalize::text(QStringLiteral("Ok")), this))
    , m_cancel(new QPushButton(RDLocalize::text(QStringLiteral("Cancel")), this))
{
    setWindowTitle(RDLocalize::text(QStringLiteral("Time Event")));
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    m_time->setTime(QTime::currentTime());
    m_group->addButton(m_start, 0);
    m_group->addButton(m_stop, 1);
    m_start->setIcon(QIcon(QStringLiteral(":/resources/play_gray.svg")));
    m_stop->setIcon(QIcon(QStringLiteral(":/resources/pause_gray.svg")));
    m_start->setIconSize(QSize(20, 20));
    m_stop->setIconSize(QSize(20, 20));
    m_start->setChecked(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumSize(300, 200);
    resize(300, 200);
}

void RTPOperatorEventDialog::setOperation(const RDGroupScheduleOperation &operation)
{
    const bool start = operation.action.compare(QLatin1String("start"), Qt::CaseInsensitive) == 0;
    (start ? m_start : m_stop)->setChecked(true);
    m_time->setTime(QTime::fromString(operation.time, QStringLiteral("HH:mm")));
}

RDGroupScheduleOperation RTPOperatorEventDialog::operation() const
{
    RDGroupScheduleOperation operation;
    operation.time = m_time->text();
    operation.action = m_group->checkedId() == 0 ? QStringLiteral("start") : QStringLiteral("stop");
    return operation;
}

void RTPOperatorEventDialog::resizeEvent(QResizeEvent *)
{
    const int w = width();
    const int h = height();
    m_label->adjustSize();
    m_label->setGeometry(10, 10, m_label->width(), 20);
    m_time->setGeometry(m_label->geometry().right() + 10, 10, 100, 20);
    m_start->setGeometry(10, 40, w - 20, 30);
    m_stop->setGeometry(10, 70, w - 20, 30);
    const int half = w / 2;
    const int okWidth = qMax(100, m_ok->sizeHint().width());
    const int cancelWidth = qMax(100, m_cancel->sizeHint().width());
    m_ok->setGeometry((half - okWidth) / 2, h - 50, okWidth, 30);
    m_cancel->setGeometry(half + (half - cancelWidth) / 2, h - 50, cancelWidth, 30);
}
