#pragma once

#include "RDWidget.h"

class RDPixmapButton;

// The row under a media list with the button that adds files.
class RDFileListTailWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDFileListTailWidget(QWidget *parent = nullptr);

    RDPixmapButton *addButton() const { return m_add; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    RDPixmapButton *m_add;
};
