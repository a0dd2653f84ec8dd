#pragma once

#include "RDWidget.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class RDLabel;
struct RDGroup;

// Tab of the zone's outputs: RTP multicast with its address, and the HTTP
// stream with the address it is served at. Stores nothing.
class RDGroupRTPWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDGroupRTPWidget(QWidget *parent = nullptr);

    // Fills the controls from the zone; the stream is served by the program's
    // HTTP server at `host`:`httpPort`.
    void setGroup(const RDGroup &group, const QString &host, int httpPort);
    // Writes the controls into the zone's output fields only.
    void getGroup(RDGroup &group) const;

    QCheckBox *rtpBox() const { return m_rtpBox; }
    QLineEdit *addressEdit() const { return m_address; }
    QCheckBox *httpBox() const { return m_httpBox; }
    RDLabel *streamLabel() const { return m_stream; }

    // Opens a URL with the desktop's handler; tests replace it.
    using UrlOpener = void (*)(const QString &url);
    static void setUrlOpenerForTesting(UrlOpener opener);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setRtpControlsEnabled(bool enabled);
    void setHttpControlsEnabled(bool enabled);
    void onClickStreamLabel();

    QCheckBox *m_rtpBox;
    QLabel *m_rtpLabel;
    QLabel *m_addressLabel;
    QLineEdit *m_address;
    QCheckBox *m_httpBox;
    QLabel *m_httpLabel;
    RDLabel *m_stream;
};
