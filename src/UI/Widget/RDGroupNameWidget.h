#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class QLineEdit;
class RDLabel;
class RDPixmapWidget;

// The zone editors' name row: an icon, the label and the name edit (at most
// 100 characters).
class RDGroupNameWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupNameWidget(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

    RDLabel *label() const { return m_label; }
    QLineEdit *edit() const { return m_edit; }

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapWidget *m_icon;
    RDLabel *m_label;
    QLineEdit *m_edit;
};
