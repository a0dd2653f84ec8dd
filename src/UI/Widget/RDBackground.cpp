#include "RDBackground.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// Qt's percent roundness of drawRoundRect, through the current call.
void roundRect(QPainter *p, const QRectF &r, int roundness)
{
    p->drawRoundedRect(r, roundness, roundness, Qt::RelativeSize);
}

void addRing(QPainterPath &path, int W, int H, int b, int c)
{
    if (c != 0) {
        const int d = 2 * c;
        path.moveTo(b + c, b);
        path.arcTo(b, b, d, d, 90, 90);
        path.lineTo(b, H - b - c);
        path.arcTo(b, H - b - d, d, d, 180, 90);
        path.lineTo(W - b - c, H - b);
        path.arcTo(W - b - d, H - b - d, d, d, 270, 90);
        path.lineTo(W - b, b + c);
        path.arcTo(W - b - d, b, d, d, 0, 90);
        path.lineTo(b + c, b);
        path.closeSubpath();
        path.moveTo(c, 0);
        path.arcTo(0, 0, d, d, 90, 90);
        path.lineTo(0, H - c);
        path.arcTo(0, H - d, d, d, 180, 90);
        path.lineTo(W - c, H);
        path.arcTo(W - d, H - d, d, d, 270, 90);
        path.lineTo(W, c);
        path.arcTo(W - d, 0, d, d, 0, 90);
        path.lineTo(c, 0);
        path.closeSubpath();
        return;
    }
    path.moveTo(b, b);
    path.lineTo(W - b, b);
    path.lineTo(W - b, H - b);
    path.lineTo(b, H - b);
    path.closeSubpath();
    path.moveTo(0, 0);
    path.lineTo(W, 0);
    path.lineTo(W, H);
    path.lineTo(0, H);
    path.closeSubpath();
}

} // namespace

void RDBackground::setBorder(int corner, int width, const QColor &color)
{
    m_corner = corner;
    m_borderWidth = width;
    m_borderColor = color;
}

void RDBackground::paint(QPainter *painter, int width, int height)
{
    paintBox(painter, width - 1, height - 1, m_corner, m_borderWidth, m_borderColor, m_backgroundColor, 0);
}

void RDBackground::paintBox(QPainter *p, int W, int H, int corner, int b, const QColor &border,
                            const QColor &background, int outlineInset)
{
    if (background.alpha() != 0) {
        p->save();
        p->setPen(Qt::NoPen);
        p->setBrush(background);
        if (corner != 0) {
            p->setRenderHint(QPainter::Antialiasing, true);
            roundRect(p, QRectF(0, 0, W, H), corner / 2);
        } else {
            p->drawRect(0, 0, W, H);
        }
        p->restore();
    }
    if (b == 0)
        return;
    p->save();
    if (b == 1) {
        p->setPen(QPen(border, 1));
        p->setBrush(Qt::NoBrush);
        const int X = W - outlineInset;
        const int Y = H - outlineInset;
        if (corner != 0) {
            p->setRenderHint(QPainter::Antialiasing, true);
            roundRect(p, QRectF(0, 0, X, Y), corner / 2);
        } else {
            p->drawRect(0, 0, X, Y);
        }
    } else {
        p->setRenderHint(QPainter::Antialiasing, true);
        p->setPen(Qt::NoPen);
        p->setBrush(border);
        QPainterPath path; // odd-even fill: only the ring between the outlines
        addRing(path, W, H, b, corner);
        p->drawPath(path);
    }
    p->restore();
}
