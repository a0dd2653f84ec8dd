#pragma once

#include <QScrollArea>

class RDWidget;

// Frameless, transparent scroll area of the file and camera lists; its
// viewport is an RDWidget so that its background can be set.
class RDScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit RDScrollArea(QWidget *parent = nullptr);

    void setBackgroundColor(const QColor &color);
    RDWidget *viewportWidget() const;
};
