#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class RDLabel;

// Column captions over a zone's media list.
class RDFileListHeaderWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDFileListHeaderWidget(QWidget *parent = nullptr);

    void languageChanged() override;

    // The name and duration columns of the header and of every row.
    static void layoutColumns(QWidget *name, QWidget *duration, int width, int height);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDLabel *m_name;
    RDLabel *m_duration;
};
