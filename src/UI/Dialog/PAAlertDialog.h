#pragma once

#include "RDBaseDialog.h"

class RDLabel;

// The kit's question box: a one-line message with OK (exec() gives 1) and
// Cancel (0, as does the close button).
//
// Runs go through the kit's modal road: tests answer them in advance with
// setNextAnswer(); where nobody can answer (offscreen, no test script) a
// box is logged and taken as OK.
class PAAlertDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit PAAlertDialog(QWidget *parent = nullptr);
    ~PAAlertDialog() override;

    void setMessage(const QString &message);
    QString message() const;
    void setOkText(const QString &text);
    void setCancelText(const QString &text);
    RDLabel *okButton() const { return m_ok; }
    RDLabel *cancelButton() const { return m_cancel; }
    RDLabel *messageLabel() const { return m_message; }

    // Builds a box without parent, runs it and destroys it.
    static void showMessage(const QString &message);
    // The next box gives `answer` without being shown.
    static void setNextAnswer(int answer);

    void languageChanged() override;

protected:
    void relayoutContents(int width, int height) override;
    int unattendedResult() const override { return QDialog::Accepted; }
    QString modalText() const override;

public:
    int exec() override;

private:
    RDLabel *m_message;
    RDLabel *m_ok;
    RDLabel *m_cancel;
};
