#pragma once

#include "VelmarDB.h"

#include <QObject>
#include <QString>

// Typed access to the settings kept in table `conf`. Built on the stack for
// each use; each read or write borrows one of the kept-open connections, so
// building one opens nothing. Texts are stored as they are, integers in
// decimal, booleans as "true" or "false".
class RDConfigure : public QObject
{
    Q_OBJECT
public:
    RDConfigure();
    ~RDConfigure() override;

    // Writes the default of every start-up key that is missing.
    void initDefaults();

    QString getString(const QString &key, const QString &defaultValue = QString()) const;
    void setString(const QString &key, const QString &value);
    int getInt(const QString &key, int defaultValue) const;
    void setInt(const QString &key, int value);
    bool getBool(const QString &key, bool defaultValue) const;
    void setBool(const QString &key, bool value);

    QString language() const;
    void setLanguage(const QString &value);
    bool runOnBoot() const;
    void setRunOnBoot(bool value);
    int sipInternalPort() const;
    void setSipInternalPort(int value);
    int sipExternalPort() const;
    void setSipExternalPort(int value);
    QString sipCodecs() const;
    void setSipCodecs(const QString &value);
    int rtpStartPort() const;
    void setRtpStartPort(int value);
    int rtpEndPort() const;
    void setRtpEndPort(int value);
    bool natEnable() const;
    void setNatEnable(bool value);
    bool httpApiEnable() const;
    void setHttpApiEnable(bool value);
    QString onvifUsername() const;
    void setOnvifUsername(const QString &value);
    QString onvifPassword() const;
    void setOnvifPassword(const QString &value);
    int httpServerPort() const;
    void setHttpServerPort(int value);
    QString sipInternalIp() const;
    void setSipInternalIp(const QString &value);
    QString sipInternalNetmask() const;
    void setSipInternalNetmask(const QString &value);
    QString sipExternalIp() const;
    void setSipExternalIp(const QString &value);
    int authEnable() const;
    void setAuthEnable(int value);
    QString authUsername() const;
    void setAuthUsername(const QString &value);
    QString authPassword() const;
    void setAuthPassword(const QString &value);
    QString callDeviceId() const;
    void setCallDeviceId(const QString &value);
    QString callConferenceId() const;
    void setCallConferenceId(const QString &value);
    int prayEnable() const;
    void setPrayEnable(int value);
    int wsEnable() const;
    void setWsEnable(int value);
    int wsPort() const;
    void setWsPort(int value);
    QString kelCode() const;
    void setKelCode(const QString &value);
    int kelCodeEnable() const;
    void setKelCodeEnable(int value);
};
