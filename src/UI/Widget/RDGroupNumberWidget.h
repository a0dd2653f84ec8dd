#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class QLineEdit;
class RDLabel;
class RDPixmapButton;

// The zone editors' conference number row: a call button, the label and
// the number edit, whose placeholder names the range of numbers.
class RDGroupNumberWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupNumberWidget(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

    RDPixmapButton *callButton() const { return m_call; }
    RDLabel *label() const { return m_label; }
    QLineEdit *edit() const { return m_edit; }

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapButton *m_call;
    RDLabel *m_label;
    QLineEdit *m_edit;
};
