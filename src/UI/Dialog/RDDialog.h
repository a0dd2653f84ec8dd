#pragma once

#include "RDBackground.h"

#include <QDialog>
#include <QPointer>

class RDLabel;

// Frameless dialog of the kit: paints an RDBackground and can show a toast.
// exec() runs through the kit's modal road, so tests answer it in advance.
class RDDialog : public QDialog, public RDBackground
{
    Q_OBJECT
public:
    explicit RDDialog(QWidget *parent = nullptr);
    ~RDDialog() override;

    // Centres this dialog on `other`'s geometry (size unchanged).
    void centerOn(QWidget *other);
    RDLabel *toastLabel() const;

    int exec() override;

public slots:
    // Any thread; the toast appears on the dialog's thread.
    void showToast(QString message, Qt::Alignment alignment, int marginX, int marginY);
    void showToast(QString message, Qt::Alignment alignment, int marginX);
    void showToast(QString message, Qt::Alignment alignment);
    void showToast(QString message);
    void hideToast();

protected:
    void paintEvent(QPaintEvent *event) override;
    // What a run with nothing to answer it gives where nobody can answer.
    virtual int unattendedResult() const { return QDialog::Rejected; }
    // True for dialogs that end themselves (busy dialogs in front of work):
    // where nobody can answer they still run.
    virtual bool endsByItself() const { return false; }
    // The text a test sees for this run.
    virtual QString modalText() const { return windowTitle(); }
    // The real modal loop, for subclasses that override exec().
    int execDialog();

private:
    QPointer<RDLabel> m_toast;
};
