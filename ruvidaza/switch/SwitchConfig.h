#pragma once

#include "AccessList.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

struct DirectoryUser
{
    QString id;
    QString password;
    QString callerName;
    QString context;
};

struct GatewayConfig
{
    QString name;
    QString profile;    // "internal" or "external"
    QString realm;
    QString username;
    QString password;
    bool registerEnabled = false;
    QString expireSeconds;
};

struct DialplanAction
{
    QString application;
    QString data;
};

struct DialplanCondition
{
    QString field;
    QString expression;
    QVector<DialplanAction> actions;
};

struct DialplanExtension
{
    QString name;
    QString file;
    QVector<DialplanCondition> conditions;
};

// Everything the switch reads from its "conf" tree. Files the program writes
// are fragments (several roots, no final newline), so each one is read
// wrapped in a synthetic root. A malformed or vanished include file is
// skipped with a log line; only an unreadable root file fails the load.
class SwitchConfig
{
public:
    bool load(const QString &confFolder, QString *error);
    // Variables known before any file is read (per-installation values).
    void setBaseVars(const QMap<QString, QString> &vars) { m_baseVars = vars; }

    // "$${name}" expanded from the pre-processor variables; unknown names kept.
    QString expand(const QString &text) const;

    QString var(const QString &name, const QString &fallback = QString()) const;

    const QMap<QString, QString> &vars() const { return m_vars; }
    const QMap<QString, DirectoryUser> &users() const { return m_users; }
    const QMap<QString, GatewayConfig> &gateways() const { return m_gateways; }
    QVector<DialplanExtension> extensions(const QString &context) const { return m_contexts.value(context); }
    const QStringList &skippedFiles() const { return m_skipped; }
    int rtpStartPort() const { return m_rtpStart; }
    int rtpEndPort() const { return m_rtpEnd; }
    QStringList codecs() const;
    const AccessList &accessLists() const { return m_acl; }

private:
    bool loadVars(const QString &path, bool required, QString *error);
    void loadUsers(const QString &folder);
    void loadGateways(const QString &folder, const QString &profile);
    bool loadDialplanFile(const QString &path, const QString &context, bool required, QString *error);
    // A file that may be missing: false (logged and listed as skipped when
    // it exists but does not read).
    bool readOptional(const QString &path, QByteArray *data);
    void loadSwitchConf(const QString &path);
    void loadAccessLists(const QString &path);

    QMap<QString, QString> m_baseVars;
    QMap<QString, QString> m_vars;
    QMap<QString, DirectoryUser> m_users;
    QMap<QString, GatewayConfig> m_gateways;
    QMap<QString, QVector<DialplanExtension>> m_contexts;
    QStringList m_skipped;
    AccessList m_acl;
    int m_rtpStart = 16384;
    int m_rtpEnd = 32768;
};
