#pragma once

#include <QPixmap>
#include <QWidget>

// Shows one pixmap stretched over the whole widget; a press on an enabled
// widget emits clicked().
class RDPixmapWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RDPixmapWidget(QWidget *parent = nullptr);

    void setPixmap(const QPixmap &pixmap);
    QPixmap pixmap() const { return m_pixmap; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPixmap m_pixmap;
};
