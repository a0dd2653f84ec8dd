#pragma once

#include "RDGroupScheduleOperation.h"

#include <QWidget>

class RDPixmapButton;

// Delete cell of one schedule row.
class RTPOperatorDeleteWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RTPOperatorDeleteWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent = nullptr);

    RDGroupScheduleOperation operation() const { return m_operation; }
    int row() const { return m_row; }
    RDPixmapButton *button() const { return m_button; }

signals:
    void clickDeleteWidget(RTPOperatorDeleteWidget *deleteWidget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapButton *m_button;
    RDGroupScheduleOperation m_operation;
    int m_row = -1;
};
