#pragma once

#include "RDWidget.h"

// An image button with a normal and a checked image. The owner sets the
// checked state; clicks do not toggle it. A release on an enabled button
// emits clicked().
class RDPixmapsButton : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPixmapsButton(QWidget *parent = nullptr);

    // Stored without a repaint; the next paint shows them.
    void setPixmaps(const QString &normalPath, const QString &checkedPath, int width);
    void setChecked(bool checked);
    bool isChecked() const { return m_checked; }
    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_normalPath;
    QString m_checkedPath;
    int m_width = 0;
    bool m_checked = false;
};
