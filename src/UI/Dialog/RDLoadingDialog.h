#pragma once

#include "RDLocalize.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;

// Shown while the switch starts: closes by itself once the switch manager
// reports the switch ready (accepted), or when the operator leaves with
// "Exit" (rejected). A switch that never comes up keeps it waiting; the
// operator can still leave.
class RDLoadingDialog : public QDialog, public RDLocalize
{
    Q_OBJECT
public:
    // `isReady` is asked every 200 ms; by default the switch manager's state.
    explicit RDLoadingDialog(QWidget *parent = nullptr, std::function<bool()> isReady = {});
    ~RDLoadingDialog() override;

    void languageChanged() override;

private:
    void poll();

    std::function<bool()> m_isReady;
    QLabel *m_text;
    QPushButton *m_exit;
    QTimer *m_timer;
};
