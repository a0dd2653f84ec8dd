#pragma once

#include "RDDialogButton.h"

#include <QPixmap>
#include <QString>

// A button of the main window's header bar: a 20 px image and a text on a
// background that darkens while the mouse is over it. Hover and clicked()
// come from the title-bar button it extends.
class RDHomeHeaderButton : public RDDialogButton
{
    Q_OBJECT
public:
    explicit RDHomeHeaderButton(QWidget *parent = nullptr);

    void setImage(const QPixmap &image);
    void setText(const QString &text);
    QString text() const { return m_text; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_image;
    QString m_text;
};
