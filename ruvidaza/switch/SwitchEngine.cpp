#include "SwitchEngine.h"

#include "CallScript.h"
#include "SwitchMedia.h"
#include "SwitchSip.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>
#include <QXmlStreamWriter>

namespace {

const QRegularExpression &nameRe()
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Za-z_.+*#-]{1,64}$"));
    return re;
}

qint64 epochNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

} // namespace

SwitchEngine::SwitchEngine(const QString &packageFolder, StateDb *db, QObject *parent)
    : QObject(parent), m_folder(packageFolder), m_db(db)
{
    m_clock.start();
    m_expiryTimer.setInterval(1000);
    connect(&m_expiryTimer, &QTimer::timeout, this, &SwitchEngine::purgeExpired);
}

SwitchEngine::~SwitchEngine()
{
    if (m_sip)
        m_sip->stop();
}

QString SwitchEngine::conferenceKey(const QString &token)
{
    const int at = token.indexOf(QLatin1Char('@'));
    return at < 0 ? token : token.left(at);
}

QString SwitchEngine::newUuid() const
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool SwitchEngine::start(const QMap<QString, QString> &baseVars, QString *error)
{
    m_baseVars = baseVars;
    m_config.setBaseVars(baseVars);
    if (!m_config.load(m_folder + QStringLiteral("/conf"), error))
        return false;
    if (!m_db->clearChannels()) {
        *error = QStringLiteral("cannot clear stale channel rows");
        return false;
    }
    for (const Registration &r : m_db->loadRegistrations(epochNow()))
        m_registrations.insert(r.sipUser, r);
    qInfo() << "restored" << m_registrations.size() << "unexpired registration(s)";
    m_media = std::make_unique<SwitchMedia>(std::string(), m_config.rtpStartPort(), m_config.rtpEndPort());
    m_expiryTimer.start();
    return true;
}

bool SwitchEngine::startSip(bool required, QString *error)
{
    QByteArray key(32, '\0');
    QRandomGenerator::system()->generate(key.begin(), key.end());
    auto sip = std::make_unique<SwitchSip>(this, key);
    if (sip->start(error)) {
        m_sip = std::move(sip);
    } else if (required) {
        return false;
    } else {
        qWarning() << "RUNNING WITHOUT SIP:" << *error << "- only simulated endpoints work";
    }
    for (const GatewayConfig &gw : m_config.gateways())
        startGateway(gw);
    return true;
}

void SwitchEngine::stop()
{
    m_expiryTimer.stop();
    const QStringList uuids = m_legs.keys();
    for (const QString &uuid : uuids)
        removeLeg(uuid);
    m_conferences.clear();
    if (m_sip) {
        m_sip->stop();
        m_sip.reset();
    }
    m_media.reset();
}

bool SwitchEngine::reload(const QString &rescanProfile, QString *error)
{
    SwitchConfig fresh;
    fresh.setBaseVars(m_baseVars);
    if (!fresh.load(m_folder + QStringLiteral("/conf"), error))
        return false;
    m_config = fresh;
    if (m_sip)
        m_sip->configChanged();
    if (!rescanProfile.isEmpty()) {
        for (const GatewayConfig &gw : m_config.gateways()) {
            if (gw.profile == rescanProfile && !m_gateways.contains(gw.name))
                startGateway(gw);
        }
    }
    return true;
}

