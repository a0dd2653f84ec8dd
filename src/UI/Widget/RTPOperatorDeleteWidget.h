#pragma once

#include "RTPOperatorCellWidget.h"

class RDPixmapButton;

// Delete cell of one schedule row.
class RTPOperatorDeleteWidget : public RTPOperatorCellWidget
{
    Q_OBJECT
public:
    RTPOperatorDeleteWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent = nullptr);

    RDPixmapButton *button() const { return m_button; }

signals:
    void clickDeleteWidget(RTPOperatorDeleteWidget *deleteWidget);

private:
    RDPixmapButton *m_button;
};
