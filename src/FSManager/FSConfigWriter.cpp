#include "FSConfigWriter.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

namespace {

const char *const kUserFolder = "conf/directory/default";
const char *const kPublicDialplanFolder = "conf/dialplan/public";
const char *const kInternalProfileFolder = "conf/sip_profiles/internal";
const char *const kExternalProfileFolder = "conf/sip_profiles/external";
const char *const kAutoloadFolder = "conf/autoload_configs";
const char *const kCustomFolder = "conf/custom_configs";
const char *const kScriptFolder = "scripts";

// Empty while no switch folder is set: nothing is then written or deleted
// (an empty folder would otherwise turn every path into one under "/").
QString folderOf(const QString &dir, const char *sub)
{
    if (dir.isEmpty())
        return QString();
    return QStringLiteral("%1/%2").arg(dir, QLatin1String(sub));
}

void refuse(const char *what, const QString &reason)
{
    qWarning().noquote() << QStringLiteral("switch configuration: %1 not written: %2")
                                .arg(QLatin1String(what), reason);
}

// A character the switch's XML reader or its dialplan cannot carry inside
// one value: C0 controls (line breaks included) and DEL.
bool hasControlCharacter(const QString &value)
{
    for (const QChar c : value) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f)
            return true;
    }
    return false;
}

bool hasWhitespace(const QString &value)
{
    for (const QChar c : value) {
        if (c.isSpace())
            return true;
    }
    return false;
}

bool isValidPort(int port)
{
    return port >= 1 && port <= 65535;
}

bool isIPv4(const QString &text)
{
    QHostAddress a;
    return a.setAddress(text) && a.protocol() == QAbstractSocket::IPv4Protocol;
}

// Host names as RFC 1123 allows them, or a dotted IPv4 address.
bool isValidServer(const QString &server)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9.-]{0,252})$"));
    return re.match(server).hasMatch();
}

QString plainTextProblem(const char *what, const QString &value)
{
    if (hasControlCharacter(value))
        return QStringLiteral("%1 contains a control character or a line break").arg(QLatin1String(what));
    return {};
}

