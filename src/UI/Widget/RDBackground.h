#pragma once

#include <QColor>

class QPainter;

// Background and border painting shared by RDWidget and the dialog bases
// (which derive from QDialog and carry this as a second base).
//
// Corner value c: 0 draws square corners, anything else rounded ones (fill
// roundness c / 2 in Qt's percent units). Border width b: 0 none, 1 a
// stroked outline one pixel inside, 2 or more a filled ring.
class RDBackground
{
public:
    RDBackground() = default;
    virtual ~RDBackground() = default;

    // Paints within (0, 0, width - 1, height - 1).
    virtual void paint(QPainter *painter, int width, int height);

    void setBackgroundColor(const QColor &color) { m_backgroundColor = color; }
    void setBorder(int corner, int width, const QColor &color);
    int corner() const { return m_corner; }
    int borderWidth() const { return m_borderWidth; }
    QColor borderColor() const { return m_borderColor; }
    QColor backgroundColor() const { return m_backgroundColor; }

    // The drawing shared with RDWidget: fill of W x H, then the border.
    // `outlineInset` is 1 when a 1 px outline must end one pixel short of
    // W and H (a widget's own size), 0 when W and H are already inset.
    static void paintBox(QPainter *painter, int W, int H, int corner, int borderWidth, const QColor &border,
                         const QColor &background, int outlineInset);

private:
    int m_corner = 0;
    int m_borderWidth = 0;
    QColor m_borderColor = QColor(255, 255, 255, 0);
    QColor m_backgroundColor = QColor(255, 255, 255, 0);
};
