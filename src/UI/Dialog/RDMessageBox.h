#pragma once

#include <QMessageBox>
#include <QString>

// Plain system message boxes whose Yes and No buttons carry the caller's
// texts; an empty text leaves that button out. They return the button
// chosen (Cancel when the box was closed another way). Both run through the
// kit's modal road, kinds "information" and "warning".

// Default button: Yes when it has a text, else No.
QMessageBox::StandardButton informationBox(const QString &message, const QString &yesText, const QString &noText);
// Default button: No when it has a text, else Yes.
QMessageBox::StandardButton warningBox(const QString &message, const QString &yesText, const QString &noText);