// Writes the whole file to a temporary file beside it and renames it over the
// old one (rename(2) replaces atomically), so a reader sees either version.
// The leaf folder is created when missing; its parent must exist.
bool writeWhole(const QString &folder, const QString &fileName, const QString &content)
{
    if (folder.isEmpty()) {
        qWarning().noquote() << QStringLiteral("switch configuration: %1 not written: no switch folder set").arg(fileName);
        return false;
    }
    QDir d(folder);
    if (!d.exists() && !QDir().mkdir(folder)) {
        qWarning().noquote() << QStringLiteral("switch configuration: cannot create folder %1").arg(folder);
        return false;
    }
    const QString path = folder + QLatin1Char('/') + fileName;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << QStringLiteral("switch configuration: cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = content.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        qWarning().noquote() << QStringLiteral("switch configuration: cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << QStringLiteral("switch configuration: cannot replace %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool removeIfPresent(const QString &folder, const QString &fileName)
{
    if (folder.isEmpty())
        return false;
    const QString path = folder + QLatin1Char('/') + fileName;
    QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return true;
    if (QFile::remove(path))
        return true;
    qWarning().noquote() << QStringLiteral("switch configuration: cannot delete %1").arg(path);
    return false;
}

// network_addr is the caller's source address, so a trunk given by host name
// only matches when the name is turned into its addresses here; a name that
// does not resolve stays as written (and is logged: it will not match).
QString addressExpression(const QString &server)
{
    if (QHostAddress(server).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol)
        return FSConfigWriter::regexEscape(server);
    const QHostInfo info = QHostInfo::fromName(server);
    QStringList parts;
    for (const QHostAddress &a : info.addresses()) {
        if (a.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const QString e = FSConfigWriter::regexEscape(a.toString());
        if (!parts.contains(e))
            parts << e;
    }
    if (parts.isEmpty()) {
        qWarning().noquote() << QStringLiteral(
            "switch configuration: trunk server %1 does not resolve; inbound trunk calls match its name only")
                                    .arg(server);
        return FSConfigWriter::regexEscape(server);
    }
    return parts.join(QLatin1Char('|'));
}

// Lua pattern matching every character that is not allowed through into
// the reporting command: digits, ASCII letters and + * # . _ -
const char kCallerFilter[] = "[^0-9A-Za-z%+%*#%._%-]";

QString luaScript(const char *type, int httpPort)
{
    // A variable the call does not carry becomes an empty argument instead of
    // a Lua error, and every value is one single-quoted argument, so an empty
    // or blank caller cannot shift the conference into another position.
    // A trunk caller chooses its own caller id: before a value goes into the
    // command line everything but the characters a SIP user part or a
    // conference number needs is dropped, so no quote, blank, semicolon,
    // "$(", backtick or line feed reaches os.execute, whether or not the
    // switch runs it through a shell. The set is spelt as ASCII ranges so it
    // does not depend on the C locale, and the extra parentheses keep only
    // the text of string.gsub's two results.
    return QStringLiteral(
               "local caller=session:getVariable(\"caller_num\") or \"\";\n"
               "local number=session:getVariable(\"destination_number\") or \"\";\n"
               "local conference=session:getVariable(\"called_num\") or \"\";\n"
               "\n"
               "local safe_caller=(string.gsub(caller, \"%3\", \"\"));\n"
               "local safe_number=(string.gsub(number, \"%3\", \"\"));\n"
               "local safe_conference=(string.gsub(conference, \"%3\", \"\"));\n"
               "\n"
               "local os = require\"os\"\n"
               "local cmd = \"fshttp '\"..safe_caller..\"' '\"..safe_number..\"' '\"..safe_conference..\"' %1 %2\"\n"
               "os.execute(cmd)\n")
        .arg(QLatin1String(type), QString::number(httpPort), QLatin1String(kCallerFilter));
}

bool writeScript(const QString &dir, const char *fileName, const char *type, int httpPort)
{
    if (!isValidPort(httpPort)) {
        refuse(fileName, QStringLiteral("HTTP port %1 is outside 1..65535").arg(httpPort));
        return false;
    }
    return writeWhole(folderOf(dir, kScriptFolder), QLatin1String(fileName), luaScript(type, httpPort));
}

// A registering gateway; the expiry line only when `expire` is given.
QString gatewayXml(const QString &name, const QString &host, int port, const QString &user, const QString &password,
                   const QString *expire)
{
    QString xml = QStringLiteral("<include>\n"
                                 "  <gateway name=\"%1\">\n"
                                 "    <param name=\"realm\" value=\"%2:%3\"/>\n"
                                 "    <param name=\"username\" value=\"%4\"/>\n"
                                 "    <param name=\"password\" value=\"%5\"/>\n"
                                 "    <param name=\"register\" value=\"true\"/>\n")
                      .arg(FSConfigWriter::xmlEscape(name), FSConfigWriter::xmlEscape(host), QString::number(port),
                           FSConfigWriter::xmlEscape(user), FSConfigWriter::xmlEscape(password));
    if (expire)
        xml += QStringLiteral("    <param name=\"expire-seconds\" value=\"%1\"/>\n").arg(FSConfigWriter::xmlEscape(*expire));
    return xml + QStringLiteral("  </gateway>\n</include>\n");
}

} // namespace

QString FSConfigWriter::xmlEscape(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&apos;"); break;
        default: out += c; break;
        }
    }
    return out;
}

QString FSConfigWriter::regexEscape(const QString &value)
{
    static const QString special = QStringLiteral("\\^$.|?*+()[]{}");
    QString out;
    out.reserve(value.size() + 4);
    for (const QChar c : value) {
        if (special.contains(c))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

bool FSConfigWriter::isSafeFileId(const QString &id)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Za-z_+-][0-9A-Za-z_.+-]{0,63}$"));
    return re.match(id).hasMatch();
}

QString FSConfigWriter::rtpName(const QString &conference)
{
    return QStringLiteral("rtp%1").arg(conference);
}

QString FSConfigWriter::internalGatewayName(const QString &conference)
{
    return QStringLiteral("ingw%1").arg(rtpName(conference));
}

QString FSConfigWriter::externalGatewayName(const QString &conference)
{
    return QStringLiteral("exgw%1").arg(rtpName(conference));
}

int FSConfigWriter::trunkPort(const QString &portText)
{
    bool ok = false;
    const int port = portText.toInt(&ok, 10);
    return ok ? port : 0;
}

QString FSConfigWriter::trunkRealm(const QString &server, const QString &portText)
{
    return QStringLiteral("%1:%2").arg(server, QString::number(trunkPort(portText)));
}

int FSConfigWriter::prefixLength(const QString &netmask)
{
    const QStringList parts = netmask.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    quint32 mask = 0;
    for (const QString &p : parts) {
        bool ok = false;
        const uint v = p.toUInt(&ok, 10);
        if (!ok || v > 255)
            return 0;
        mask = (mask << 8) | v;
    }
    int n = 0;
    while (n < 32 && (mask & (0x80000000u >> n)))
        ++n;
    return n;
}

QString FSConfigWriter::checkUser(const QString &id, const QString &callerName, const QString &password)
{
    if (!isSafeFileId(id))
        return QStringLiteral("user id \"%1\" must be 1 to 64 of the characters 0-9 A-Z a-z _ . + - and not start "
                              "with a dot")
            .arg(id);
    QString p = plainTextProblem("name", callerName);
    if (p.isEmpty())
        p = plainTextProblem("password", password);
    return p;
}

QString FSConfigWriter::checkTrunk(const QString &server, const QString &portText, const QString &number,
                                   const QString &password, const QString &expire)
{
    if (!isValidServer(server))
        return QStringLiteral("trunk server \"%1\" is not a host name or IPv4 address").arg(server);
    if (!isValidPort(trunkPort(portText)))
        return QStringLiteral("trunk port \"%1\" is not a number from 1 to 65535").arg(portText);
    if (number.isEmpty() || hasWhitespace(number) || hasControlCharacter(number))
        return QStringLiteral("trunk number \"%1\" must be non-empty without blanks or control characters").arg(number);
    QString p = plainTextProblem("trunk password", password);
    if (!p.isEmpty())
        return p;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!expire.isEmpty() && !digits.match(expire).hasMatch())
        return QStringLiteral("trunk expiry \"%1\" is not a number of seconds").arg(expire);
    return {};
}

