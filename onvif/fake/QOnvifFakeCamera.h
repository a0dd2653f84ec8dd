#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QThread;

// A camera on 127.0.0.1 for tests and benchmarks: a UDP probe responder and
// a SOAP service over HTTP that checks every request's UsernameToken digest
// against its own user and password (a SOAP fault when they differ). It runs
// on its own thread, so a client may block the caller's thread on it.
class QOnvifFakeCamera
{
public:
    struct Profile
    {
        QString token;
        QString name;
        QString uri;
    };

    QOnvifFakeCamera(const QString &username, const QString &password);
    ~QOnvifFakeCamera();

    void setProfiles(const QVector<Profile> &profiles);
    // Each probe is answered this many times (a camera on two interfaces).
    void setProbeAnswers(int count);
    // The answer body to send for an action ("GetProfiles", ...) instead of
    // the real one, as is.
    void setRawAnswer(const QString &action, const QByteArray &body);
    // The HTTP service accepts and never answers.
    void setSilent(bool silent);

    bool start();
    void stop();

    quint16 probePort() const { return m_probePort; }
    quint16 httpPort() const { return m_httpPort; }
    QString deviceAddress() const;
    QString endpoint() const { return m_endpoint; }
    // The actions asked for so far, in order.
    QStringList actions() const;
    int probesReceived() const;

private:
    void run();
    QByteArray answer(const QByteArray &request, int *status);
    bool authorised(const QByteArray &request) const;

    const QString m_username;
    const QString m_password;
    const QString m_endpoint;
    mutable QMutex m_mutex;
    QVector<Profile> m_profiles;
    QMap<QString, QByteArray> m_raw;
    int m_probeAnswers = 1;
    bool m_silent = false;
    QStringList m_actions;
    int m_probes = 0;

    QThread *m_thread = nullptr;
    QObject *m_loop = nullptr;
    quint16 m_probePort = 0;
    quint16 m_httpPort = 0;
};
