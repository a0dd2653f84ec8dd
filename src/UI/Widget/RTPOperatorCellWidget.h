#pragma once

#include "RDGroupScheduleOperation.h"

#include <QWidget>

// A cell of one schedule row: one button of a fixed size, centred, with a
// copy of the row's operation and the row's index (-1 when not given).
class RTPOperatorCellWidget : public QWidget
{
    Q_OBJECT
public:
    RDGroupScheduleOperation operation() const { return m_operation; }
    int row() const { return m_row; }

protected:
    RTPOperatorCellWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent);
    // Takes the cell's button (a child of this cell) at `size` x `size`.
    void setButton(QWidget *button, int size);

    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *m_button = nullptr;
    RDGroupScheduleOperation m_operation;
    int m_row = -1;
};
