#pragma once

#include <QColor>
#include <QWidget>

// The slider's knob: a filled circle over its whole rectangle.
class RDSliderThumb : public QWidget
{
    Q_OBJECT
public:
    explicit RDSliderThumb(QWidget *parent = nullptr);

    void setColor(const QColor &color);
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color = QColor(48, 144, 234);
};
