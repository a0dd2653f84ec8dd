#pragma once

#include "RDBaseDialog.h"

#include <QVector>

class QLineEdit;
class RDLabel;

// The common form of the device dialogs: an optional hint line, rows of a
// label and an edit, and OK and Cancel under them. Return in an edit moves
// to the next one and runs the OK action in the last. OK is enabled while
// canAccept() holds, checked on each text change of the edits that take part.
class RDDeviceFormDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit RDDeviceFormDialog(QWidget *parent = nullptr);
    ~RDDeviceFormDialog() override;

    RDLabel *okButton() const { return m_ok; }
    RDLabel *cancelButton() const { return m_cancel; }

    void languageChanged() override;

    // A SIP number edit: at most 4 characters, 6000..6999 while typing.
    static void setupNumberEdit(QLineEdit *edit);
    // Whether `number` is a device number: exactly 4 characters, 6000..6999.
    static bool isDeviceNumber(const QString &number);

protected:
    RDLabel *addHint();
    QLineEdit *addRow(const QString &objectName, int maxLength, bool drivesOk);
    RDLabel *rowLabel(int row) const { return m_labels.value(row); }
    QLineEdit *rowEdit(int row) const { return m_edits.value(row); }
    void setLeftAlignedLabels(bool left);
    // The edits Return walks through, in order (default: row order); Return
    // in the last runs the OK action.
    void setReturnOrder(const QVector<QLineEdit *> &order) { m_returnOrder = order; }
    // The message under the form, translated.
    void showMessage(const QString &key);
    void updateOkEnabled();

    virtual bool canAccept() const = 0;
    virtual void okAction() = 0;

    void relayoutContents(int width, int height) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    RDLabel *m_hint = nullptr;
    QVector<RDLabel *> m_labels;
    QVector<QLineEdit *> m_edits;
    QVector<QLineEdit *> m_returnOrder;
    RDLabel *m_ok;
    RDLabel *m_cancel;
};