QString FSConfigWriter::checkRtpUrl(const QString &rtpUrl)
{
    const QStringList parts = rtpUrl.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return QStringLiteral("RTP address \"%1\" must be host:port").arg(rtpUrl);
    const QString &host = parts.at(0);
    if (host.isEmpty() || hasWhitespace(host) || hasControlCharacter(host))
        return QStringLiteral("RTP address \"%1\" has no usable host").arg(rtpUrl);
    if (!isValidPort(trunkPort(parts.at(1))))
        return QStringLiteral("RTP address \"%1\" has no port from 1 to 65535").arg(rtpUrl);
    return {};
}

bool FSConfigWriter::writeUser(const QString &dir, const QString &id, const QString &callerName,
                               const QString &password)
{
    const QString problem = checkUser(id, callerName, password);
    if (!problem.isEmpty()) {
        refuse("directory user", problem);
        return false;
    }
    const QString name = callerName.isEmpty() ? id : callerName;
    const QString pass = password.isEmpty() ? QStringLiteral("$${default_password}") : xmlEscape(password);
    const QString eid = xmlEscape(id);
    const QString content =
        QStringLiteral("<include>\n"
                       "  <user id=\"%1\">\n"
                       "    <params>\n"
                       "      <param name=\"password\" value=\"%2\"/>\n"
                       "      <param name=\"vm-password\" value=\"%2\"/>\n"
                       "    </params>\n"
                       "    <variables>\n"
                       "      <variable name=\"toll_allow\" value=\"domestic,international,local\"/>\n"
                       "      <variable name=\"accountcode\" value=\"%1\"/>\n"
                       "      <variable name=\"user_context\" value=\"default\"/>\n"
                       "      <variable name=\"effective_caller_id_name\" value=\"%3\"/>\n"
                       "      <variable name=\"effective_caller_id_number\" value=\"%1\"/>\n"
                       "      <variable name=\"outbound_caller_id_name\" value=\"$${outbound_caller_name}\"/>\n"
                       "      <variable name=\"outbound_caller_id_number\" value=\"$${outbound_caller_id}\"/>\n"
                       "      <variable name=\"callgroup\" value=\"techsupport\"/>\n"
                       "    </variables>\n"
                       "  </user>\n"
                       "</include>")
            .arg(eid, pass, xmlEscape(name));
    return writeWhole(folderOf(dir, kUserFolder), id + QLatin1String(".xml"), content);
}

bool FSConfigWriter::removeUser(const QString &dir, const QString &id)
{
    if (!isSafeFileId(id)) {
        qWarning().noquote() << QStringLiteral("switch configuration: refused to delete user \"%1\": not a user id").arg(id);
        return false;
    }
    return removeIfPresent(folderOf(dir, kUserFolder), id + QLatin1String(".xml"));
}

