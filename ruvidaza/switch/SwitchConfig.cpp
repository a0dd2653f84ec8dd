#include "SwitchConfig.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

// Reads a file as a fragment: an XML declaration is dropped and the rest is
// wrapped in one synthetic root, so several top-level elements are fine.
bool readFragment(const QString &path, QByteArray *wrapped, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    QByteArray data = f.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    const QByteArray trimmed = data.trimmed();
    if (trimmed.startsWith("<?xml")) {
        const int end = data.indexOf("?>");
        if (end >= 0)
            data.remove(0, end + 2);
    }
    *wrapped = "<ruvidaza-fragment>" + data + "</ruvidaza-fragment>";
    QXmlStreamReader check(*wrapped);
    while (!check.atEnd())
        check.readNext();
    if (check.hasError()) {
        *error = QStringLiteral("%1: line %2: %3").arg(path).arg(check.lineNumber()).arg(check.errorString());
        return false;
    }
    return true;
}

QStringList xmlFiles(const QString &folder)
{
    QDir dir(folder);
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

} // namespace

QString SwitchConfig::expand(const QString &text) const
{
    if (!text.contains(QLatin1String("$${")))
        return text;
    static const QRegularExpression re(QStringLiteral("\\$\\$\\{([^}]*)\\}"));
    QString out;
    int last = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += text.midRef(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        out += m_vars.contains(name) ? m_vars.value(name) : m.captured(0);
        last = m.capturedEnd();
    }
    out += text.midRef(last);
    return out;
}

QString SwitchConfig::var(const QString &name, const QString &fallback) const
{
    return m_vars.value(name, fallback);
}

QStringList SwitchConfig::codecs() const
{
    QStringList out;
    for (const QString &c : var(QStringLiteral("global_codec_prefs")).split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << c.trimmed();
    // An empty preference list must never become an empty offer.
    if (out.isEmpty())
        out << QStringLiteral("PCMU") << QStringLiteral("PCMA");
    return out;
}

bool SwitchConfig::loadVars(const QString &path, bool required, QString *error)
{
    QByteArray data;
    QString err;
    if (!readFragment(path, &data, &err)) {
        if (required) {
            *error = err;
            return false;
        }
        if (QFile::exists(path)) {
            qWarning() << "skipping" << err;
            m_skipped << path;
        }
        return true;
    }
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != QLatin1String("X-PRE-PROCESS"))
            continue;
        const QString cmd = xml.attributes().value(QLatin1String("cmd")).toString();
        const QString d = xml.attributes().value(QLatin1String("data")).toString();
        const int eq = d.indexOf(QLatin1Char('='));
        if ((cmd == QLatin1String("set") || cmd == QLatin1String("stun-set")) && eq > 0) {
            QString value = expand(d.mid(eq + 1));
            // No NAT discovery is ever done: "autonat:<ip>" means "<ip>".
            if (cmd == QLatin1String("stun-set") && value.startsWith(QLatin1String("autonat:")))
                value = value.mid(8);
            m_vars.insert(d.left(eq), value);
        }
    }
    return true;
}

void SwitchConfig::loadUsers(const QString &folder)
{
    for (const QString &path : xmlFiles(folder)) {
        QByteArray data;
        QString err;
        if (!readFragment(path, &data, &err)) {
            qWarning() << "skipping" << err;
            m_skipped << path;
            continue;
        }
        QXmlStreamReader xml(data);
        DirectoryUser user;
        bool inUser = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const auto attrs = xml.attributes();
                if (xml.name() == QLatin1String("user")) {
                    inUser = true;
                    user = DirectoryUser();
                    user.id = expand(attrs.value(QLatin1String("id")).toString());
                    user.context = QStringLiteral("default");
                } else if (inUser && xml.name() == QLatin1String("param")
                           && attrs.value(QLatin1String("name")) == QLatin1String("password")) {
                    user.password = expand(attrs.value(QLatin1String("value")).toString());
                } else if (inUser && xml.name() == QLatin1String("variable")) {
                    const QString name = attrs.value(QLatin1String("name")).toString();
                    const QString value = expand(attrs.value(QLatin1String("value")).toString());
                    if (name == QLatin1String("effective_caller_id_name"))
                        user.callerName = value;
                    else if (name == QLatin1String("user_context"))
                        user.context = value;
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("user") && inUser) {
                inUser = false;
                if (!user.id.isEmpty())
                    m_users.insert(user.id, user);
            }
        }
    }
}

