#pragma once

#include <QColor>
#include <QMargins>

class QWidget;
class RDDialogButton;
class RDLabel;
class RDPixmapButton;
class RDWidget;

// The drawn frame the dialog bases share: contents widget with its border,
// title bar (icon, title, minimize, optional maximize, close, title line)
// and the body that screens fill. Widgets are children of the dialog.
class RDDialogFrame
{
public:
    RDDialogFrame(QWidget *dialog, bool withMaximize, const QColor &contentsBackground);

    // Places everything for a w x h dialog; `margin` is the outer margin
    // (0 when maximized), `cm` the dialog's contents margins.
    void relayout(int w, int h, int margin, const QMargins &cm);
    // Title text and button tooltips of the current language.
    void retranslate();
    // The title bar, the icon and the title label: where a press moves the window.
    bool isTitleWidget(const QWidget *widget) const;

    RDWidget *contents;
    RDWidget *body;
    RDWidget *titleBar;
    RDPixmapButton *icon;
    RDLabel *title;
    RDDialogButton *minimize;
    RDDialogButton *maximize; // null for fixed-size dialogs
    RDDialogButton *close;
    RDWidget *titleLine;
};
