#include "SwitchSip.h"

#include "SipSdp.h"
#include "SwitchEngine.h"
#include "SwitchSdp.h"

#include <QDateTime>
#include <QDebug>
#include <QUuid>

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <strings.h>

namespace {

qint64 epochNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

QString userOf(const osip_uri_t *uri)
{
    return uri && uri->username ? QString::fromUtf8(uri->username) : QString();
}

bool methodIs(const osip_message *m, const char *method)
{
    return m && m->sip_method && strcasecmp(m->sip_method, method) == 0;
}

void setBody(osip_message *m, const std::string &sdp)
{
    osip_message_set_body(m, sdp.data(), sdp.size());
    osip_message_set_content_type(m, "application/sdp");
}

// Quotes a display name: no quote or backslash survives inside it.
std::string displayName(const QString &name)
{
    std::string out;
    for (const QChar c : name) {
        if (c != QLatin1Char('"') && c != QLatin1Char('\\') && c.unicode() >= 0x20)
            out += QString(c).toStdString();
    }
    return out;
}

} // namespace

SwitchSip::SwitchSip(SwitchEngine *engine, const QByteArray &secret, QObject *parent)
    : QObject(parent), m_engine(engine), m_registrar(secret, QString())
{
    configChanged();
}

SwitchSip::~SwitchSip()
{
    stop();
}

