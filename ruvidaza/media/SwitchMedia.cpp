#include "SwitchMedia.h"

#include "ConferenceMixer.h"
#include "FileSource.h"
#include "MediaLeg.h"
#include "PageSender.h"

#include <algorithm>
#include <chrono>
#include <strings.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kFrameTime(20);
// Behind by more than this, the clock starts afresh instead of catching up.
constexpr std::chrono::milliseconds kMaxLag(200);

const MediaCodec kCodecs[] = {
    {"opus", 102, 48000, 2, ""},
    {"G722", 9, 8000, 1, ""},
    {"PCMU", 0, 8000, 1, ""},
    {"PCMA", 8, 8000, 1, ""},
};

} // namespace

SwitchMedia::SwitchMedia(const std::string &rtpIp, int rtpPortFirst, int rtpPortLast)
    : m_ip(rtpIp), m_first(std::max(2, rtpPortFirst + (rtpPortFirst & 1))), m_last(std::min(65535, rtpPortLast)),
      m_next(m_first)
{
    m_thread = std::thread(&SwitchMedia::run, this);
}

SwitchMedia::~SwitchMedia()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_conferences.clear();
    m_legs.clear();
}

std::vector<MediaCodec> SwitchMedia::supportedCodecs(const std::vector<std::string> &prefs)
{
    std::vector<MediaCodec> out;
    for (const std::string &pref : prefs) {
        const std::string name = pref.substr(0, pref.find('@'));
        for (const MediaCodec &c : kCodecs) {
            const bool listed = std::any_of(out.begin(), out.end(),
                                            [&](const MediaCodec &o) { return o.name == c.name; });
            if (!listed && strcasecmp(name.c_str(), c.name.c_str()) == 0) {
                out.push_back(c);
            }
        }
    }
    if (out.empty()) {
        out.assign(std::begin(kCodecs), std::end(kCodecs));
    }
    return out;
}

int SwitchMedia::openLeg(const std::string &uuid)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (uuid.empty() || m_legs.count(uuid)) {
        return -1;
    }
    const int span = (m_last - m_first + 1) / 2; // even ports with room for RTCP above
    for (int i = 0; i < span; ++i) {
        int port = m_next;
        m_next += 2;
        if (m_next + 1 > m_last) {
            m_next = m_first;
        }
        if (port + 1 > m_last) {
            continue;
        }
        const bool ours = std::any_of(m_legs.begin(), m_legs.end(),
                                      [port](const auto &l) { return l.second->port() == port; });
        if (ours) {
            continue;
        }
        auto leg = std::make_unique<MediaLeg>(uuid);
        if (leg->open(m_ip, port)) {
            m_legs.emplace(uuid, std::move(leg));
            return port;
        }
    }
    return -1;
}

ConferenceMixer *SwitchMedia::conference(const std::string &name, bool create)
{
    auto it = m_conferences.find(name);
    if (it != m_conferences.end()) {
        return it->second.get();
    }
    if (!create) {
        return nullptr;
    }
    auto *mixer = new ConferenceMixer(name);
    m_conferences.emplace(name, std::unique_ptr<ConferenceMixer>(mixer));
    // The media thread sleeps while there is no conference.
    m_wake.notify_all();
    return mixer;
}

void SwitchMedia::dropIdle(const std::string &name)
{
    auto it = m_conferences.find(name);
    if (it != m_conferences.end() && it->second->isIdle()) {
        m_conferences.erase(it);
    }
}

bool SwitchMedia::startLeg(const std::string &uuid, const std::string &conferenceName, const MediaCodec &codec,
                           const std::string &remoteIp, int remotePort)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_legs.find(uuid);
    if (it == m_legs.end() || conferenceName.empty()) {
        return false;
    }
    if (!it->second->start(conferenceName, codec, remoteIp, remotePort)) {
        return false;
    }
    conference(conferenceName, true)->addLeg(it->second.get());
    return true;
}

bool SwitchMedia::setLegMuted(const std::string &uuid, bool muted)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_legs.find(uuid);
    if (it == m_legs.end()) {
        return false;
    }
    it->second->setMuted(muted);
    return true;
}

void SwitchMedia::closeLeg(const std::string &uuid)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_legs.find(uuid);
    if (it == m_legs.end()) {
        return;
    }
    const std::string name = it->second->conference();
    if (ConferenceMixer *mixer = conference(name, false)) {
        mixer->removeLeg(it->second.get());
        dropIdle(name);
    }
    m_legs.erase(it);
}

int SwitchMedia::legPort(const std::string &uuid) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_legs.find(uuid);
    return it == m_legs.end() ? -1 : it->second->port();
}

bool SwitchMedia::play(const std::string &conferenceName, const std::string &path, std::string *error)
{
    // Opening probes the file: done before taking the lock, so the mix
    // never waits on a slow disk.
    auto file = std::make_unique<FileSource>();
    std::string reason;
    if (!file->open(path, &reason)) {
        if (error) {
            *error = reason;
        }
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    conference(conferenceName, true)->play(std::move(file));
    return true;
}

bool SwitchMedia::stopPlay(const std::string &conferenceName)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ConferenceMixer *mixer = conference(conferenceName, false);
    const bool was = mixer && mixer->stopPlay();
    dropIdle(conferenceName);
    return was;
}

bool SwitchMedia::playStatus(const std::string &conferenceName, std::string *text) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_conferences.find(conferenceName);
    if (it == m_conferences.end()) {
        *text = "not playing";
        return false;
    }
    return it->second->playStatus(text);
}

bool SwitchMedia::setFileVolume(const std::string &conferenceName, int level)
{
    if (level < -13 || level > 13) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    ConferenceMixer *mixer = conference(conferenceName, false);
    if (!mixer) {
        return false;
    }
    mixer->setFileLevel(level);
    return true;
}

bool SwitchMedia::startPage(const std::string &conferenceName, const std::string &host, int port)
{
    auto page = std::make_unique<PageSender>();
    if (!page->open(host, port)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    conference(conferenceName, true)->startPage(std::move(page));
    return true;
}

void SwitchMedia::stopPage(const std::string &conferenceName)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (ConferenceMixer *mixer = conference(conferenceName, false)) {
        mixer->stopPage();
        dropIdle(conferenceName);
    }
}

void SwitchMedia::tick()
{
    for (auto &leg : m_legs) {
        if (leg.second->isStarted()) {
            leg.second->pump();
        }
    }
    for (auto it = m_conferences.begin(); it != m_conferences.end();) {
        it->second->tick();
        // A conference whose file just ended and that has nobody is done.
        if (it->second->isIdle()) {
            it = m_conferences.erase(it);
        } else {
            ++it;
        }
    }
}

void SwitchMedia::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    Clock::time_point next = Clock::now();
    while (!m_stop) {
        if (m_conferences.empty()) {
            m_wake.wait(lock, [this] { return m_stop || !m_conferences.empty(); });
            next = Clock::now();
            continue;
        }
        if (m_wake.wait_until(lock, next, [this] { return m_stop; })) {
            break;
        }
        tick();
        next += kFrameTime;
        const Clock::time_point now = Clock::now();
        if (now - next > kMaxLag) {
            next = now + kFrameTime;
        }
    }
}
