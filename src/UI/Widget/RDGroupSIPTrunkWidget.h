#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

#include <QVector>

class QCheckBox;
class QLabel;
class QLineEdit;
class RDPixmapButton;
struct RDGroup;

// Tab of the zone's SIP trunk: the account the switch registers at an
// outside SIP server, and that registration's state. Stores nothing.
class RDGroupSIPTrunkWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    // The edits top to bottom.
    enum Field { Server, Port, Number, Name, Password, Expire, FieldCount };

    explicit RDGroupSIPTrunkWidget(QWidget *parent = nullptr);

    // Fills the controls from the zone, then asks for the state (requestRefresh).
    void setGroup(const RDGroup &group);
    // Writes the controls into the zone's trunk fields only.
    void getGroup(RDGroup &group) const;

    // Every control but the enable box.
    void setControlsEnabled(bool enabled);
    // "registered", "register fail" or "registering" (any letter case) shown
    // in words; anything else shows nothing.
    void setRegStatus(QString state);

    QCheckBox *enableBox() const { return m_enable; }
    QLineEdit *edit(Field field) const { return m_edits.value(field); }
    QLabel *statusValue() const { return m_status; }
    RDPixmapButton *refreshButton() const { return m_refresh; }

    void languageChanged() override;

signals:
    void requestRefresh();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    QCheckBox *m_enable;
    QLabel *m_enableLabel;
    QLabel *m_statusLabel;
    QLabel *m_status;
    RDPixmapButton *m_refresh;
    QVector<QLabel *> m_labels;
    QVector<QLineEdit *> m_edits;
    // The state last given, so a language change shows it in the new words.
    QString m_state;
};
