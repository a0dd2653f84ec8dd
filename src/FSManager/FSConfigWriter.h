#pragma once

#include <QString>

// Writes and deletes the files of the switch's configuration tree: directory
// users, dialplans, gateways, the access list, the SIP settings, the core
// settings with the RTP range and the two Lua scripts that report inbound
// calls. Every operation is stateless and takes the switch folder first.
//
// Every file is written whole to a temporary file in its own folder and then
// renamed over the old one, so a reload running at the same moment reads
// either the old or the new content, never a missing or half-written file.
// Every inserted value is XML-escaped (and regex-escaped where it lands in a
// dialplan expression); values the switch cannot read back as written (control
// characters, file names that leave their folder, impossible ports) are
// refused with a logged message and nothing is written.
class FSConfigWriter
{
public:
    // Directory user "<id>.xml" in conf/directory/default. An empty caller
    // name becomes the id, an empty password the switch's default password.
    static bool writeUser(const QString &dir, const QString &id, const QString &callerName,
                          const QString &password);
    // True when the file is absent or was deleted.
    static bool removeUser(const QString &dir, const QString &id);

    // The RTP user, the RTP dialplan and the internal gateway of conference N.
    static bool writeRtpGroup(const QString &dir, const QString &conference, const QString &internalIp,
                              int internalPort, const QString &rtpUrl);
    static bool removeRtpGroup(const QString &dir, const QString &conference);

    // The trunk dialplan and then the external gateway of conference N.
    static bool writeTrunkGroup(const QString &dir, const QString &conference, const QString &server, int port,
                                const QString &number, const QString &password, const QString &name,
                                const QString &expire);
    static bool removeTrunkGroup(const QString &dir, const QString &conference);

    static bool writeRtpDialplan(const QString &dir, const QString &conference, const QString &host, int port);
    static bool writeTrunkDialplan(const QString &dir, const QString &number, const QString &conference,
                                   const QString &server, int port);
    // Deletes one file (for instance "rtp3001.xml") of the public dialplan folder.
    static void removeDialplan(const QString &dir, const QString &fileName);

    static bool writeInternalGateway(const QString &dir, const QString &name, const QString &ip, int port,
                                     const QString &user, const QString &password);
    static bool writeExternalGateway(const QString &dir, const QString &name, const QString &server, int port,
                                     const QString &user, const QString &password, const QString &expire);

    static bool writeAcl(const QString &dir, const QString &internalIp, const QString &internalNetmask);
    static bool writeSipConfigs(const QString &dir, const QString &internalIp, int internalPort, bool natEnabled,
                                const QString &externalIp, int externalPort, const QString &codecs);
    static bool writeSwitchConf(const QString &dir, int rtpStartPort, int rtpEndPort);
    static bool writeCallConferenceScript(const QString &dir, int httpPort);
    static bool writeTrunkConferenceScript(const QString &dir, int httpPort);

    // Names built from a conference number.
    static QString rtpName(const QString &conference);
    static QString internalGatewayName(const QString &conference);
    static QString externalGatewayName(const QString &conference);

    // Prefix length of a dotted netmask: the leading one bits; 0 when the
    // text is not four numbers 0..255 separated by dots.
    static int prefixLength(const QString &netmask);

    // The trunk port text as the writer reads it (decimal, 0 when not a
    // number) and the realm "<server>:<port>" exactly as the trunk gateway
    // file carries it and the switch reports it back. Comparing a gateway's
    // realm with this text, not with the stored port text, keeps "05060" or
    // " 5060" matching.
    static int trunkPort(const QString &portText);
    static QString trunkRealm(const QString &server, const QString &portText);

    // Checks made before anything is written; each returns an empty text when
    // the values can be written, else a message saying what is wrong. Callers
    // that store devices and zones use them to refuse a value up front.
    static QString checkUser(const QString &id, const QString &callerName, const QString &password);
    static QString checkTrunk(const QString &server, const QString &portText, const QString &number,
                              const QString &password, const QString &expire);
    static QString checkRtpUrl(const QString &rtpUrl);

    // Helpers shared with the tests and the benchmarks.
    static QString xmlEscape(const QString &value);
    static QString regexEscape(const QString &value);
    static bool isSafeFileId(const QString &id);
};
