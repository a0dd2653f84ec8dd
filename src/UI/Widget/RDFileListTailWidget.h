#pragma once

#include "RDHoverRowWidget.h"

class RDPixmapButton;

// The row under a media list with the button that adds files.
class RDFileListTailWidget : public RDHoverRowWidget
{
    Q_OBJECT
public:
    explicit RDFileListTailWidget(QWidget *parent = nullptr);

    RDPixmapButton *addButton() const { return m_add; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapButton *m_add;
};
