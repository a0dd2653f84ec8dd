#pragma once

#include "RDDialog.h"
#include "RDLocalize.h"

#include <QString>
#include <QTimer>

class RDLabel;
class RDPixmapWidget;

// Shows one QR code large enough to scan, with its text under it. The code
// is drawn again one second after the last resize.
class RDQRCodeDialog : public RDDialog, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDQRCodeDialog(QWidget *parent = nullptr);
    ~RDQRCodeDialog() override;

    // Sets what the code holds and the caption, lays out and draws.
    void setCode(const QString &qrText, const QString &caption);
    QString qrText() const { return m_qrText; }
    QString captionText() const { return m_captionText; }
    RDPixmapWidget *imageWidget() const { return m_image; }
    bool isRedrawPending() const { return m_timer.isActive(); }

public slots:
    void updateQRCodeImage();

protected:
    void resizeEvent(QResizeEvent *event) override;
    QString modalText() const override { return m_captionText; }

private:
    void relayout();

    QString m_qrText;
    QString m_captionText;
    RDPixmapWidget *m_image;
    RDLabel *m_caption;
    QTimer m_timer;
};