void SwitchConfig::loadGateways(const QString &folder, const QString &profile)
{
    for (const QString &path : xmlFiles(folder)) {
        QByteArray data;
        QString err;
        if (!readFragment(path, &data, &err)) {
            qWarning() << "skipping" << err;
            m_skipped << path;
            continue;
        }
        QXmlStreamReader xml(data);
        GatewayConfig gw;
        bool inGateway = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                const auto attrs = xml.attributes();
                if (xml.name() == QLatin1String("gateway")) {
                    inGateway = true;
                    gw = GatewayConfig();
                    gw.name = attrs.value(QLatin1String("name")).toString();
                    gw.profile = profile;
                } else if (inGateway && xml.name() == QLatin1String("param")) {
                    const QString name = attrs.value(QLatin1String("name")).toString();
                    const QString value = expand(attrs.value(QLatin1String("value")).toString());
                    if (name == QLatin1String("realm"))
                        gw.realm = value;
                    else if (name == QLatin1String("username"))
                        gw.username = value;
                    else if (name == QLatin1String("password"))
                        gw.password = value;
                    else if (name == QLatin1String("register"))
                        gw.registerEnabled = value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
                    else if (name == QLatin1String("expire-seconds"))
                        gw.expireSeconds = value;
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("gateway") && inGateway) {
                inGateway = false;
                if (!gw.name.isEmpty())
                    m_gateways.insert(gw.name, gw);
            }
        }
    }
}

bool SwitchConfig::loadDialplanFile(const QString &path, const QString &context, bool required, QString *error)
{
    QByteArray data;
    QString err;
    if (!readFragment(path, &data, &err)) {
        if (required) {
            *error = err;
            return false;
        }
        qWarning() << "skipping" << err;
        m_skipped << path;
        return true;
    }
    QXmlStreamReader xml(data);
    DialplanExtension ext;
    DialplanCondition cond;
    bool inExt = false;
    bool inCond = false;
    QVector<DialplanExtension> &list = m_contexts[context];
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto attrs = xml.attributes();
            if (xml.name() == QLatin1String("extension")) {
                inExt = true;
                ext = DialplanExtension();
                ext.name = expand(attrs.value(QLatin1String("name")).toString());
                ext.file = path;
            } else if (inExt && xml.name() == QLatin1String("condition")) {
                inCond = true;
                cond = DialplanCondition();
                cond.field = attrs.value(QLatin1String("field")).toString();
                cond.expression = expand(attrs.value(QLatin1String("expression")).toString());
            } else if (inCond && xml.name() == QLatin1String("action")) {
                cond.actions.push_back({attrs.value(QLatin1String("application")).toString(),
                                        expand(attrs.value(QLatin1String("data")).toString())});
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("condition") && inCond) {
                inCond = false;
                ext.conditions.push_back(cond);
            } else if (xml.name() == QLatin1String("extension") && inExt) {
                inExt = false;
                list.push_back(ext);
            }
        }
    }
    return true;
}

bool SwitchConfig::readOptional(const QString &path, QByteArray *data)
{
    QString err;
    if (readFragment(path, data, &err))
        return true;
    if (QFile::exists(path)) {
        qWarning() << "skipping" << err;
        m_skipped << path;
    }
    return false;
}

void SwitchConfig::loadSwitchConf(const QString &path)
{
    QByteArray data;
    if (!readOptional(path, &data))
        return;
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("param")) {
            const QString name = xml.attributes().value(QLatin1String("name")).toString();
            bool ok = false;
            const int value = xml.attributes().value(QLatin1String("value")).toInt(&ok);
            if (ok && name == QLatin1String("rtp-start-port"))
                m_rtpStart = value;
            else if (ok && name == QLatin1String("rtp-end-port"))
                m_rtpEnd = value;
        }
    }
}

void SwitchConfig::loadAccessLists(const QString &path)
{
    QByteArray data;
    if (!readOptional(path, &data))
        return;
    m_acl.parse(expand(QString::fromUtf8(data)).toUtf8());
}

bool SwitchConfig::load(const QString &conf, QString *error)
{
    m_vars = m_baseVars;
    m_users.clear();
    m_gateways.clear();
    m_contexts.clear();
    m_skipped.clear();
    m_acl.clear();

    if (!loadVars(conf + QStringLiteral("/vars.xml"), true, error))
        return false;
    for (const QString &path : xmlFiles(conf + QStringLiteral("/custom_configs")))
        loadVars(path, false, error);
    if (!m_vars.contains(QStringLiteral("domain")))
        m_vars.insert(QStringLiteral("domain"), var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1")));
    loadSwitchConf(conf + QStringLiteral("/autoload_configs/switch.conf.xml"));
    loadAccessLists(conf + QStringLiteral("/autoload_configs/acl.conf.xml"));
    loadUsers(conf + QStringLiteral("/directory/default"));
    loadGateways(conf + QStringLiteral("/sip_profiles/internal"), QStringLiteral("internal"));
    loadGateways(conf + QStringLiteral("/sip_profiles/external"), QStringLiteral("external"));

    // Context "default" (authenticated callers): the shipped plan, then the
    // per-group public files (the RTP output gateway calls in as a user).
    if (!loadDialplanFile(conf + QStringLiteral("/dialplan/default.xml"), QStringLiteral("default"), true, error))
        return false;
    for (const QString &path : xmlFiles(conf + QStringLiteral("/dialplan/default")))
        loadDialplanFile(path, QStringLiteral("default"), false, error);
    for (const QString &path : xmlFiles(conf + QStringLiteral("/dialplan/public"))) {
        loadDialplanFile(path, QStringLiteral("default"), false, error);
        loadDialplanFile(path, QStringLiteral("public"), false, error);
    }
    return true;
}
