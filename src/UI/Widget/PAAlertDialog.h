#pragma once

#include "RDLocalize.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;

// A modal, frameless message box with a message and two buttons: OK accepts
// (exec() returns 1), Cancel rejects (exec() returns 0).
//
// Where nobody can answer a box (the offscreen platform), exec() does not
// block: it logs the message and returns 1, as an operator pressing OK would.
// Tests queue the answers the next boxes give instead.
class PAAlertDialog : public QDialog, public RDLocalize
{
    Q_OBJECT
public:
    explicit PAAlertDialog(QWidget *parent = nullptr);
    ~PAAlertDialog() override;

    void setMessage(const QString &message);
    void setOkText(const QString &text);
    void setCancelText(const QString &text);
    QString message() const;

    int exec() override;
    void languageChanged() override;

    // Builds a box with the text, runs it modally and destroys it.
    static int showMessage(const QString &text);

    // The next boxes answer these values in turn without being shown.
    static void queueAnswersForTesting(const QList<int> &answers);
    // Messages of the boxes run since the last call, in order; clears them.
    static QStringList takeShownMessagesForTesting();

private:
    QLabel *m_message;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    bool m_customOk = false;
    bool m_customCancel = false;
};
