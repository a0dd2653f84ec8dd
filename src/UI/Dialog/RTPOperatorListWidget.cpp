#include "RTPOperatorListWidget.h"

#include "RDDefaultFont.h"
#include "RDLocalize.h"
#include "RTPOperatorDeleteWidget.h"
#include "RTPOperatorEditWidget.h"
#include "RTPOperatorEventDialog.h"
#include "RTPOperatorPlayWidget.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

// Whether `a` comes after `b`: by time text ("HH:mm" orders by time), then
// by action text ("start" before "stop").
bool exceeds(const RDGroupScheduleOperation &a, const RDGroupScheduleOperation &b)
{
    const int byTime = a.time.compare(b.time, Qt::CaseSensitive);
    if (byTime != 0)
        return byTime > 0;
    return a.action.compare(b.action, Qt::CaseSensitive) > 0;
}

QTableWidgetItem *cellItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    if (!text.isEmpty())
        item->setTextAlignment(Qt::AlignCenter);
    return item;
}

} // namespace

RTPOperatorListWidget::RTPOperatorListWidget(QWidget *parent)
    : QFrame(parent)
    , m_table(new QTableWidget(this))
{
    m_table->verticalHeader()->hide();
    rebuild();
}

void RTPOperatorListWidget::setOperations(const QVector<RDGroupScheduleOperation> &operations)
{
    if (&operations != &m_operations)
        m_operations = operations;
    rebuild();
}

void RTPOperatorListWidget::insertOperation(const RDGroupScheduleOperation &operation)
{
    insertSorted(operation);
    rebuild();
}

void RTPOperatorListWidget::insertSorted(const RDGroupScheduleOperation &operation)
{
    int at = m_operations.size();
    for (int i = 0; i < m_operations.size(); ++i) {
        if (!exceeds(operation, m_operations[i])) {
            at = i;
            break;
        }
    }
    m_operations.insert(at, operation);
}

void RTPOperatorListWidget::rebuildLater()
{
    // The cell whose click changed the list is still handling it: the table
    // is rebuilt once that is done, in one go for any number of changes.
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QMetaObject::invokeMethod(this, [this] {
        if (m_rebuildPending)
            rebuild();
    }, Qt::QueuedConnection);
}

void RTPOperatorListWidget::onClickDeleteWidget(RTPOperatorDeleteWidget *deleteWidget)
{
    const int row = deleteWidget->row();
    if (row < 0 || row >= m_operations.size())
        return;
    m_operations.remove(row);
    rebuildLater();
}

void RTPOperatorListWidget::onClickEditWidget(RTPOperatorEditWidget *editWidget)
{
    const RDGroupScheduleOperation old = editWidget->operation();
    const int row = editWidget->row();
    RTPOperatorEventDialog dialog(this);
    dialog.setOperation(old);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const RDGroupScheduleOperation edited = dialog.operation();
    if (edited == old || row < 0 || row >= m_operations.size())
        return;
    m_operations.remove(row);
    insertSorted(edited);
    rebuildLater();
}

void RTPOperatorListWidget::rebuild()
{
    m_rebuildPending = false;
    m_table->clear();
    m_table->setColumnCount(5);
    m_table->setHorizontalHeaderLabels({QStringLiteral("No."), RDLocalize::text(QStringLiteral("Start Time")),
                                        RDLocalize::text(QStringLiteral("Action")),
                                        RDLocalize::text(QStringLiteral("Edit")), QString()});
    m_table->horizontalHeader()->setFont(defaultFont());
    m_table->setRowCount(m_operations.size());
    const int widths[5] = {30, 100, 50, 50, 50};
    for (int c = 0; c < 5; ++c)
        m_table->setColumnWidth(c, widths[c]);
    for (int i = 0; i < m_operations.size(); ++i) {
        const RDGroupScheduleOperation &operation = m_operations[i];
        m_table->setItem(i, 0, cellItem(QStringLiteral("%1").arg(i + 1)));
        m_table->setItem(i, 1, cellItem(operation.time));
        for (int c = 2; c < 5; ++c)
            m_table->setItem(i, c, cellItem(QString()));
        m_table->setCellWidget(i, 2, new RTPOperatorPlayWidget(operation));
        auto *edit = new RTPOperatorEditWidget(operation, i);
        connect(edit, &RTPOperatorEditWidget::clickEditWidget, this, &RTPOperatorListWidget::onClickEditWidget);
        m_table->setCellWidget(i, 3, edit);
        auto *remove = new RTPOperatorDeleteWidget(operation, i);
        connect(remove, &RTPOperatorDeleteWidget::clickDeleteWidget, this,
                &RTPOperatorListWidget::onClickDeleteWidget);
        m_table->setCellWidget(i, 4, remove);
    }
}

void RTPOperatorListWidget::resizeEvent(QResizeEvent *)
{
    m_table->setGeometry(0, 0, width(), height());
}