bool FSConfigWriter::writeRtpDialplan(const QString &dir, const QString &conference, const QString &host, int port)
{
    const QString name = rtpName(conference);
    if (!isSafeFileId(name)) {
        refuse("RTP dialplan", QStringLiteral("conference \"%1\" is not usable in a file name").arg(conference));
        return false;
    }
    if (host.isEmpty() || hasWhitespace(host) || hasControlCharacter(host) || !isValidPort(port)) {
        refuse("RTP dialplan", QStringLiteral("RTP target \"%1\" port %2 is not usable").arg(host, QString::number(port)));
        return false;
    }
    const QString en = xmlEscape(name);
    const QString content =
        QStringLiteral("<include>\n"
                       "  <extension name=\"%1\">\n"
                       "    <condition field=\"destination_number\" expression=\"^(%2)$\">\n"
                       "    <action application=\"answer\"/>\n"
                       "    <action application=\"esf_page_group\" data=\"%3 %4\"/>\n"
                       "    </condition>\n"
                       "  </extension>\n"
                       "</include>\n")
            .arg(en, xmlEscape(regexEscape(name)), xmlEscape(host), QString::number(port));
    return writeWhole(folderOf(dir, kPublicDialplanFolder), name + QLatin1String(".xml"), content);
}

bool FSConfigWriter::writeTrunkDialplan(const QString &dir, const QString &number, const QString &conference,
                                        const QString &server, int port)
{
    const QString base = QStringLiteral("voip%1").arg(conference);
    if (!isSafeFileId(base)) {
        refuse("trunk dialplan", QStringLiteral("conference \"%1\" is not usable in a file name").arg(conference));
        return false;
    }
    const QString problem = checkTrunk(server, QString::number(port), number, QString(), QString());
    if (!problem.isEmpty()) {
        refuse("trunk dialplan", problem);
        return false;
    }
    const QString ec = xmlEscape(conference);
    const QString content =
        QStringLiteral("<include>\n"
                       "  <extension name=\"%1voiptrunk%2:%3\">\n"
                       "    <condition field=\"network_addr\" expression=\"^(%4)$\">\n"
                       "      <action application=\"log\" data=\"ipaddr=$1\"/>\n"
                       "    </condition>\n"
                       "    <condition field=\"destination_number\" expression=\"^(%5)$\">\n"
                       "      <action application=\"answer\"/>\n"
                       "      <action application=\"set\" data=\"called_num=%1\"/>\n"
                       "      <action application=\"set\" data=\"caller_num=${caller_id_number}\"/>\n"
                       "      <action application=\"lua\" data=\"voiptrunk_conference.lua\"/>\n"
                       "      <action application=\"conference\" data=\"%1@cdquality++flags{endconf}\"/>\n"
                       "    </condition>\n"
                       "  </extension>\n"
                       "</include>\n")
            .arg(ec, xmlEscape(server), QString::number(port), xmlEscape(addressExpression(server)),
                 xmlEscape(regexEscape(number)));
    return writeWhole(folderOf(dir, kPublicDialplanFolder), base + QLatin1String(".xml"), content);
}

void FSConfigWriter::removeDialplan(const QString &dir, const QString &fileName)
{
    if (!isSafeFileId(fileName)) {
        qWarning().noquote() << QStringLiteral("switch configuration: refused to delete dialplan \"%1\"").arg(fileName);
        return;
    }
    removeIfPresent(folderOf(dir, kPublicDialplanFolder), fileName);
}

bool FSConfigWriter::writeInternalGateway(const QString &dir, const QString &name, const QString &ip, int port,
                                          const QString &user, const QString &password)
{
    if (!isSafeFileId(name)) {
        refuse("internal gateway", QStringLiteral("gateway name \"%1\" is not usable in a file name").arg(name));
        return false;
    }
    if (!isIPv4(ip) || !isValidPort(port)) {
        refuse("internal gateway", QStringLiteral("internal address %1:%2 is not an IPv4 address and port").arg(ip, QString::number(port)));
        return false;
    }
    QString problem = plainTextProblem("gateway user", user);
    if (problem.isEmpty())
        problem = plainTextProblem("gateway password", password);
    if (!problem.isEmpty()) {
        refuse("internal gateway", problem);
        return false;
    }
    return writeWhole(folderOf(dir, kInternalProfileFolder), name + QLatin1String(".xml"),
                      gatewayXml(name, ip, port, user, password, nullptr));
}