void SwitchEngine::startGateway(const GatewayConfig &cfg)
{
    GatewayState gs;
    gs.config = cfg;
    if (m_sip) {
        gs.state = QStringLiteral("TRYING");
        m_gateways.insert(cfg.name, gs);
        m_sip->startGateway(cfg);
        return;
    }
    if (!cfg.registerEnabled) {
        gs.state = QStringLiteral("NOREG");
    } else if (cfg.profile == QLatin1String("internal")) {
        // A gateway of the internal profile registers with this switch
        // itself: check its credentials against the directory and bind it.
        const DirectoryUser user = m_config.users().value(cfg.username);
        if (!user.id.isEmpty() && user.password == cfg.password) {
            Registration r;
            r.sipUser = cfg.username;
            r.sipHost = m_config.var(QStringLiteral("domain"), m_config.var(QStringLiteral("sip_ip")));
            const QString ip = m_config.var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1"));
            const QString port = m_config.var(QStringLiteral("internal_sip_port"), QStringLiteral("5060"));
            r.contact = QStringLiteral("<sip:%1@%2:%3>").arg(cfg.username, ip, port);
            r.status = QStringLiteral("Registered(UDP)");
            r.networkIp = ip;
            r.networkPort = port;
            r.callId = newUuid();
            r.expires = epochNow() + 3600;
            gs.state = addRegistration(r) ? QStringLiteral("REGED") : QStringLiteral("FAIL_WAIT");
        } else {
            qWarning() << "gateway" << cfg.name << "rejected: no matching directory user" << cfg.username;
            gs.state = QStringLiteral("FAIL_WAIT");
        }
    } else {
        // No SIP transport in this build: an external trunk cannot register.
        gs.state = QStringLiteral("UNREGED");
    }
    m_gateways.insert(cfg.name, gs);
}

void SwitchEngine::dropGateway(const QString &name)
{
    const GatewayState gs = m_gateways.take(name);
    if (m_sip) {
        m_sip->dropGateway(name);
        return;
    }
    if (gs.config.profile == QLatin1String("internal") && gs.state == QLatin1String("REGED"))
        removeRegistration(gs.config.username);
}

int SwitchEngine::killGateways(const QString &profile)
{
    int n = 0;
    const QStringList names = m_gateways.keys();
    for (const QString &name : names) {
        if (m_gateways.value(name).config.profile == profile) {
            dropGateway(name);
            ++n;
        }
    }
    return n;
}

