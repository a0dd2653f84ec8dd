#pragma once

#include "RDWidget.h"

// An image drawn over the whole button, from the image cache at the drawing
// width (0 = the image's own). Every mouse release emits clicked().
class RDPixmapButton : public RDWidget
{
    Q_OBJECT
public:
    explicit RDPixmapButton(QWidget *parent = nullptr);

    void setPixmap(const QString &path, int width);
    QString pixmapPath() const { return m_path; }
    QSize sizeHint() const override;

    // The hint of an image button: drawing width wide, image aspect kept.
    static QSize pixmapSizeHint(const QString &path, int width);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_path;
    int m_width = 0;
};
