#pragma once

#include "RDWidget.h"

// A clickable list row that lights up under the mouse pointer.
class RDHoverRowWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDHoverRowWidget(QWidget *parent = nullptr);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
