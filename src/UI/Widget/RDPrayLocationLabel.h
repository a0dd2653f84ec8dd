#pragma once

#include "RDWidget.h"

class RDLabel;

// A framed box showing the prayer location, or a grey placeholder while the
// location is empty. A click (on release) asks to edit it.
class RDPrayLocationLabel : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPrayLocationLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return m_placeholder; }
    RDLabel *label() const { return m_label; }

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void refresh();

    QString m_text;
    QString m_placeholder;
    RDLabel *m_label;
};
