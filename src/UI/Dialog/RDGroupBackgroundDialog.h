#pragma once

#include "QOnvifDeviceProfile.h"
#include "RDFullDialog.h"

class QLineEdit;
class RDLabel;
class RDOnvifListItemWidget;
class RDOnvifListWidget;
class RDPixmapButton;
class RDPixmapsButton;
class RDWidget;

// Chooses a zone tile's background: the default picture, a picture file or
// a camera stream (main and sub address), typed, found by an ONVIF search
// or tried in the stream preview first. The caller stores what it returns.
class RDGroupBackgroundDialog : public RDFullDialog
{
    Q_OBJECT
public:
    explicit RDGroupBackgroundDialog(QWidget *parent = nullptr);
    ~RDGroupBackgroundDialog() override;

    void setBackground(const QString &type, const QString &imagePath, const QString &mainStream,
                       const QString &subStream);
    void setBackgroundType(const QString &type);
    QString backgroundType() const;
    QString imagePath() const;
    QString mainStream() const;
    QString subStream() const;

    // The stream address of `profile` with the user name and password in
    // it, percent-encoded so reserved characters stay inside the user info.
    static QString getVideoUrl(QString username, QString password, QOnvifDeviceProfile profile);

    RDOnvifListWidget *cameraList() const { return m_list; }
    QLineEdit *usernameEdit() const { return m_usernameEdit; }
    QLineEdit *passwordEdit() const { return m_passwordEdit; }
    QLineEdit *mainStreamEdit() const { return m_mainEdit; }
    QLineEdit *subStreamEdit() const { return m_subEdit; }

    void languageChanged() override;

public slots:
    void onClickOnvifSearchButton();
    void onClickMainStreamPlayButton();
    void onClickSubStreamPlayButton();
    void onClickItemWidget(RDOnvifListItemWidget *widget);

protected:
    void relayoutContents(int width, int height) override;

private slots:
    void onDefaultClicked();
    void onImageClicked();
    void onVideoClicked();
    void onClickImageButton();
    void onClickOKButton();
    void onClickCancelButton();

private:
    void playStream(const QString &url, const QString &emptyToast);

    RDPixmapsButton *m_defaultSelector;
    RDLabel *m_defaultLabel;
    RDPixmapsButton *m_imageSelector;
    RDLabel *m_imageLabel;
    QLineEdit *m_imageEdit;
    RDLabel *m_imageButton;
    RDPixmapsButton *m_videoSelector;
    RDLabel *m_videoLabel;
    RDLabel *m_mainLabel;
    QLineEdit *m_mainEdit;
    RDLabel *m_mainPlay;
    RDLabel *m_subLabel;
    QLineEdit *m_subEdit;
    RDLabel *m_subPlay;
    RDWidget *m_cameraBar;
    RDLabel *m_cameraLabel;
    RDPixmapButton *m_searchButton;
    RDLabel *m_usernameLabel;
    QLineEdit *m_usernameEdit;
    RDLabel *m_passwordLabel;
    QLineEdit *m_passwordEdit;
    RDOnvifListWidget *m_list;
    RDLabel *m_ok;
    RDLabel *m_cancel;
};