bool FSConfigWriter::writeExternalGateway(const QString &dir, const QString &name, const QString &server, int port,
                                          const QString &user, const QString &password, const QString &expire)
{
    if (!isSafeFileId(name)) {
        refuse("trunk gateway", QStringLiteral("gateway name \"%1\" is not usable in a file name").arg(name));
        return false;
    }
    const QString problem = checkTrunk(server, QString::number(port), user, password, expire);
    if (!problem.isEmpty()) {
        refuse("trunk gateway", problem);
        return false;
    }
    return writeWhole(folderOf(dir, kExternalProfileFolder), name + QLatin1String(".xml"),
                      gatewayXml(name, server, port, user, password, &expire));
}

bool FSConfigWriter::writeRtpGroup(const QString &dir, const QString &conference, const QString &internalIp,
                                   int internalPort, const QString &rtpUrl)
{
    const QString problem = checkRtpUrl(rtpUrl);
    if (!problem.isEmpty()) {
        refuse("RTP output", problem);
        return false;
    }
    const QStringList parts = rtpUrl.split(QLatin1Char(':'));
    const QString host = parts.at(0);
    const int port = trunkPort(parts.at(1));
    const QString name = rtpName(conference);
    if (!writeUser(dir, name, name, name))
        return false;
    if (!writeRtpDialplan(dir, conference, host, port))
        return false;
    return writeInternalGateway(dir, internalGatewayName(conference), internalIp, internalPort, name, name);
}

bool FSConfigWriter::removeRtpGroup(const QString &dir, const QString &conference)
{
    const QString name = rtpName(conference);
    if (!isSafeFileId(name)) {
        qWarning().noquote() << QStringLiteral("switch configuration: refused to delete RTP files of \"%1\"").arg(conference);
        return true;
    }
    removeUser(dir, name);
    removeDialplan(dir, name + QLatin1String(".xml"));
    removeIfPresent(folderOf(dir, kInternalProfileFolder), internalGatewayName(conference) + QLatin1String(".xml"));
    return true;
}

bool FSConfigWriter::writeTrunkGroup(const QString &dir, const QString &conference, const QString &server, int port,
                                     const QString &number, const QString &password, const QString &name,
                                     const QString &expire)
{
    Q_UNUSED(name) // the trunk's display name is not part of the switch's files
    const QString problem = checkTrunk(server, QString::number(port), number, password, expire);
    if (!problem.isEmpty()) {
        refuse("SIP trunk", problem);
        return false;
    }
    if (!writeTrunkDialplan(dir, number, conference, server, port))
        return false;
    return writeExternalGateway(dir, externalGatewayName(conference), server, port, number, password, expire);
}

bool FSConfigWriter::removeTrunkGroup(const QString &dir, const QString &conference)
{
    const QString base = QStringLiteral("voip%1").arg(conference);
    if (!isSafeFileId(base)) {
        qWarning().noquote() << QStringLiteral("switch configuration: refused to delete trunk files of \"%1\"").arg(conference);
        return true;
    }
    removeDialplan(dir, base + QLatin1String(".xml"));
    removeIfPresent(folderOf(dir, kExternalProfileFolder), externalGatewayName(conference) + QLatin1String(".xml"));
    return true;
}

bool FSConfigWriter::writeAcl(const QString &dir, const QString &internalIp, const QString &internalNetmask)
{
    const int prefix = prefixLength(internalNetmask);
    QString lanLine;
    if (prefix >= 1) {
        if (!isIPv4(internalIp)) {
            refuse("access list", QStringLiteral("internal address \"%1\" is not an IPv4 address").arg(internalIp));
            return false;
        }
        lanLine = QStringLiteral("      <node type=\"allow\" cidr=\"%1/%2\"/>\n")
                      .arg(xmlEscape(internalIp), QString::number(prefix));
    } else {
        lanLine = QStringLiteral("      <node type=\"allow\" cidr=\"192.168.0.0/16\"/>\n");
    }
    const QString content = QStringLiteral("<configuration name=\"acl.conf\" description=\"Network Lists\">\n"
                                           "  <network-lists>\n"
                                           "    <list name=\"lan\" default=\"deny\">\n"
                                           "      <node type=\"allow\" cidr=\"10.0.0.0/8\"/>\n"
                                           "      <node type=\"allow\" cidr=\"172.16.0.0/12\"/>\n")
        + lanLine
        + QStringLiteral("    </list>\n"
                         "    <list name=\"domains\" default=\"deny\">\n"
                         "      <node type=\"allow\" domain=\"$${domain}\"/>\n"
                         "    </list>\n"
                         "  </network-lists>\n"
                         "</configuration>\n");
    return writeWhole(folderOf(dir, kAutoloadFolder), QStringLiteral("acl.conf.xml"), content);
}

