#include "RDConfigure.h"

#include "VelmarDBGuard.h"

namespace {

const QString kLanguage = QStringLiteral("langage");
const QString kRunOnBoot = QStringLiteral("run on boot");
const QString kSipInternalPort = QStringLiteral("sip internal port");
const QString kSipExternalPort = QStringLiteral("sip external port");
const QString kSipCodecs = QStringLiteral("sip codecs");
const QString kRtpStartPort = QStringLiteral("rtp start port");
const QString kRtpEndPort = QStringLiteral("rtp end port");
const QString kWindowsSipPort = QStringLiteral("windows sip port");
const QString kNatEnable = QStringLiteral("nat enable");
const QString kHttpApiEnable = QStringLiteral("http api enable");
const QString kOnvifUsername = QStringLiteral("onvif username");
const QString kOnvifPassword = QStringLiteral("onvif password");
const QString kHttpServerPort = QStringLiteral("http server port");
const QString kSocketServerPort = QStringLiteral("socket server port");
const QString kSipInternalIp = QStringLiteral("sip internal ip");
const QString kSipInternalNetmask = QStringLiteral("sip internal netmask");
const QString kSipExternalIp = QStringLiteral("sip external ip");
const QString kAuthEnable = QStringLiteral("auth enable");
const QString kAuthUsername = QStringLiteral("auth username");
const QString kAuthPassword = QStringLiteral("auth password");
const QString kCallDeviceId = QStringLiteral("call device id");
const QString kCallConferenceId = QStringLiteral("call conference id");
const QString kPrayEnable = QStringLiteral("pray enable");
const QString kWsEnable = QStringLiteral("ws enable");
const QString kWsPort = QStringLiteral("ws port");
const QString kKelCode = QStringLiteral("kelcode");
const QString kKelCodeEnable = QStringLiteral("kelcode enable");

const QString kDefaultCodecs = QStringLiteral("OPUS,G722,PCMU,PCMA");

} // namespace

RDConfigure::RDConfigure() = default;

RDConfigure::~RDConfigure() = default;

void RDConfigure::initDefaults()
{
    static const QVector<QPair<QString, QString>> defaults = {
        {kLanguage, QStringLiteral("English")},
        {kRunOnBoot, QStringLiteral("false")},
        {kSipInternalPort, QStringLiteral("5060")},
        {kSipExternalPort, QStringLiteral("5080")},
        {kSipCodecs, kDefaultCodecs},
        {kRtpStartPort, QStringLiteral("16384")},
        {kRtpEndPort, QStringLiteral("32768")},
        {kWindowsSipPort, QStringLiteral("22000")},
        {kNatEnable, QStringLiteral("false")},
        {kHttpApiEnable, QStringLiteral("false")},
        {kOnvifUsername, QStringLiteral("admin")},
        {kOnvifPassword, QStringLiteral("804271")},
        {kHttpServerPort, QStringLiteral("9391")},
        {kSocketServerPort, QStringLiteral("9390")},
    };
    VelmarDBGuard guard(nullptr);
    for (const auto &entry : defaults) {
        if (!guard->hasConfig(entry.first))
            guard->setConfig(entry.first, entry.second);
    }
}

QString RDConfigure::getString(const QString &key, const QString &defaultValue) const
{
    VelmarDBGuard guard(nullptr);
    return guard->getConfig(key, defaultValue);
}

void RDConfigure::setString(const QString &key, const QString &value)
{
    VelmarDBGuard guard(nullptr);
    guard->setConfig(key, value);
}

