#pragma once

#include "RTPOperatorCellWidget.h"

class RDPixmapButton;

// Edit cell of one schedule row.
class RTPOperatorEditWidget : public RTPOperatorCellWidget
{
    Q_OBJECT
public:
    RTPOperatorEditWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent = nullptr);

    RDPixmapButton *button() const { return m_button; }

signals:
    void clickEditWidget(RTPOperatorEditWidget *editWidget);

private:
    RDPixmapButton *m_button;
};
