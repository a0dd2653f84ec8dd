#include "RDScrollArea.h"

#include "RDWidget.h"

RDScrollArea::RDScrollArea(QWidget *parent)
    : QScrollArea(parent)
{
    setViewport(new RDWidget);
    setFrameStyle(0);
    setWidgetResizable(false);
    setStyleSheet(QStringLiteral("QScrollArea{background-color:transparent;}"));
}

void RDScrollArea::setBackgroundColor(const QColor &color)
{
    viewportWidget()->setBackgroundColor(color);
}

RDWidget *RDScrollArea::viewportWidget() const
{
    return static_cast<RDWidget *>(viewport());
}