bool FSConfigWriter::writeSipConfigs(const QString &dir, const QString &internalIp, int internalPort, bool natEnabled,
                                     const QString &externalIp, int externalPort, const QString &codecs)
{
    if (!isIPv4(internalIp)) {
        refuse("SIP settings", QStringLiteral("internal address \"%1\" is not an IPv4 address").arg(internalIp));
        return false;
    }
    if (natEnabled && !isIPv4(externalIp)) {
        refuse("SIP settings", QStringLiteral("external address \"%1\" is not an IPv4 address").arg(externalIp));
        return false;
    }
    if (!isValidPort(internalPort) || !isValidPort(externalPort)) {
        refuse("SIP settings", QStringLiteral("SIP ports %1 and %2 must be from 1 to 65535").arg(internalPort).arg(externalPort));
        return false;
    }
    static const QRegularExpression codecList(QStringLiteral("^[A-Za-z0-9,]*$"));
    if (!codecList.match(codecs).hasMatch()) {
        refuse("SIP settings", QStringLiteral("codec list \"%1\" is not a list of codec names").arg(codecs));
        return false;
    }
    const QString ip = xmlEscape(internalIp);
    const QString ext = natEnabled ? QStringLiteral("autonat:%1").arg(xmlEscape(externalIp)) : ip;
    const QString content =
        QStringLiteral("<include>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"internal_sip_port=%1\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"external_sip_port=%2\"/>\n"
                       "</include>\n"
                       "<include>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"global_codec_prefs=%3\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"outbound_codec_prefs=%3\"/>\n"
                       "</include>\n"
                       "<include>\n"
                       "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"rtp_ip=%4\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"sip_ip=%4\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"external_rtp_ip=%5\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"external_sip_ip=%5\"/>\n"
                       "</include>\n"
                       "<include>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"local-network-acl=lan\"/>\n"
                       "  <X-PRE-PROCESS cmd=\"set\" data=\"apply-nat-acl=rfc1918.auto\"/>\n"
                       "</include>\n")
            .arg(QString::number(internalPort), QString::number(externalPort), codecs, ip, ext);
    return writeWhole(folderOf(dir, kCustomFolder), QStringLiteral("sip_configs.xml"), content);
}

bool FSConfigWriter::writeSwitchConf(const QString &dir, int rtpStartPort, int rtpEndPort)
{
    if (!isValidPort(rtpStartPort) || !isValidPort(rtpEndPort) || rtpStartPort > rtpEndPort) {
        refuse("core settings",
               QStringLiteral("RTP port range %1..%2 is not within 1..65535 in order").arg(rtpStartPort).arg(rtpEndPort));
        return false;
    }
    const QString content = QStringLiteral("<configuration name=\"switch.conf\" description=\"Core Configuration\">\n"
                                           "  <settings>\n"
                                           "    <param name=\"max-db-handles\" value=\"50\"/>\n"
                                           "    <param name=\"db-handle-timeout\" value=\"10\"/>\n"
                                           "    <param name=\"max-sessions\" value=\"1000\"/>\n"
                                           "    <param name=\"sessions-per-second\" value=\"100\"/>\n"
                                           "    <param name=\"loglevel\" value=\"debug\"/>\n"
                                           "    <param name=\"mailer-app\" value=\"sendmail\"/>\n"
                                           "    <param name=\"mailer-app-args\" value=\"-t\"/>\n"
                                           "    <param name=\"dump-cores\" value=\"yes\"/>\n"
                                           "    <param name=\"rtp-start-port\" value=\"%1\"/>\n"
                                           "    <param name=\"rtp-end-port\" value=\"%2\"/>\n"
                                           "    <param name=\"rtp-enable-zrtp\" value=\"false\"/>\n"
                                           "  </settings>\n"
                                           "</configuration>\n")
                                .arg(rtpStartPort)
                                .arg(rtpEndPort);
    return writeWhole(folderOf(dir, kAutoloadFolder), QStringLiteral("switch.conf.xml"), content);
}

bool FSConfigWriter::writeCallConferenceScript(const QString &dir, int httpPort)
{
    return writeScript(dir, "call_conference.lua", "internal", httpPort);
}

bool FSConfigWriter::writeTrunkConferenceScript(const QString &dir, int httpPort)
{
    return writeScript(dir, "voiptrunk_conference.lua", "external", httpPort);
}
