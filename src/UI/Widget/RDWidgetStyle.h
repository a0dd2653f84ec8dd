#pragma once

#include <QColor>

class QComboBox;
class QWidget;
class RDLabel;

// One look for the platform controls the screens use.

// Pointing hand, theme green background, white text.
void applyPrimaryButtonStyle(RDLabel *button);
// The OK and Cancel of the kit's small dialogs: theme green with a rim of
// the same, white text, pointing hand, at least 120 px wide.
void applyDialogButtonStyle(RDLabel *button);
// Fills the widget's Window role in every colour group and turns on its
// automatic background.
void setBackgroundBrush(QWidget *widget, const QColor &color);
// Flat combo box with a plain list popup and the kit's drop-down arrow.
void applyComboBoxStyle(QComboBox *combo);
// White context menu with grey hover rows.
void applyMenuStyle(QWidget *menu);
// adjustSize() on each widget up to the first null one; the largest width
// (0 for none). Gives a column of labels one width.
int maxAdjustedWidth(QWidget *w1, QWidget *w2 = nullptr, QWidget *w3 = nullptr, QWidget *w4 = nullptr);
