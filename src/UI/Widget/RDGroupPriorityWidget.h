#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class QComboBox;
class RDLabel;
class RDPixmapWidget;

// The zone editors' priority row: "1" to "9" shown, 0 to 8 stored.
class RDGroupPriorityWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupPriorityWidget(QWidget *parent = nullptr);

    int priority() const;
    // Selects the item of `priority`; out of range keeps the current one.
    void setPriority(int priority);

    QComboBox *comboBox() const { return m_combo; }

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapWidget *m_icon;
    RDLabel *m_label;
    QComboBox *m_combo;
};
