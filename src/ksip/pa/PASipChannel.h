#pragma once

#include "RDCoreDevice.h"
#include "SipChannel.h"

#include <QString>

#include <memory>

class KelClient;
class PASipCall;

// A SIP account of the program's user agent that carries what a zone's input
// account plays into the conference (a stream URL, a sound endpoint, an app
// talk session) and where its received audio is published on HTTP. Calls
// made later on the channel take these values over; running calls keep theirs.
//
// The source fields are written and read under the manager lock.
class PASipChannel : public SipChannel
{
public:
    PASipChannel(SipManager *manager, SipStack *stack);
    ~PASipChannel() override;

    // A PASipCall with this channel's source values, play-received off.
    SipCall *createCall() override;

    // The call whose remote number equals `number` (case-insensitive, whole
    // text); null when none or `number` is empty. The caller holds the
    // channel lock.
    PASipCall *findCall(const char *number);
    // Places a call to `number` from the PC: no stream, talk or publication,
    // `captureDevice` as its sound source, received audio played on the PC
    // when `playReceived`. The caller holds the manager and channel locks.
    bool call(const char *number, const RDCoreDevice &captureDevice, bool playReceived);

    QString sourceUrl() const { return m_sourceUrl; }
    void setSourceUrl(const QString &url) { m_sourceUrl = url; }
    RDCoreDevice soundSource() const { return m_soundSource; }
    void setSoundSource(const RDCoreDevice &device) { m_soundSource = device; }
    std::shared_ptr<KelClient> talkSession() const { return m_talkSession; }
    void setTalkSession(const std::shared_ptr<KelClient> &session) { m_talkSession = session; }
    QString publishPath() const { return m_publishPath; }
    void setPublishPath(const QString &path) { m_publishPath = path; }

private:
    QString m_sourceUrl;
    RDCoreDevice m_soundSource;
    std::shared_ptr<KelClient> m_talkSession;
    QString m_publishPath;
};
