#include "DialogScript.h"

#include "RDModal.h"

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace PaUiTest {

void answerDialog(const char *className, const std::function<void(QDialog *)> &steps)
{
    RDModal::Answer a;
    a.kind = QStringLiteral("dialog:") + QLatin1String(className);
    a.realExec = true;
    a.action = [steps](QObject *dialog) {
        auto *d = static_cast<QDialog *>(dialog);
        steps(d);
        if (d->isVisible())
            d->reject();
    };
    RDModal::queue(a);
}

void typeInto(QDialog *dialog, const char *edit, const QString &text)
{
    auto *e = dialog->findChild<QLineEdit *>(QLatin1String(edit));
    ASSERT_NE(e, nullptr) << edit;
    e->selectAll();
    QTest::keyClicks(e, text);
}

} // namespace PaUiTest
