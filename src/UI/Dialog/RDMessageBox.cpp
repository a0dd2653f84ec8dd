#include "RDMessageBox.h"

#include "RDModal.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

QMessageBox::StandardButton messageBox(QMessageBox::Icon icon, const QString &kind, const QString &message,
                                       const QString &yesText, const QString &noText,
                                       QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, QCoreApplication::applicationName(), message, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    if (!yesText.isEmpty())
        box.addButton(QMessageBox::Yes)->setText(yesText);
    if (!noText.isEmpty())
        box.addButton(QMessageBox::No)->setText(noText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    const int result = RDModal::run(kind, message, defaultButton, [&box] {
        if (box.exec() == -1)
            return int(QMessageBox::Cancel);
        return int(box.standardButton(box.clickedButton()));
    }, &box);
    return static_cast<QMessageBox::StandardButton>(result);
}

} // namespace

QMessageBox::StandardButton informationBox(const QString &message, const QString &yesText, const QString &noText)
{
    return messageBox(QMessageBox::Information, QStringLiteral("information"), message, yesText, noText,
                      !yesText.isEmpty() ? QMessageBox::Yes : QMessageBox::No);
}

QMessageBox::StandardButton warningBox(const QString &message, const QString &yesText, const QString &noText)
{
    return messageBox(QMessageBox::Warning, QStringLiteral("warning"), message, yesText, noText,
                      !noText.isEmpty() ? QMessageBox::No : QMessageBox::Yes);
}
