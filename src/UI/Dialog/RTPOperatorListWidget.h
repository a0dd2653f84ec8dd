#pragma once

#include "RDGroupScheduleOperation.h"

#include <QFrame>
#include <QVector>

class QTableWidget;
class RTPOperatorDeleteWidget;
class RTPOperatorEditWidget;

// The timed start and stop operations of a zone's schedule, kept sorted by
// time (a start before a stop at the same minute), one table row each with
// its action, edit and delete cells.
class RTPOperatorListWidget : public QFrame
{
    Q_OBJECT
public:
    explicit RTPOperatorListWidget(QWidget *parent = nullptr);

    void setOperations(const QVector<RDGroupScheduleOperation> &operations);
    // Inserts before the first operation the new one does not exceed.
    void insertOperation(const RDGroupScheduleOperation &operation);
    QVector<RDGroupScheduleOperation> operations() const { return m_operations; }
    // The table shows the operations (a cell's click rebuilds it just after).
    bool isRebuildPending() const { return m_rebuildPending; }
    QTableWidget *table() const { return m_table; }

signals:
    void clickAddOperator();

public slots:
    void onClickDeleteWidget(RTPOperatorDeleteWidget *deleteWidget);
    void onClickEditWidget(RTPOperatorEditWidget *editWidget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void rebuildLater();
    void insertSorted(const RDGroupScheduleOperation &operation);

    QVector<RDGroupScheduleOperation> m_operations;
    QTableWidget *m_table;
    bool m_rebuildPending = false;
};
