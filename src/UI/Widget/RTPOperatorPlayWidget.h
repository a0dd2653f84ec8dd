#pragma once

#include "RTPOperatorCellWidget.h"

class RDPixmapsButton;

// Action cell of one schedule row: a play image for a start, a pause image
// for a stop.
class RTPOperatorPlayWidget : public RTPOperatorCellWidget
{
    Q_OBJECT
public:
    explicit RTPOperatorPlayWidget(const RDGroupScheduleOperation &operation, QWidget *parent = nullptr);

    RDPixmapsButton *button() const { return m_button; }

signals:
    void clickPlayWidget(RTPOperatorPlayWidget *deleteWidget);

private:
    RDPixmapsButton *m_button;
};
