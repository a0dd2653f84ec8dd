#pragma once

#include "RDWidget.h"

#include <QColor>
#include <QString>

// Text widget of the kit, label and flat button in one: paints its
// background, then the text in its margins; any mouse press on an enabled
// label emits clicked().
class RDLabel : public RDWidget
{
    Q_OBJECT
public:
    explicit RDLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setTextColor(const QColor &color);
    QColor textColor() const { return m_textColor; }
    void setAlignment(int flags) { m_alignment = flags; }
    int alignment() const { return m_alignment; }
    void setMargins(int left, int top, int right, int bottom);
    QMargins margins() const { return QMargins(m_left, m_top, m_right, m_bottom); }

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_textColor;
    int m_alignment = Qt::AlignCenter;
    QString m_text;
    int m_left = 0;
    int m_right = 0;
    int m_top = 0;
    int m_bottom = 0;
};
