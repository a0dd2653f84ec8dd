#pragma once

#include <QColor>
#include <QWidget>

// Root of the kit: a widget that paints its own background and border (see
// RDBackground). A fresh one is transparent and paints nothing.
class RDWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RDWidget(QWidget *parent = nullptr);

    void setBackgroundColor(const QColor &color);
    void setBorder(int corner, int width, const QColor &color);
    int corner() const { return m_corner; }
    int borderWidth() const { return m_borderWidth; }
    QColor borderColor() const { return m_borderColor; }
    QColor backgroundColor() const { return m_backgroundColor; }

protected:
    void paintEvent(QPaintEvent *event) override;
    // The background and border, for subclasses that paint over them.
    void paintBackground(QPainter *painter);

private:
    int m_corner = 0;
    int m_borderWidth = 0;
    QColor m_borderColor = QColor(255, 255, 255, 0);
    QColor m_backgroundColor = QColor(255, 255, 255, 0);
};