QString SwitchEngine::gatewaysXml() const
{
    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gateways"));
    for (const GatewayState &gs : m_gateways) {
        xml.writeStartElement(QStringLiteral("gateway"));
        xml.writeTextElement(QStringLiteral("name"), gs.config.name);
        xml.writeTextElement(QStringLiteral("profile"), gs.config.profile);
        xml.writeTextElement(QStringLiteral("realm"), gs.config.realm);
        xml.writeTextElement(QStringLiteral("username"), gs.config.username);
        // The gateway files carry no extension: it is the user name.
        xml.writeTextElement(QStringLiteral("exten"), gs.config.username);
        xml.writeTextElement(QStringLiteral("state"), gs.state);
        xml.writeTextElement(QStringLiteral("expire"),
                             gs.config.expireSeconds.isEmpty() ? QStringLiteral("3600") : gs.config.expireSeconds);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QString SwitchEngine::conferenceListText() const
{
    QString out = QStringLiteral("+OK %1 conference(s)\n").arg(m_conferences.size());
    for (const Conference &c : m_conferences) {
        out += QStringLiteral("%1 members=%2 files=%3 file-vol=%4\n")
                   .arg(c.name)
                   .arg(c.legs.size())
                   .arg(c.playingFile.isEmpty() ? 0 : 1)
                   .arg(c.fileVolume);
    }
    return out;
}

QString SwitchEngine::describeConfigJson() const
{
    QJsonObject o;
    QJsonArray users;
    for (const DirectoryUser &u : m_config.users())
        users.append(QJsonObject{{"id", u.id}, {"caller_name", u.callerName}, {"context", u.context}});
    o.insert(QStringLiteral("users"), users);
    QJsonArray gws;
    for (const GatewayState &g : m_gateways)
        gws.append(QJsonObject{{"name", g.config.name}, {"profile", g.config.profile}, {"realm", g.config.realm},
                               {"username", g.config.username}, {"state", g.state}});
    o.insert(QStringLiteral("gateways"), gws);
    QJsonObject contexts;
    for (const QString &ctx : {QStringLiteral("default"), QStringLiteral("public")}) {
        QJsonArray exts;
        for (const DialplanExtension &e : m_config.extensions(ctx))
            exts.append(e.name);
        contexts.insert(ctx, exts);
    }
    o.insert(QStringLiteral("extensions"), contexts);
    QJsonObject vars;
    for (auto it = m_config.vars().begin(); it != m_config.vars().end(); ++it) {
        if (!it.key().contains(QLatin1String("password")))
            vars.insert(it.key(), it.value());
    }
    o.insert(QStringLiteral("vars"), vars);
    o.insert(QStringLiteral("codecs"), QJsonArray::fromStringList(m_config.codecs()));
    o.insert(QStringLiteral("skipped"), QJsonArray::fromStringList(m_config.skippedFiles()));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString SwitchEngine::dumpJson() const
{
    QJsonObject o;
    QJsonArray confs;
    for (const Conference &c : m_conferences) {
        QString status;
        playStatus(c.name, &status);
        confs.append(QJsonObject{{"name", c.name},
                                 {"legs", QJsonArray::fromStringList(c.legs)},
                                 {"file", c.playingFile},
                                 {"playing", status.startsWith(QLatin1String("+OK"))},
                                 {"file_vol", c.fileVolume}});
    }
    o.insert(QStringLiteral("conferences"), confs);
    QJsonArray legs;
    for (const Leg &l : m_legs)
        legs.append(QJsonObject{{"uuid", l.uuid}, {"accountcode", l.accountcode}, {"callstate", l.callstate},
                                {"application_data", l.applicationData}, {"conference", l.conference}});
    o.insert(QStringLiteral("legs"), legs);
    QJsonArray regs;
    for (const Registration &r : m_registrations)
        regs.append(r.sipUser);
    o.insert(QStringLiteral("registrations"), regs);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void SwitchEngine::joinConference(Leg &leg, const QString &token)
{
    const QString key = conferenceKey(token);
    leg.conference = key;
    leg.applicationData = token;
    Conference &c = m_conferences[key];
    c.name = key;
    if (!c.legs.contains(leg.uuid))
        c.legs.append(leg.uuid);
}

bool SwitchEngine::dial(const QString &token, const QString &dialString, const QString &cidNum,
                        const QString &cidName, QString *uuid, QString *error)
{
    const QString key = conferenceKey(token);
    if (!nameRe().match(key).hasMatch()) {
        *error = QStringLiteral("bad conference name");
        return false;
    }
    QString target;
    QString gateway;
    if (dialString.startsWith(QLatin1String("user/"))) {
        target = dialString.mid(5);
    } else if (dialString.startsWith(QLatin1String("sofia/gateway/"))) {
        const QStringList parts = dialString.mid(14).split(QLatin1Char('/'));
        if (parts.size() != 2) {
            *error = QStringLiteral("bad dial string");
            return false;
        }
        gateway = parts[0];
        target = parts[1];
    } else {
        *error = QStringLiteral("unsupported dial string");
        return false;
    }
    if (!nameRe().match(target).hasMatch()) {
        *error = QStringLiteral("bad destination");
        return false;
    }

    Leg leg;
    leg.uuid = newUuid();
    leg.direction = QStringLiteral("outbound");
    leg.callstate = QStringLiteral("RINGING");
    leg.accountcode = target;
    leg.dest = target;
    leg.calleeNum = target;
    leg.initialDest = target;
    leg.initialCidNum = cidNum;
    leg.cidName = cidName;
    leg.profile = gateway.isEmpty() ? QStringLiteral("internal") : m_gateways.value(gateway).config.profile;
    leg.createdEpoch = epochNow();
    if (gateway.isEmpty())
        leg.ipAddr = m_registrations.value(target).networkIp;
    joinConference(leg, token);
    // The row exists before anything is sent, so a reader never sees the
    // dial as missing while it is in flight.
    m_legs.insert(leg.uuid, leg);
    m_db->insertChannel(leg);
    *uuid = leg.uuid;

    const QString id = leg.uuid;
    auto fail = [this, id](int afterMs, const QString &why) {
        QTimer::singleShot(afterMs, this, [this, id, why] {
            if (m_legs.contains(id)) {
                qInfo() << "leg" << id << "ended:" << why;
                removeLeg(id);
            }
        });
    };
    auto answer = [this, id](int afterMs) {
        QTimer::singleShot(afterMs, this, [this, id] {
            if (m_legs.contains(id) && m_legs[id].callstate == QLatin1String("RINGING"))
                setLegState(id, QStringLiteral("ACTIVE"));
        });
    };

    if (!gateway.isEmpty()) {
        const GatewayState gs = m_gateways.value(gateway);
        if (gs.config.name.isEmpty())
            fail(0, QStringLiteral("no such gateway ") + gateway);
        else if (m_sip && gs.config.profile == QLatin1String("external")) {
            // Through the trunk: to the destination at the gateway's realm,
            // answering its challenge with the gateway's credentials.
            const QString realm = gs.config.realm;
            const int colon = realm.lastIndexOf(QLatin1Char(':'));
            const QString host = colon < 0 ? realm : realm.left(colon);
            const int port = colon < 0 ? 5060 : realm.mid(colon + 1).toInt();
            if (!m_sip->invite(id, gs.config.profile, QStringLiteral("sip:%1@%2").arg(target, realm), host, port,
                               cidNum, cidName, gs.config.username, gs.config.password))
                fail(0, QStringLiteral("cannot call through gateway ") + gateway);
        }
        else if (gs.config.profile == QLatin1String("internal") && gs.state == QLatin1String("REGED")) {
            // The call loops back into the internal profile as the gateway's
            // user and is answered by this switch's own dialplan.
            const QString user = gs.config.username;
            const QString ip = m_config.var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1"));
            QTimer::singleShot(50, this, [this, id, user, target, ip] {
                if (!m_legs.contains(id))
                    return;
                QString far;
                QString why;
                if (!inboundCall(user, target, QStringLiteral("internal"), ip, &far, &why)) {
                    qInfo() << "leg" << id << "ended:" << why;
                    removeLeg(id);
                    return;
                }
                if (!m_legs.contains(far))
                    return;
                m_legs[far].partner = id;
                m_legs[id].partner = far;
                setLegState(id, QStringLiteral("ACTIVE"));
                // The far end pages the conference's mix to "<host> <port>".
                const QStringList page = m_legs[far].applicationData.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                bool portOk = false;
                const int pagePort = page.size() == 2 ? page[1].toInt(&portOk) : 0;
                if (m_media && portOk && pagePort > 0 && pagePort < 65536 &&
                    m_media->startPage(m_legs[id].conference.toStdString(), page[0].toStdString(), pagePort))
                    m_legs[id].paging = true;
            });
        }
        else
            fail(0, QStringLiteral("gateway ") + gateway + QStringLiteral(" not registered"));
        return true;
    }
    if (!m_registrations.contains(target)) {
        fail(0, QStringLiteral("user ") + target + QStringLiteral(" not registered"));
        return true;
    }
    const Registration &reg = m_registrations[target];
    switch (reg.answer) {
    case AnswerMode::Sip:
        if (!m_sip || !m_sip->invite(id, QStringLiteral("internal"), contactUri(reg.contact), reg.networkIp,
                                     reg.networkPort.toInt(), cidNum, cidName))
            fail(0, QStringLiteral("cannot send the INVITE"));
        break;
    case AnswerMode::Auto: answer(reg.answerMs); break;
    case AnswerMode::Ring: break;
    case AnswerMode::Reject: fail(reg.answerMs, QStringLiteral("rejected")); break;
    case AnswerMode::None: fail(30000, QStringLiteral("no answer")); break;
    }
    return true;
}

bool SwitchEngine::bridgeToUser(const QString &aLeg, const QString &user, QString *error)
{
    if (!nameRe().match(user).hasMatch() || !m_registrations.contains(user)) {
        *error = QStringLiteral("user ") + user + QStringLiteral(" not registered");
        return false;
    }
    const Registration reg = m_registrations.value(user);
    if (reg.answer == AnswerMode::Sip && !m_sip) {
        *error = QStringLiteral("no SIP transport");
        return false;
    }
    const Leg &a = m_legs[aLeg];
    Leg b;
    b.uuid = newUuid();
    b.direction = QStringLiteral("outbound");
    b.callstate = QStringLiteral("RINGING");
    b.accountcode = user;
    b.dest = user;
    b.calleeNum = user;
    b.initialDest = user;
    b.initialCidNum = a.initialCidNum;
    b.cidName = a.cidName;
    b.ipAddr = reg.networkIp;
    b.profile = QStringLiteral("internal");
    b.createdEpoch = epochNow();
    b.partner = aLeg;
    m_legs[aLeg].partner = b.uuid;
    m_legs.insert(b.uuid, b);
    m_db->insertChannel(b);
    const QString bId = b.uuid;
    switch (reg.answer) {
    case AnswerMode::Sip:
        if (!m_sip->invite(bId, QStringLiteral("internal"), contactUri(reg.contact), reg.networkIp,
                           reg.networkPort.toInt(), b.initialCidNum, b.cidName)) {
            removeLeg(bId);
            *error = QStringLiteral("cannot send the INVITE");
            return false;
        }
        break;
    case AnswerMode::Auto:
        QTimer::singleShot(reg.answerMs, this, [this, aLeg, bId] {
            if (m_legs.contains(bId) && m_legs.contains(aLeg)) {
                setLegState(bId, QStringLiteral("ACTIVE"));
                setLegState(aLeg, QStringLiteral("ACTIVE"));
            }
        });
        break;
    case AnswerMode::Ring:
        break;
    case AnswerMode::Reject:
    case AnswerMode::None:
        QTimer::singleShot(reg.answer == AnswerMode::Reject ? reg.answerMs : 30000, this, [this, bId] {
            if (m_legs.contains(bId) && m_legs[bId].callstate == QLatin1String("RINGING"))
                removeLeg(bId);
        });
        break;
    }
    return true;
}

void SwitchEngine::removeLeg(const QString &uuid)
{
    if (!m_legs.contains(uuid))
        return;
    if (m_sip)
        m_sip->hangup(uuid);
    mediaClose(uuid);
    const Leg leg = m_legs.take(uuid);
    m_db->deleteChannel(uuid);
    if (leg.paging && m_media)
        m_media->stopPage(leg.conference.toStdString());
    if (!leg.partner.isEmpty())
        removeLeg(leg.partner);
    if (leg.conference.isEmpty())
        return;
    auto it = m_conferences.find(leg.conference);
    if (it == m_conferences.end())
        return;
    it->legs.removeAll(uuid);
    if (it->legs.isEmpty()) {
        if (m_media)
            m_media->stopPlay(leg.conference.toStdString());
        m_conferences.erase(it);
    }
}

bool SwitchEngine::hangupAll(const QString &conference)
{
    if (!m_conferences.contains(conference))
        return false;
    const QStringList legs = m_conferences.value(conference).legs;
    for (const QString &uuid : legs)
        removeLeg(uuid);
    if (m_media)
        m_media->stopPlay(conference.toStdString());
    m_conferences.remove(conference);
    return true;
}

bool SwitchEngine::killLeg(const QString &uuid)
{
    if (!m_legs.contains(uuid))
        return false;
    removeLeg(uuid);
    return true;
}

bool SwitchEngine::play(const QString &conference, const QString &file, QString *error)
{
    auto it = m_conferences.find(conference);
    if (it == m_conferences.end()) {
        *error = QStringLiteral("Conference %1 not found").arg(conference);
        return false;
    }
    const QFileInfo fi(file);
    if (!fi.isFile() || !fi.isReadable()) {
        *error = QStringLiteral("file not found");
        return false;
    }
    std::string reason = "no media engine";
    if (!m_media || !m_media->play(conference.toStdString(), file.toStdString(), &reason)) {
        qWarning() << "cannot play" << file << "into" << conference << ":" << reason.c_str();
        *error = QStringLiteral("file not playable");
        return false;
    }
    m_media->setFileVolume(conference.toStdString(), it->fileVolume);
    it->playingFile = file;
    it->playStartedMs = nowMs();
    it->playDurationMs = -1;
    it->forced = Conference::Forced::No;
    return true;
}

bool SwitchEngine::stopPlay(const QString &conference)
{
    auto it = m_conferences.find(conference);
    if (it == m_conferences.end())
        return false;
    if (m_media)
        m_media->stopPlay(conference.toStdString());
    it->playingFile.clear();
    it->forced = Conference::Forced::No;
    return true;
}

bool SwitchEngine::playStatus(const QString &conference, QString *text) const
{
    auto it = m_conferences.constFind(conference);
    if (it == m_conferences.constEnd()) {
        *text = QStringLiteral("Conference %1 not found").arg(conference);
        return false;
    }
    if (it->playingFile.isEmpty() || it->forced == Conference::Forced::Ended) {
        *text = QStringLiteral("not playing");
        return false;
    }
    std::string status;
    if (m_media && m_media->playStatus(conference.toStdString(), &status)) {
        *text = QString::fromStdString(status);
        return true;
    }
    if (it->forced == Conference::Forced::Playing) {
        *text = QStringLiteral("%1 %2/%3").arg(it->playingFile).arg(nowMs() - it->playStartedMs).arg(it->playDurationMs);
        return true;
    }
    *text = QStringLiteral("not playing");
    return false;
}

bool SwitchEngine::setFileVolume(const QString &conference, int level)
{
    auto it = m_conferences.find(conference);
    if (it == m_conferences.end())
        return false;
    it->fileVolume = level;
    // Kept here too: a level set before the file starts applies when it does.
    if (m_media)
        m_media->setFileVolume(conference.toStdString(), level);
    return true;
}

bool SwitchEngine::forcePlayStatus(const QString &conference, Conference::Forced forced)
{
    auto it = m_conferences.find(conference);
    if (it == m_conferences.end())
        return false;
    it->forced = forced;
    if (forced == Conference::Forced::Playing && it->playingFile.isEmpty())
        it->playingFile = QStringLiteral("(test)");
    return true;
}

bool SwitchEngine::addRegistration(const Registration &reg)
{
    if (!m_db->upsertRegistration(reg))
        return false;
    m_registrations.insert(reg.sipUser, reg);
    return true;
}

bool SwitchEngine::removeRegistration(const QString &user)
{
    const bool known = m_registrations.remove(user) > 0;
    m_db->deleteRegistration(user);
    return known;
}

void SwitchEngine::refreshGatewayRegistrations()
{
    const qint64 soon = epochNow() + 1800;
    for (const GatewayState &gs : m_gateways) {
        if (gs.config.profile != QLatin1String("internal") || gs.state != QLatin1String("REGED"))
            continue;
        auto it = m_registrations.find(gs.config.username);
        if (it != m_registrations.end() && it->expires < soon) {
            Registration r = *it;
            r.expires = epochNow() + 3600;
            addRegistration(r);
        }
    }
}

void SwitchEngine::purgeExpired()
{
    refreshGatewayRegistrations();
    for (const QString &user : m_db->purgeExpired(epochNow())) {
        qInfo() << "registration expired:" << user;
        m_registrations.remove(user);
    }
}

QString SwitchEngine::addLeg(Leg leg)
{
    if (leg.uuid.isEmpty())
        leg.uuid = newUuid();
    if (leg.createdEpoch == 0)
        leg.createdEpoch = epochNow();
    if (!leg.applicationData.isEmpty())
        joinConference(leg, leg.applicationData);
    m_legs.insert(leg.uuid, leg);
    m_db->insertChannel(leg);
    return leg.uuid;
}

bool SwitchEngine::setLegState(const QString &uuidOrUser, const QString &state)
{
    QString uuid = uuidOrUser;
    if (!m_legs.contains(uuid)) {
        uuid.clear();
        for (const Leg &l : m_legs) {
            if (l.accountcode == uuidOrUser || l.initialDest == uuidOrUser) {
                uuid = l.uuid;
                break;
            }
        }
    }
    if (uuid.isEmpty())
        return false;
    if (state.isEmpty()) {
        removeLeg(uuid);
        return true;
    }
    m_legs[uuid].callstate = state;
    m_db->updateChannel(m_legs[uuid]);
    return true;
}

bool SwitchEngine::setGatewayState(const QString &name, const QString &state)
{
    auto it = m_gateways.find(name);
    if (it == m_gateways.end())
        return false;
    it->state = state;
    return true;
}

bool SwitchEngine::inboundCall(const QString &from, const QString &dest, const QString &profile,
                               const QString &sourceIp, QString *uuid, QString *error)
{
    QString context;
    QString cidName;
    if (profile == QLatin1String("internal")) {
        const DirectoryUser user = m_config.users().value(from);
        if (user.id.isEmpty()) {
            *error = QStringLiteral("unknown user ") + from;
            return false;
        }
        context = user.context.isEmpty() ? QStringLiteral("default") : user.context;
        cidName = user.callerName.isEmpty() ? from : user.callerName;
    } else if (profile == QLatin1String("external")) {
        context = QStringLiteral("public");
        cidName = QStringLiteral("Outbound Call");
    } else {
        *error = QStringLiteral("unknown profile ") + profile;
        return false;
    }

    QMap<QString, QString> vars;
    vars.insert(QStringLiteral("caller_id_number"), from);
    vars.insert(QStringLiteral("caller_id_name"), cidName);
    vars.insert(QStringLiteral("destination_number"), dest);
    vars.insert(QStringLiteral("network_addr"), sourceIp);

    // First extension whose conditions all match.
    const DialplanExtension *chosen = nullptr;
    QStringList captures;
    const QVector<DialplanExtension> exts = m_config.extensions(context);
    for (const DialplanExtension &ext : exts) {
        bool all = !ext.conditions.isEmpty();
        QStringList caps;
        for (const DialplanCondition &c : ext.conditions) {
            const QRegularExpression re(c.expression);
            const auto m = re.isValid() ? re.match(vars.value(c.field)) : QRegularExpressionMatch();
            if (!re.isValid() || !m.hasMatch()) {
                all = false;
                break;
            }
            caps = m.capturedTexts();
        }
        if (all) {
            chosen = &ext;
            captures = caps;
            break;
        }
    }
    if (!chosen) {
        *error = QStringLiteral("no route for ") + dest + QStringLiteral(" in context ") + context;
        return false;
    }

    Leg leg;
    leg.uuid = newUuid();
    leg.direction = QStringLiteral("inbound");
    leg.callstate = QStringLiteral("RINGING");
    leg.accountcode = profile == QLatin1String("internal") ? from : QString();
    leg.dest = dest;
    leg.initialDest = dest;
    leg.initialCidNum = from;
    leg.cidName = cidName;
    leg.ipAddr = sourceIp;
    leg.profile = profile;
    leg.createdEpoch = epochNow();
    m_legs.insert(leg.uuid, leg);
    m_db->insertChannel(leg);
    *uuid = leg.uuid;
    const QString id = leg.uuid;

    auto subst = [&](QString text) {
        for (int i = captures.size() - 1; i >= 1; --i)
            text.replace(QStringLiteral("$%1").arg(i), captures.value(i));
        static const QRegularExpression chanVar(QStringLiteral("\\$\\{([^}]*)\\}"));
        QString out;
        int last = 0;
        auto it = chanVar.globalMatch(text);
        while (it.hasNext()) {
            const auto m = it.next();
            out += text.midRef(last, m.capturedStart() - last);
            out += vars.value(m.captured(1));
            last = m.capturedEnd();
        }
        return out + text.midRef(last);
    };

    for (const DialplanCondition &c : chosen->conditions) {
        for (const DialplanAction &a : c.actions) {
            if (!m_legs.contains(id))
                return true;  // hung up while the plan ran
            const QString data = subst(a.data);
            Leg &l = m_legs[id];
            if (a.application == QLatin1String("answer")) {
                l.callstate = QStringLiteral("ACTIVE");
                m_db->updateChannel(l);
            } else if (a.application == QLatin1String("set")) {
                const int eq = data.indexOf(QLatin1Char('='));
                if (eq > 0)
                    vars.insert(data.left(eq), data.mid(eq + 1));
            } else if (a.application == QLatin1String("log")) {
                qInfo() << "dialplan log:" << data;
            } else if (a.application == QLatin1String("lua")) {
                l.applicationData = data;
                m_db->updateChannel(l);
                CallScript script(m_folder);
                QString scriptError;
                if (!script.run(m_folder + QStringLiteral("/scripts/") + data, vars, &scriptError))
                    qWarning() << "script" << data << "failed:" << scriptError;
            } else if (a.application == QLatin1String("conference")) {
                joinConference(l, data);
                if (l.callstate != QLatin1String("ACTIVE"))
                    l.callstate = QStringLiteral("ACTIVE");
                m_db->updateChannel(l);
            } else if (a.application == QLatin1String("bridge")) {
                l.applicationData = data;
                m_db->updateChannel(l);
                QString why;
                if (!data.startsWith(QLatin1String("user/")) || !bridgeToUser(id, data.mid(5), &why)) {
                    removeLeg(id);
                    *error = why.isEmpty() ? QStringLiteral("unsupported bridge ") + data : why;
                    return false;
                }
                return true;  // a bridge ends the plan
            } else if (a.application == QLatin1String("esf_page_group")) {
                l.applicationData = data;
                l.callstate = QStringLiteral("ACTIVE");
                m_db->updateChannel(l);
            } else {
                qWarning() << "dialplan application not supported:" << a.application;
            }
        }
    }
    return true;
}

QString SwitchEngine::contactUri(const QString &contact)
{
    QString uri = contact.trimmed();
    const int lt = uri.indexOf(QLatin1Char('<'));
    const int gt = uri.indexOf(QLatin1Char('>'), lt + 1);
    if (lt >= 0 && gt > lt)
        uri = uri.mid(lt + 1, gt - lt - 1);
    return uri;
}

void SwitchEngine::legAnswered(const QString &uuid)
{
    if (!m_legs.contains(uuid))
        return;
    setLegState(uuid, QStringLiteral("ACTIVE"));
    const QString partner = m_legs.value(uuid).partner;
    if (!partner.isEmpty() && m_legs.value(partner).callstate == QLatin1String("RINGING")) {
        setLegState(partner, QStringLiteral("ACTIVE"));
        if (m_sip)
            m_sip->answerInbound(partner);
    }
}

std::vector<MediaCodec> SwitchEngine::mediaCodecs() const
{
    std::vector<std::string> prefs;
    for (const QString &name : m_config.codecs())
        prefs.push_back(name.toStdString());
    return SwitchMedia::supportedCodecs(prefs);
}

QString SwitchEngine::rtpIp() const
{
    return m_config.var(QStringLiteral("rtp_ip"), m_config.var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1")));
}

int SwitchEngine::mediaOpen(const QString &uuid)
{
    return m_media ? m_media->openLeg(uuid.toStdString()) : -1;
}

bool SwitchEngine::mediaStart(const QString &uuid, const MediaCodec &codec, const std::string &remoteIp,
                              int remotePort)
{
    if (!m_media)
        return false;
    const Leg leg = m_legs.value(uuid);
    // A bridged pair talks in a private conference of its own.
    QString conference = leg.conference;
    if (conference.isEmpty())
        conference = QStringLiteral("bridge-") + (leg.direction == QLatin1String("inbound") || leg.partner.isEmpty()
                                                      ? uuid
                                                      : leg.partner);
    if (leg.applicationData.contains(QLatin1String("mute")))
        m_media->setLegMuted(uuid.toStdString(), true);
    if (!m_media->startLeg(uuid.toStdString(), conference.toStdString(), codec, remoteIp, remotePort)) {
        qWarning() << "leg" << uuid << ": media did not start for" << codec.name.c_str() << "to" << remoteIp.c_str()
                   << remotePort;
        return false;
    }
    return true;
}

void SwitchEngine::mediaClose(const QString &uuid)
{
    if (m_media)
        m_media->closeLeg(uuid.toStdString());
}
