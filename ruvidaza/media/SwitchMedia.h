#pragma once

#include "MediaCodec.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ConferenceMixer;
class MediaLeg;

// The switch's media: RTP ports for the call legs, the conference mixes,
// file playback and paging. Every call comes from the switch's owner
// thread; the mixing and all RTP run on one media thread of its own that
// wakes every 20 ms on the steady clock while a conference exists, and
// sleeps without waking otherwise.
//
// Every started leg sends a frame every 20 ms (silence when the mix is
// empty), so peers never see the stream stop.
class SwitchMedia
{
public:
    // RTP ports are taken from the even ports of [rtpPortFirst, rtpPortLast]
    // (each with the port above for RTCP), bound on `rtpIp` (empty: every
    // address).
    SwitchMedia(const std::string &rtpIp, int rtpPortFirst, int rtpPortLast);
    ~SwitchMedia();
    SwitchMedia(const SwitchMedia &) = delete;
    SwitchMedia &operator=(const SwitchMedia &) = delete;

    // The codecs the switch offers, in the order of `prefs` (names as in
    // the codec preference list, "OPUS@48000h" style options ignored);
    // every codec it has, in its own order, when `prefs` names none of them.
    static std::vector<MediaCodec> supportedCodecs(const std::vector<std::string> &prefs);

    // Reserves an even RTP port for the leg; -1 when none is free or the
    // uuid already has one.
    int openLeg(const std::string &uuid);
    // Starts RTP to the peer in `codec` and joins the leg to the conference
    // (speaking, unless muted before). False for an unknown uuid, a leg
    // already started, a codec the switch cannot code, or a bad address.
    bool startLeg(const std::string &uuid, const std::string &conference, const MediaCodec &codec,
                  const std::string &remoteIp, int remotePort);
    // A muted leg is not heard in the mix; it still hears it.
    bool setLegMuted(const std::string &uuid, bool muted);
    // Stops RTP, frees the port and leaves the mix. Unknown uuids are ignored.
    void closeLeg(const std::string &uuid);
    // The RTP port of an opened leg, or -1.
    int legPort(const std::string &uuid) const;

    // Plays a media file into the conference, replacing what played; the
    // file is playing when this returns true.
    bool play(const std::string &conference, const std::string &path, std::string *error);
    // False when nothing played.
    bool stopPlay(const std::string &conference);
    // "<path> <played ms>/<length ms>" and true while a file plays, else
    // "not playing" and false.
    bool playStatus(const std::string &conference, std::string *text) const;
    // File level -13 (silence) .. 13, three decibels a step; false for a
    // level outside that or a conference the media does not know.
    bool setFileVolume(const std::string &conference, int level);
    // Sends the conference's mix as G.711 mu-law RTP to host:port.
    bool startPage(const std::string &conference, const std::string &host, int port);
    void stopPage(const std::string &conference);

private:
    void run();
    void tick();
    ConferenceMixer *conference(const std::string &name, bool create);
    void dropIdle(const std::string &name);

    std::string m_ip;
    int m_first;
    int m_last;
    int m_next;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::map<std::string, std::unique_ptr<MediaLeg>> m_legs;
    std::map<std::string, std::unique_ptr<ConferenceMixer>> m_conferences;
    std::thread m_thread;
};
