#include "RDGroupBackgroundDialog.h"

#include "FSManager.h"
#include "RDConfigure.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDOnvifDeviceSearchDialog.h"
#include "RDOnvifListItemWidget.h"
#include "RDOnvifListWidget.h"
#include "RDPixmapButton.h"
#include "RDPixmapsButton.h"
#include "RDStreamDialog.h"
#include "RDWidget.h"
#include "RDWidgetStyle.h"

#include <QLineEdit>
#include <QUrl>

namespace {

const QColor kThemeGreen(53, 141, 0);

RDLabel *makeLabel(QWidget *parent, const QColor &colour = QColor(0, 0, 0))
{
    auto *label = new RDLabel(parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextColor(colour);
    return label;
}

RDLabel *makeButton(QWidget *parent)
{
    auto *button = new RDLabel(parent);
    button->setAlignment(Qt::AlignCenter);
    applyPrimaryButtonStyle(button);
    return button;
}

RDPixmapsButton *makeSelector(QWidget *parent)
{
    auto *selector = new RDPixmapsButton(parent);
    selector->setPixmaps(QStringLiteral(":/resources/point_normal.png"), QStringLiteral(":/resources/point_selected.png"),
                         18);
    return selector;
}

// User info with every character outside the unreserved set encoded.
QString encodeUserInfo(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

RDGroupBackgroundDialog::RDGroupBackgroundDialog(QWidget *parent)
    : RDFullDialog(parent)
    , m_defaultSelector(makeSelector(body()))
    , m_defaultLabel(makeLabel(body()))
    , m_imageSelector(makeSelector(body()))
    , m_imageLabel(makeLabel(body()))
    , m_imageEdit(new QLineEdit(body()))
    , m_imageButton(makeButton(body()))
    , m_videoSelector(makeSelector(body()))
    , m_videoLabel(makeLabel(body()))
    , m_mainLabel(makeLabel(body()))
    , m_mainEdit(new QLineEdit(body()))
    , m_mainPlay(makeButton(body()))
    , m_subLabel(makeLabel(body()))
    , m_subEdit(new QLineEdit(body()))
    , m_subPlay(makeButton(body()))
    , m_cameraBar(new RDWidget(body()))
    , m_cameraLabel(makeLabel(m_cameraBar, QColor(255, 255, 255)))
    , m_searchButton(new RDPixmapButton(m_cameraBar))
    , m_usernameLabel(makeLabel(body()))
    , m_usernameEdit(new QLineEdit(body()))
    , m_passwordLabel(makeLabel(body()))
    , m_passwordEdit(new QLineEdit(body()))
    , m_list(new RDOnvifListWidget(body()))
    , m_ok(makeButton(body()))
    , m_cancel(makeButton(body()))
{
    m_cameraBar->setBackgroundColor(kThemeGreen);
    m_searchButton->setPixmap(QStringLiteral(":/resources/search_white.png"), 20);
    m_searchButton->setCursor(Qt::PointingHandCursor);

    connect(m_defaultSelector, &RDPixmapsButton::clicked, this, &RDGroupBackgroundDialog::onDefaultClicked);
    connect(m_imageSelector, &RDPixmapsButton::clicked, this, &RDGroupBackgroundDialog::onImageClicked);
    connect(m_videoSelector, &RDPixmapsButton::clicked, this, &RDGroupBackgroundDialog::onVideoClicked);
    connect(m_imageButton, &RDLabel::clicked, this, &RDGroupBackgroundDialog::onClickImageButton);
    connect(m_mainPlay, &RDLabel::clicked, this, &RDGroupBackgroundDialog::onClickMainStreamPlayButton);
    connect(m_subPlay, &RDLabel::clicked, this, &RDGroupBackgroundDialog::onClickSubStreamPlayButton);
    connect(m_searchButton, &RDPixmapButton::clicked, this, &RDGroupBackgroundDialog::onClickOnvifSearchButton);
    connect(m_list, &RDOnvifListWidget::clickItemWidget, this, &RDGroupBackgroundDialog::onClickItemWidget);
    connect(m_ok, &RDLabel::clicked, this, &RDGroupBackgroundDialog::onClickOKButton);
    connect(m_cancel, &RDLabel::clicked, this, &RDGroupBackgroundDialog::onClickCancelButton);

    RDConfigure conf;
    m_usernameEdit->setText(conf.onvifUsername());
    m_passwordEdit->setText(conf.onvifPassword());

    setMinimumSize(800, 800);
    resize(800, 800);
    RDGroupBackgroundDialog::languageChanged();
    setBackgroundType(QStringLiteral("video"));
}

RDGroupBackgroundDialog::~RDGroupBackgroundDialog() = default;

void RDGroupBackgroundDialog::languageChanged()
{
    RDFullDialog::languageChanged();
    m_defaultLabel->setText(RDLocalize::text(QStringLiteral("Default")));
    m_imageLabel->setText(RDLocalize::text(QStringLiteral("Image")));
    m_imageEdit->setPlaceholderText(RDLocalize::text(QStringLiteral("Please select background image")));
    m_imageButton->setText(RDLocalize::text(QStringLiteral("Select")));
    m_videoLabel->setText(RDLocalize::text(QStringLiteral("Video")));
    m_mainLabel->setText(RDLocalize::text(QStringLiteral("Main Stream")));
    m_mainPlay->setText(RDLocalize::text(QStringLiteral("Play")));
    m_subLabel->setText(RDLocalize::text(QStringLiteral("Sub Stream")));
    m_subPlay->setText(RDLocalize::text(QStringLiteral("Play")));
    m_cameraLabel->setText(RDLocalize::text(QStringLiteral("Onvif Devices")));
    m_usernameLabel->setText(RDLocalize::text(QStringLiteral("Username")));
    m_passwordLabel->setText(RDLocalize::text(QStringLiteral("Password")));
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
    m_cancel->setText(RDLocalize::text(QStringLiteral("Cancel")));
    relayoutContents(body()->width(), body()->height());
}

void RDGroupBackgroundDialog::setBackground(const QString &type, const QString &imagePath, const QString &mainStream,
                                            const QString &subStream)
{
    setBackgroundType(type);
    m_imageEdit->setText(imagePath);
    m_mainEdit->setText(mainStream);
    m_subEdit->setText(subStream);
}

void RDGroupBackgroundDialog::setBackgroundType(const QString &type)
{
    const bool image = type.compare(QLatin1String("image"), Qt::CaseInsensitive) == 0;
    const bool video = type.compare(QLatin1String("video"), Qt::CaseInsensitive) == 0;
    const bool byDefault = !image && !video;
    m_defaultSelector->setChecked(byDefault);
    m_imageSelector->setChecked(image);
    m_videoSelector->setChecked(video);
    m_defaultLabel->setEnabled(byDefault);
    for (QWidget *w : std::initializer_list<QWidget *>{m_imageLabel, m_imageEdit, m_imageButton})
        w->setEnabled(image);
    for (QWidget *w : std::initializer_list<QWidget *>{m_videoLabel, m_mainLabel, m_mainEdit, m_mainPlay, m_subLabel,
                                                       m_subEdit, m_subPlay, m_cameraBar, m_cameraLabel,
                                                       m_searchButton, m_usernameLabel, m_usernameEdit,
                                                       m_passwordLabel, m_passwordEdit, m_list})
        w->setEnabled(video);
}

QString RDGroupBackgroundDialog::backgroundType() const
{
    if (m_imageSelector->isChecked())
        return QStringLiteral("image");
    if (m_videoSelector->isChecked())
        return QStringLiteral("video");
    return QStringLiteral("default");
}

QString RDGroupBackgroundDialog::imagePath() const
{
    return m_imageEdit->text();
}

QString RDGroupBackgroundDialog::mainStream() const
{
    return m_mainEdit->text();
}

QString RDGroupBackgroundDialog::subStream() const
{
    return m_subEdit->text();
}

void RDGroupBackgroundDialog::onDefaultClicked()
{
    setBackgroundType(QStringLiteral("default"));
}

void RDGroupBackgroundDialog::onImageClicked()
{
    setBackgroundType(QStringLiteral("image"));
}

void RDGroupBackgroundDialog::onVideoClicked()
{
    setBackgroundType(QStringLiteral("video"));
}

void RDGroupBackgroundDialog::onClickImageButton()
{
    const QString path = RDModal::getOpenFileName(nullptr, QString(), QString(),
                                                  QStringLiteral("*.png *.jpg *.jpeg *.PNG *.JPG *.JPEG"));
    if (!path.isEmpty())
        m_imageEdit->setText(path);
}

void RDGroupBackgroundDialog::playStream(const QString &url, const QString &emptyToast)
{
    if (url.isEmpty()) {
        showToast(RDLocalize::text(emptyToast), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
        return;
    }
    RDStreamDialog dialog(this);
    dialog.play(url);
    dialog.exec();
}

void RDGroupBackgroundDialog::onClickMainStreamPlayButton()
{
    playStream(m_mainEdit->text(), QStringLiteral("Please Input Main Stream"));
}

void RDGroupBackgroundDialog::onClickSubStreamPlayButton()
{
    playStream(m_subEdit->text(), QStringLiteral("Please Input Sub Stream"));
}

void RDGroupBackgroundDialog::onClickOnvifSearchButton()
{
    FSManager *manager = FSManager::instance();
    const QString ip = manager ? manager->internalIp() : QString();
    const QString username = m_usernameEdit->text();
    const QString password = m_passwordEdit->text();
    if (username.isEmpty()) {
        showToast(RDLocalize::text(QStringLiteral("Please input username")), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
        return;
    }
    if (password.isEmpty()) {
        showToast(RDLocalize::text(QStringLiteral("Please input password")), Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
        return;
    }
    RDConfigure conf;
    conf.setOnvifUsername(username);
    conf.setOnvifPassword(password);

    RDOnvifDeviceSearchDialog dialog(this);
    dialog.setSearch(ip, username, password);
    dialog.startWork();
    if (dialog.exec() != 1)
        return;
    const QVector<QOnvifDevice> devices = dialog.devices();
    m_list->setDevices(devices);
    // A camera that refused or garbled its answers is listed with what it
    // gave; the operator is told why its streams are missing.
    for (const QOnvifDevice &device : devices) {
        if (!device.errorString().isEmpty()) {
            showToast(QStringLiteral("%1: %2 (%3)")
                          .arg(RDLocalize::text(QStringLiteral("Camera Query Failure")), device.address(),
                               device.errorString()),
                      Qt::AlignHCenter | Qt::AlignBottom, 5, 5);
            break;
        }
    }
}

void RDGroupBackgroundDialog::onClickItemWidget(RDOnvifListItemWidget *widget)
{
    m_list->setCurrentItem(widget);
    const QOnvifDevice device = widget->device();
    const QVector<QOnvifDeviceProfile> &profiles = device.profiles();
    m_mainEdit->setText(profiles.size() > 0 ? getVideoUrl(device.username(), device.password(), profiles.at(0))
                                            : QString());
    m_subEdit->setText(profiles.size() > 1 ? getVideoUrl(device.username(), device.password(), profiles.at(1))
                                           : QString());
    m_mainEdit->setSelection(0, 0);
    m_subEdit->setSelection(0, 0);
}

QString RDGroupBackgroundDialog::getVideoUrl(QString username, QString password, QOnvifDeviceProfile profile)
{
    const QString uri = profile.uri();
    if (uri.isEmpty())
        return QString();
    if (username.isEmpty() || password.isEmpty())
        return uri;
    QString scheme;
    for (const char *candidate : {"rtsp://", "http://", "https://"}) {
        if (uri.startsWith(QLatin1String(candidate))) {
            scheme = QLatin1String(candidate);
            break;
        }
    }
    if (scheme.isEmpty())
        return uri;
    const QString prefix = QStringLiteral("%1%2:%3@").arg(scheme, encodeUserInfo(username), encodeUserInfo(password));
    if (uri.startsWith(prefix))
        return uri;
    return prefix + uri.mid(scheme.size());
}

void RDGroupBackgroundDialog::onClickOKButton()
{
    accept();
}

void RDGroupBackgroundDialog::onClickCancelButton()
{
    reject();
}

void RDGroupBackgroundDialog::relayoutContents(int width, int height)
{
    RDFullDialog::relayoutContents(width, height);
    const int labelWidth = maxAdjustedWidth(m_mainLabel, m_subLabel, m_usernameLabel, m_passwordLabel);
    int y = 10;
    const auto selectorRow = [&](RDPixmapsButton *selector, RDLabel *label) {
        selector->setGeometry(10, y + 3, 18, 18);
        label->adjustSize();
        label->setGeometry(33, y, qMax(label->width(), 100), 24);
        y += 24 + 10;
    };
    selectorRow(m_defaultSelector, m_defaultLabel);
    selectorRow(m_imageSelector, m_imageLabel);
    m_imageButton->setGeometry(width - 90, y, 80, 24);
    m_imageEdit->setGeometry(10, y, qMax(0, width - 110), 24);
    y += 24 + 10;
    selectorRow(m_videoSelector, m_videoLabel);
    const auto streamRow = [&](RDLabel *label, QLineEdit *edit, RDLabel *play) {
        label->setGeometry(10, y, labelWidth, 24);
        edit->setGeometry(20 + labelWidth, y, qMax(0, width - 110 - (20 + labelWidth)), 24);
        play->setGeometry(width - 90, y, 80, 24);
        y += 24 + 10;
    };
    streamRow(m_mainLabel, m_mainEdit, m_mainPlay);
    streamRow(m_subLabel, m_subEdit, m_subPlay);
    m_usernameLabel->setGeometry(10, y, labelWidth, 25);
    m_usernameEdit->setGeometry(20 + labelWidth, y, 100, 25);
    m_passwordLabel->adjustSize();
    m_passwordLabel->setGeometry(m_usernameEdit->geometry().right() + 21, y, m_passwordLabel->width(), 25);
    m_passwordEdit->setGeometry(m_passwordLabel->geometry().right() + 11, y, 100, 25);
    y += 25 + 10;
    m_cameraBar->setGeometry(2, y, qMax(0, width - 4), 30);
    m_cameraLabel->adjustSize();
    m_cameraLabel->setGeometry(10, 0, m_cameraLabel->width(), 30);
    m_searchButton->setGeometry(m_cameraLabel->geometry().right() + 11, 5, 20, 20);
    y += 30;
    m_list->setGeometry(2, y, qMax(0, width - 4), qMax(0, height - 56 - y));
    m_ok->setGeometry(width / 2 - 110, height - 40, 100, 30);
    m_cancel->setGeometry(width / 2 + 10, height - 40, 100, 30);
}
