#pragma once

#include "RDWidget.h"

class RDProgress;

// The busy overlay a dialog lays over its body: transparent, with a 30x30
// dark spinner in the middle. Any key release emits clicked().
class RDDialogLoadingWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDDialogLoadingWidget(QWidget *parent = nullptr);

    RDProgress *spinner() const { return m_spinner; }

signals:
    void clicked();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    RDProgress *m_spinner;
};