void SwitchSip::configChanged()
{
    const SwitchConfig &cfg = m_engine->config();
    m_registrar.setRealm(cfg.var(QStringLiteral("domain"), cfg.var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1"))));
}

bool SwitchSip::start(QString *error)
{
    const SwitchConfig &cfg = m_engine->config();
    const QString ip = cfg.var(QStringLiteral("sip_ip"), QStringLiteral("127.0.0.1"));
    bool okInt = false;
    bool okExt = false;
    const int internalPort = cfg.var(QStringLiteral("internal_sip_port"), QStringLiteral("5060")).toInt(&okInt);
    const int externalPort = cfg.var(QStringLiteral("external_sip_port"), QStringLiteral("5080")).toInt(&okExt);
    if (!okInt || !okExt || internalPort <= 0 || internalPort > 65535 || externalPort <= 0 || externalPort > 65535) {
        *error = QStringLiteral("bad SIP port in the configuration");
        return false;
    }
    auto handler = [this](SipProfile &p, SipStackEvent &ev) { onEvent(p, ev); };
    auto internal = std::make_unique<SipProfile>(QStringLiteral("internal"), this, handler);
    auto external = std::make_unique<SipProfile>(QStringLiteral("external"), this, handler);
    if (!internal->open(ip, internalPort, error) || !external->open(ip, externalPort, error))
        return false;
    m_internal = std::move(internal);
    m_external = std::move(external);
    configChanged();
    qInfo() << "SIP profiles up on" << ip << "internal" << internalPort << "external" << externalPort;
    return true;
}

void SwitchSip::stop()
{
    if (!m_internal)
        return;
    std::vector<QString> legs;
    for (const auto &c : m_calls)
        legs.push_back(c.first);
    for (const QString &uuid : legs)
        hangup(uuid);
    std::vector<QString> gws;
    for (const auto &g : m_gateways)
        gws.push_back(g.first);
    for (const QString &name : gws)
        dropGateway(name);
    // Closing sends the BYEs, CANCELs and unregistrations queued here
    // first; nothing more after that.
    m_internal->close();
    m_external->close();
    m_internal.reset();
    m_external.reset();
}

SipProfile *SwitchSip::profileNamed(const QString &name) const
{
    if (name == QLatin1String("internal"))
        return m_internal.get();
    if (name == QLatin1String("external"))
        return m_external.get();
    return nullptr;
}

bool SwitchSip::admitted(const SipProfile &profile, const QString &sourceIp) const
{
    if (&profile != m_internal.get())
        return true;
    const SwitchConfig &cfg = m_engine->config();
    if (sourceIp == profile.ip())
        return true;  // this machine: the program's own agent, our gateways
    const QString list = cfg.var(QStringLiteral("apply-inbound-acl"),
                                 cfg.var(QStringLiteral("local-network-acl"), QStringLiteral("lan")));
    if (!cfg.accessLists().hasList(list))
        return true;
    return cfg.accessLists().allows(list, sourceIp);
}

osip_message *SwitchSip::buildAnswer(SipProfile &profile, const SipStackEvent &ev, int status)
{
    osip_message *m = nullptr;
    const int rc = ev.tid == 0 ? profile.stack().messageBuildStatelessAnswer(ev.request, status, &m)
                               : profile.stack().messageBuildAnswer(ev.tid, status, &m);
    return rc == 0 ? m : nullptr;
}

void SwitchSip::sendAnswer(SipProfile &profile, const SipStackEvent &ev, int status, osip_message *m)
{
    if (ev.tid == 0)
        profile.stack().messageSendStatelessAnswer(ev.request, status, m);
    else
        profile.stack().messageSendAnswer(ev.tid, status, m);
}

void SwitchSip::answer(SipProfile &profile, const SipStackEvent &ev, int status, const std::string &header,
                       const std::string &value)
{
    osip_message *m = buildAnswer(profile, ev, status);
    if (!m)
        return;
    if (!header.empty())
        osip_message_set_header(m, header.c_str(), value.c_str());
    sendAnswer(profile, ev, status, m);
}

void SwitchSip::onEvent(SipProfile &profile, SipStackEvent &ev)
{
    switch (ev.type) {
    case SipStackEventType::MessageNew:
        onRequest(profile, ev);
        break;
    case SipStackEventType::CallInvite:
        onInvite(profile, ev);
        break;
    case SipStackEventType::CallReinvite:
        // Media stays as negotiated; refuse changes politely.
        profile.stack().callSendAnswer(ev.tid, 488, nullptr);
        break;
    case SipStackEventType::CallAnswered: {
        profile.stack().callSendAck(ev.did, nullptr);
        const QString uuid = uuidOf(profile, ev.cid);
        if (uuid.isEmpty())
            break;
        CallRef &call = m_calls[uuid];
        if (call.answered)
            break;
        call.answered = true;
        call.did = ev.did;
        call.ringTimer.reset();
        sdp_message *sdp = SipSdp::fromMessage(ev.response);
        const bool ok = sdp && SwitchSdp::pick(sdp, m_engine->mediaCodecs(), &call.codec, &call.remoteIp,
                                               &call.remotePort);
        if (sdp)
            sdp_message_free(sdp);
        if (!ok) {
            qInfo() << "leg" << uuid << "answered without usable audio: ending it";
            hangup(uuid);
            m_engine->killLeg(uuid);
            break;
        }
        m_engine->mediaStart(uuid, call.codec, call.remoteIp, call.remotePort);
        m_engine->legAnswered(uuid);
        break;
    }
    case SipStackEventType::CallAck:
        break;
    case SipStackEventType::CallRequestFailure:
    case SipStackEventType::CallServerFailure:
    case SipStackEventType::CallGlobalFailure:
    case SipStackEventType::CallRedirected: {
        const int status = ev.response ? osip_message_get_status_code(ev.response) : 0;
        const QString uuid = uuidOf(profile, ev.cid);
        if (!uuid.isEmpty() && (status == 401 || status == 407)) {
            if (profile.stack().automaticAction(ev.cid) == 0)
                break;  // retried with credentials; a give-up raises CallReleased
        }
        onCallEnded(profile, ev.cid, QStringLiteral("answered %1").arg(status));
        break;
    }
    case SipStackEventType::CallNoAnswer:
        onCallEnded(profile, ev.cid, QStringLiteral("no answer"));
        break;
    case SipStackEventType::CallCancelled:
        onCallEnded(profile, ev.cid, QStringLiteral("cancelled by the caller"));
        break;
    case SipStackEventType::CallClosed:
        onCallEnded(profile, ev.cid, QStringLiteral("BYE from the peer"));
        break;
    case SipStackEventType::CallReleased:
        onCallEnded(profile, ev.cid, QStringLiteral("released"));
        break;
    case SipStackEventType::RegistrationSuccess:
        onRegistration(profile, ev, true);
        break;
    case SipStackEventType::RegistrationFailure:
        onRegistration(profile, ev, false);
        break;
    default:
        break;
    }
}

QString SwitchSip::uuidOf(const SipProfile &profile, int cid) const
{
    for (const auto &c : m_calls) {
        if (c.second.profile == &profile && c.second.cid == cid)
            return c.first;
    }
    return QString();
}

void SwitchSip::onCallEnded(const SipProfile &profile, int cid, const QString &why)
{
    for (auto it = m_calls.begin(); it != m_calls.end(); ++it) {
        if (it->second.profile != &profile || it->second.cid != cid)
            continue;
        const QString uuid = it->first;
        m_calls.erase(it);
        qInfo() << "leg" << uuid << "ended:" << why;
        m_engine->mediaClose(uuid);
        m_engine->killLeg(uuid);
        return;
    }
}

void SwitchSip::onRequest(SipProfile &profile, SipStackEvent &ev)
{
    const QString source = QString::fromStdString(ev.remoteAddress);
    if (methodIs(ev.request, "OPTIONS")) {
        answer(profile, ev, 200);
        return;
    }
    if (methodIs(ev.request, "REGISTER")) {
        if (&profile != m_internal.get()) {
            answer(profile, ev, 403);
            return;
        }
        if (!admitted(profile, source)) {
            qInfo() << "REGISTER refused by the access list:" << source;
            answer(profile, ev, 403);
            return;
        }
        onRegister(profile, ev);
        return;
    }
    answer(profile, ev, 405, "Allow", "INVITE, ACK, BYE, CANCEL, OPTIONS, REGISTER");
}

SwitchRegistrar::PasswordLookup SwitchSip::directory() const
{
    const SwitchConfig &cfg = m_engine->config();
    return [&cfg](const QString &user, QString *password) {
        auto it = cfg.users().constFind(user);
        if (it == cfg.users().constEnd())
            return false;
        *password = it->password;
        return true;
    };
}

void SwitchSip::onRegister(SipProfile &profile, SipStackEvent &ev)
{
    SwitchRegistrar::Result r = m_registrar.handle(ev.request, QString::fromStdString(ev.remoteAddress),
                                                   ev.remotePort, epochNow(), directory());
    if (r.outcome != SwitchRegistrar::Outcome::Authorized) {
        if (r.outcome == SwitchRegistrar::Outcome::Refused)
            qInfo() << "REGISTER refused from" << ev.remoteAddress.c_str() << ":" << r.reason;
        answer(profile, ev, r.status, r.challengeHeader, r.challengeValue);
        return;
    }
    if (r.unbind) {
        m_engine->removeRegistration(r.user);
    } else if (r.bind) {
        r.registration.answer = AnswerMode::Sip;
        if (!m_engine->addRegistration(r.registration)) {
            answer(profile, ev, 500);
            return;
        }
    }
    osip_message *m = buildAnswer(profile, ev, 200);
    if (!m)
        return;
    if (r.bind) {
        const QString contact = r.registration.contact + QStringLiteral(";expires=%1").arg(r.grantedExpires);
        osip_message_set_contact(m, contact.toUtf8().constData());
        osip_message_set_header(m, "Expires", QByteArray::number(r.grantedExpires).constData());
    }
    sendAnswer(profile, ev, 200, m);
}

void SwitchSip::onInvite(SipProfile &profile, SipStackEvent &ev)
{
    SipStack &stack = profile.stack();
    const QString source = QString::fromStdString(ev.remoteAddress);
    if (!admitted(profile, source)) {
        qInfo() << "INVITE refused by the access list:" << source;
        stack.callSendAnswer(ev.tid, 403, nullptr);
        return;
    }
    const osip_message *req = ev.request;
    QString from = userOf(req->from ? req->from->url : nullptr);
    const QString dest = userOf(req->req_uri);
    if (&profile == m_internal.get()) {
        const SwitchRegistrar::Result r = m_registrar.handle(req, source, ev.remotePort, epochNow(), directory());
        if (r.outcome != SwitchRegistrar::Outcome::Authorized) {
            osip_message *m = nullptr;
            if (stack.callBuildAnswer(ev.tid, r.status, &m) == 0 && m) {
                if (!r.challengeHeader.empty())
                    osip_message_set_header(m, r.challengeHeader.c_str(), r.challengeValue.c_str());
                stack.callSendAnswer(ev.tid, r.status, m);
            }
            return;
        }
        from = r.user;
    }

    // The peer's offer must hold something we can carry.
    MediaCodec codec;
    std::string remoteIp;
    int remotePort = 0;
    sdp_message *sdp = SipSdp::fromMessage(req);
    const bool usable = sdp && SwitchSdp::pick(sdp, m_engine->mediaCodecs(), &codec, &remoteIp, &remotePort);
    if (sdp)
        sdp_message_free(sdp);
    if (!usable) {
        stack.callSendAnswer(ev.tid, 488, nullptr);
        return;
    }

    QString uuid;
    QString why;
    if (!m_engine->inboundCall(from, dest, profile.name(), source, &uuid, &why)) {
        qInfo() << "inbound call from" << from << "to" << dest << "refused:" << why;
        stack.callSendAnswer(ev.tid, 404, nullptr);
        return;
    }
    CallRef &call = m_calls[uuid];
    call.profile = &profile;
    call.cid = ev.cid;
    call.did = ev.did;
    call.tid = ev.tid;
    call.inbound = true;
    call.codec = codec;
    call.remoteIp = remoteIp;
    call.remotePort = remotePort;
    if (m_engine->legCallstate(uuid) == QLatin1String("ACTIVE"))
        answerInbound(uuid);
    else if (m_engine->legCallstate(uuid).isEmpty())
        hangup(uuid);  // the plan ended the call already
    else
        stack.callSendAnswer(ev.tid, 180, nullptr);
}

void SwitchSip::answerInbound(const QString &uuid)
{
    auto it = m_calls.find(uuid);
    if (it == m_calls.end() || !it->second.inbound || it->second.answered)
        return;
    CallRef &call = it->second;
    SipStack &stack = call.profile->stack();
    call.localPort = m_engine->mediaOpen(uuid);
    if (call.localPort <= 0) {
        stack.callSendAnswer(call.tid, 503, nullptr);
        m_calls.erase(it);
        m_engine->killLeg(uuid);
        return;
    }
    osip_message *m = nullptr;
    if (stack.callBuildAnswer(call.tid, 200, &m) != 0 || !m)
        return;
    setBody(m, SwitchSdp::describe(m_engine->rtpIp().toStdString(), call.localPort, {call.codec},
                                   static_cast<unsigned long>(epochNow())));
    stack.callSendAnswer(call.tid, 200, m);
    call.answered = true;
    m_engine->mediaStart(uuid, call.codec, call.remoteIp, call.remotePort);
}

bool SwitchSip::invite(const QString &uuid, const QString &profileName, const QString &requestUri,
                       const QString &destIp, int destPort, const QString &cidNum, const QString &cidName,
                       const QString &authUser, const QString &authPassword)
{
    SipProfile *profile = profileNamed(profileName);
    if (!profile)
        return false;
    SipStack &stack = profile->stack();
    const int localPort = m_engine->mediaOpen(uuid);
    if (localPort <= 0) {
        qWarning() << "leg" << uuid << ": no free RTP port";
        return false;
    }
    const std::string from = "\"" + displayName(cidName) + "\" <sip:" + cidNum.toStdString() + "@" +
                             profile->ip().toStdString() + ":" + std::to_string(profile->port()) + ">";
    const std::string route = "<sip:" + destIp.toStdString() + ":" + std::to_string(destPort) + ";lr>";
    stack.lock();
    osip_message *m = nullptr;
    int cid = -1;
    if (stack.callBuildInitialInvite(&m, requestUri.toUtf8().constData(), from.c_str(), route.c_str(), nullptr) == 0 &&
        m) {
        setBody(m, SwitchSdp::describe(m_engine->rtpIp().toStdString(), localPort, m_engine->mediaCodecs(),
                                       static_cast<unsigned long>(epochNow())));
        if (!authUser.isEmpty()) {
            stack.clearAuthenticationInfo();
            stack.addAuthenticationInfo(authUser.toUtf8().constData(), authUser.toUtf8().constData(),
                                        authPassword.toUtf8().constData(), nullptr, nullptr);
        }
        cid = stack.callSendInitialInvite(m);
    }
    stack.unlock();
    if (cid <= 0) {
        m_engine->mediaClose(uuid);
        return false;
    }
    CallRef &call = m_calls[uuid];
    call.profile = profile;
    call.cid = cid;
    call.localPort = localPort;
    call.ringTimer = std::make_unique<QTimer>();
    call.ringTimer->setSingleShot(true);
    connect(call.ringTimer.get(), &QTimer::timeout, this, [this, uuid] {
        qInfo() << "leg" << uuid << "not answered in time";
        hangup(uuid);
        m_engine->killLeg(uuid);
    });
    call.ringTimer->start(m_ringTimeoutMs);
    return true;
}

void SwitchSip::hangup(const QString &uuid)
{
    auto it = m_calls.find(uuid);
    if (it == m_calls.end())
        return;
    CallRef &call = it->second;
    SipStack &stack = call.profile->stack();
    if (call.inbound && !call.answered)
        stack.callSendAnswer(call.tid, 486, nullptr);
    else
        stack.callTerminate(call.cid, 0);
    m_calls.erase(it);
    m_engine->mediaClose(uuid);
}

// ---- gateways ------------------------------------------------------------

void SwitchSip::startGateway(const GatewayConfig &cfg)
{
    SipProfile *profile = profileNamed(cfg.profile);
    if (!cfg.registerEnabled || !profile) {
        m_engine->setGatewayState(cfg.name, cfg.registerEnabled ? QStringLiteral("FAIL_WAIT") : QStringLiteral("NOREG"));
        return;
    }
    dropGateway(cfg.name);
    Gateway &gw = m_gateways[cfg.name];
    gw.config = cfg;
    gw.profile = profile;
    bool ok = false;
    const int expires = cfg.expireSeconds.toInt(&ok);
    gw.expires = ok && expires >= 60 ? expires : 3600;
    const std::string from = "sip:" + cfg.username.toStdString() + "@" + cfg.realm.toStdString();
    const std::string registrar = "sip:" + cfg.realm.toStdString();
    gw.rid = profile->stack().registerBuildInitialRegister(from.c_str(), registrar.c_str(), nullptr, gw.expires,
                                                           nullptr);
    if (gw.rid <= 0) {
        qWarning() << "gateway" << cfg.name << ": cannot build a REGISTER for realm" << cfg.realm;
        m_engine->setGatewayState(cfg.name, QStringLiteral("FAIL_WAIT"));
        scheduleGateway(cfg.name, m_gatewayRetrySeconds);
        return;
    }
    m_engine->setGatewayState(cfg.name, QStringLiteral("TRYING"));
    sendGatewayRegister(gw, gw.expires);
}

void SwitchSip::sendGatewayRegister(Gateway &gw, int expires)
{
    SipStack &stack = gw.profile->stack();
    // The stack answers a challenge with the first credentials it holds:
    // hold only this gateway's while its REGISTER is built.
    stack.lock();
    stack.clearAuthenticationInfo();
    stack.addAuthenticationInfo(gw.config.username.toUtf8().constData(), gw.config.username.toUtf8().constData(),
                                gw.config.password.toUtf8().constData(), nullptr, nullptr);
    osip_message *m = nullptr;
    if (stack.registerBuildRegister(gw.rid, expires, &m) == 0 && m)
        stack.registerSendRegister(gw.rid, m);
    stack.unlock();
}

void SwitchSip::scheduleGateway(const QString &name, int seconds)
{
    auto it = m_gateways.find(name);
    if (it == m_gateways.end())
        return;
    Gateway &gw = it->second;
    gw.timer = std::make_unique<QTimer>();
    gw.timer->setSingleShot(true);
    connect(gw.timer.get(), &QTimer::timeout, this, [this, name] {
        auto g = m_gateways.find(name);
        if (g == m_gateways.end())
            return;
        if (g->second.rid <= 0) {
            startGateway(g->second.config);
            return;
        }
        g->second.challenges = 0;
        sendGatewayRegister(g->second, g->second.expires);
    });
    gw.timer->start(seconds * 1000);
}

void SwitchSip::onRegistration(SipProfile &profile, SipStackEvent &ev, bool success)
{
    for (auto &entry : m_gateways) {
        Gateway &gw = entry.second;
        if (gw.profile != &profile || gw.rid != ev.rid)
            continue;
        if (success) {
            gw.challenges = 0;
            m_engine->setGatewayState(gw.config.name, QStringLiteral("REGED"));
            scheduleGateway(gw.config.name, std::max(5, gw.expires / 2));
            return;
        }
        const int status = ev.response ? osip_message_get_status_code(ev.response) : 0;
        if ((status == 401 || status == 407) && ++gw.challenges <= 2) {
            sendGatewayRegister(gw, gw.expires);
            return;
        }
        qInfo() << "gateway" << gw.config.name << "registration failed, status" << status;
        gw.challenges = 0;
        m_engine->setGatewayState(gw.config.name, QStringLiteral("FAIL_WAIT"));
        scheduleGateway(gw.config.name, m_gatewayRetrySeconds);
        return;
    }
}

void SwitchSip::dropGateway(const QString &name)
{
    auto it = m_gateways.find(name);
    if (it == m_gateways.end())
        return;
    Gateway &gw = it->second;
    if (gw.rid > 0) {
        sendGatewayRegister(gw, 0);
        gw.profile->stack().registerRemove(gw.rid);
    }
    m_gateways.erase(it);
}
