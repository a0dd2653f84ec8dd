#pragma once

#include <QString>

#include <functional>

class QDialog;

// Scripting the program's own dialogs in screen tests.
namespace PaUiTest {

// Queues a real run of the next modal dialog of class `className`, worked by
// `steps`; a dialog `steps` leaves open is rejected.
void answerDialog(const char *className, const std::function<void(QDialog *)> &steps);

// Types `text` over the line edit named `edit` of `dialog`, as the operator
// would (a test failure when there is no such edit).
void typeInto(QDialog *dialog, const char *edit, const QString &text);

} // namespace PaUiTest