int RDConfigure::getInt(const QString &key, int defaultValue) const
{
    const QString text = getString(key);
    if (text.isEmpty())
        return defaultValue;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void RDConfigure::setInt(const QString &key, int value)
{
    setString(key, QString::number(value));
}

bool RDConfigure::getBool(const QString &key, bool defaultValue) const
{
    const QString text = getString(key);
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return defaultValue;
}

void RDConfigure::setBool(const QString &key, bool value)
{
    setString(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

QString RDConfigure::language() const { return getString(kLanguage); }
void RDConfigure::setLanguage(const QString &value) { setString(kLanguage, value); }
bool RDConfigure::runOnBoot() const { return getBool(kRunOnBoot, false); }
void RDConfigure::setRunOnBoot(bool value) { setBool(kRunOnBoot, value); }
int RDConfigure::sipInternalPort() const { return getInt(kSipInternalPort, 5060); }
void RDConfigure::setSipInternalPort(int value) { setInt(kSipInternalPort, value); }
int RDConfigure::sipExternalPort() const { return getInt(kSipExternalPort, 5080); }
void RDConfigure::setSipExternalPort(int value) { setInt(kSipExternalPort, value); }
QString RDConfigure::sipCodecs() const { return getString(kSipCodecs, kDefaultCodecs); }
void RDConfigure::setSipCodecs(const QString &value) { setString(kSipCodecs, value); }
int RDConfigure::rtpStartPort() const { return getInt(kRtpStartPort, 16384); }
void RDConfigure::setRtpStartPort(int value) { setInt(kRtpStartPort, value); }
int RDConfigure::rtpEndPort() const { return getInt(kRtpEndPort, 32768); }
void RDConfigure::setRtpEndPort(int value) { setInt(kRtpEndPort, value); }
bool RDConfigure::natEnable() const { return getBool(kNatEnable, false); }
void RDConfigure::setNatEnable(bool value) { setBool(kNatEnable, value); }
bool RDConfigure::httpApiEnable() const { return getBool(kHttpApiEnable, false); }
void RDConfigure::setHttpApiEnable(bool value) { setBool(kHttpApiEnable, value); }
QString RDConfigure::onvifUsername() const { return getString(kOnvifUsername, QStringLiteral("admin")); }
void RDConfigure::setOnvifUsername(const QString &value) { setString(kOnvifUsername, value); }
QString RDConfigure::onvifPassword() const { return getString(kOnvifPassword, QStringLiteral("804271")); }
void RDConfigure::setOnvifPassword(const QString &value) { setString(kOnvifPassword, value); }
int RDConfigure::httpServerPort() const { return getInt(kHttpServerPort, 9391); }
void RDConfigure::setHttpServerPort(int value) { setInt(kHttpServerPort, value); }
QString RDConfigure::sipInternalIp() const { return getString(kSipInternalIp); }
void RDConfigure::setSipInternalIp(const QString &value) { setString(kSipInternalIp, value); }
QString RDConfigure::sipInternalNetmask() const { return getString(kSipInternalNetmask); }
void RDConfigure::setSipInternalNetmask(const QString &value) { setString(kSipInternalNetmask, value); }
QString RDConfigure::sipExternalIp() const { return getString(kSipExternalIp); }
void RDConfigure::setSipExternalIp(const QString &value) { setString(kSipExternalIp, value); }
int RDConfigure::authEnable() const { return getInt(kAuthEnable, 0); }
void RDConfigure::setAuthEnable(int value) { setInt(kAuthEnable, value); }
QString RDConfigure::authUsername() const { return getString(kAuthUsername); }
void RDConfigure::setAuthUsername(const QString &value) { setString(kAuthUsername, value); }
QString RDConfigure::authPassword() const { return getString(kAuthPassword); }
void RDConfigure::setAuthPassword(const QString &value) { setString(kAuthPassword, value); }
QString RDConfigure::callDeviceId() const { return getString(kCallDeviceId); }
void RDConfigure::setCallDeviceId(const QString &value) { setString(kCallDeviceId, value); }
QString RDConfigure::callConferenceId() const { return getString(kCallConferenceId); }
void RDConfigure::setCallConferenceId(const QString &value) { setString(kCallConferenceId, value); }
int RDConfigure::prayEnable() const { return getInt(kPrayEnable, 0); }
void RDConfigure::setPrayEnable(int value) { setInt(kPrayEnable, value); }
int RDConfigure::wsEnable() const { return getInt(kWsEnable, 0); }
void RDConfigure::setWsEnable(int value) { setInt(kWsEnable, value); }
int RDConfigure::wsPort() const { return getInt(kWsPort, 9024); }
void RDConfigure::setWsPort(int value) { setInt(kWsPort, value); }
QString RDConfigure::kelCode() const { return getString(kKelCode); }
void RDConfigure::setKelCode(const QString &value) { setString(kKelCode, value); }
int RDConfigure::kelCodeEnable() const { return getInt(kKelCodeEnable, 0); }
void RDConfigure::setKelCodeEnable(int value) { setInt(kKelCodeEnable, value); }
