#include "PALogsView.h"

#include "PALogDB.h"
#include "RDLocalize.h"
#include "RDPagingIndicateView.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QTableWidget>

PALogsView::PALogsView(QWidget *parent)
    : RDWidget(parent)
    , m_table(new QTableWidget(this))
    , m_pagingView(new RDPagingIndicateView(this))
{
    m_table->horizontalHeader()->setStyleSheet(QStringLiteral(
        "QHeaderView::section{border-top:1px solid #FF888888;border-left:0.5px solid #FF888888;"
        "border-right:0.5px solid #FF888888;border-bottom:1px solid #FF888888;background-color:#00FFFFFF;}"));
    connect(m_pagingView, &RDPagingIndicateView::currentPageChanged, this, &PALogsView::showPage,
            Qt::QueuedConnection);
    showRecords({});
}

PALogsView::~PALogsView() = default;

void PALogsView::setFilter(const QString &conference, const QString &startTime, const QString &endTime)
{
    m_conference = conference;
    m_startTime = startTime;
    m_endTime = endTime;
}

void PALogsView::refresh()
{
    QVector<PALogRecord> records;
    {
        PALogDB db(true);
        m_total = db.countLogs(m_conference, m_startTime, m_endTime);
        records = db.selectLogs(0, pageSize, m_conference, m_startTime, m_endTime, m_total);
    }
    // A new search starts on its first page, whatever page the last one was on.
    m_pagingView->setCurrentPage(0);
    showRecords(records);
}

void PALogsView::showPage(int page)
{
    QVector<PALogRecord> records;
    {
        PALogDB db(true);
        records = db.selectLogs(page * pageSize, pageSize, m_conference, m_startTime, m_endTime, m_total);
    }
    showRecords(records);
}

void PALogsView::showRecords(const QVector<PALogRecord> &records)
{
    m_pagingView->setItemCount(m_total < 1 ? 0 : m_total, pageSize);

    m_table->clear();
    m_table->setColumnCount(5);
    m_table->setRowCount(records.size());
    m_table->setHorizontalHeaderLabels({RDLocalize::text(QStringLiteral("Group")),
                                        RDLocalize::text(QStringLiteral("Action")),
                                        RDLocalize::text(QStringLiteral("Source")),
                                        RDLocalize::text(QStringLiteral("Type")),
                                        RDLocalize::text(QStringLiteral("DateTime"))});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < records.size(); ++row) {
        const PALogRecord &record = records.at(row);
        const QString cells[] = {record.groupConference, actionText(record.action), sourceText(record.source),
                                 typeText(record.action, record.type), record.dateTime};
        for (int column = 0; column < 5; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_table->setItem(row, column, item);
        }
    }
}

namespace {

// The translated word paired with `value` in `words`; empty for any other value.
template <size_t N>
QString wordFor(const char *const (&words)[N][2], const QString &value)
{
    for (const auto &word : words) {
        if (value == QLatin1String(word[0]))
            return RDLocalize::text(QLatin1String(word[1]));
    }
    return QString();
}

} // namespace

QString PALogsView::actionText(const QString &action)
{
    static const char *const words[][2] = {
        {"start", "Start"}, {"stop", "Stop"}, {"app talk", "APP Talk"}, {"app listen", "APP Listen"}};
    return wordFor(words, action);
}

QString PALogsView::sourceText(const QString &source)
{
    static const char *const words[][2] = {
        {"media", "Medium"}, {"device", "Sound Device"}, {"stream", "Live Radio"}, {"pray", "Pray"}};
    return wordFor(words, source);
}

QString PALogsView::typeText(const QString &action, const QString &type)
{
    struct Word
    {
        const char *type;
        const char *shown;
        bool translated;
    };
    // How a zone was started, and what ended or changed it otherwise.
    static const Word startWords[] = {
        {"user", "Manual", true},         {"http", "HTTP", false},
        {"schedule", "Schedule", true},   {"call conference", "Call Conference", true},
        {"sipTrunk", "SIP Trunk", true},  {"pray", "Pray", true},
        {"api", "API", true},
    };
    static const Word otherWords[] = {
        {"user", "Manual", true},         {"media", "Play Ended", true},
        {"schedule", "Schedule", true},   {"internal", "Call Ended", false},
        {"external", "Call Ended", true}, {"http", "HTTP", false},
        {"api", "API", false},
    };
    const bool start = action == QLatin1String("start");
    const Word *begin = start ? std::begin(startWords) : std::begin(otherWords);
    const Word *end = start ? std::end(startWords) : std::end(otherWords);
    for (const Word *word = begin; word != end; ++word) {
        if (type == QLatin1String(word->type)) {
            const QString shown = QLatin1String(word->shown);
            return word->translated ? RDLocalize::text(shown) : shown;
        }
    }
    return QString();
}

void PALogsView::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int pagingY = h - m_pagingView->height() - 10;
    m_pagingView->setGeometry(0, pagingY, w, 30);
    m_table->setGeometry(0, 0, w, qMax(0, m_pagingView->y() - 10));
}
