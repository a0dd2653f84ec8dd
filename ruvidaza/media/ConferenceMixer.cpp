#include "ConferenceMixer.h"

#include "MediaLeg.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFrame = FrameEncoder::kFrameSamples;

int16_t clip(int32_t v)
{
    return static_cast<int16_t>(std::max<int32_t>(-32768, std::min<int32_t>(32767, v)));
}

} // namespace

ConferenceMixer::ConferenceMixer(const std::string &name) : m_name(name) {}

ConferenceMixer::~ConferenceMixer() = default;

void ConferenceMixer::addLeg(MediaLeg *leg)
{
    if (std::find(m_legs.begin(), m_legs.end(), leg) == m_legs.end()) {
        m_legs.push_back(leg);
    }
}

void ConferenceMixer::removeLeg(MediaLeg *leg)
{
    m_legs.erase(std::remove(m_legs.begin(), m_legs.end(), leg), m_legs.end());
}

void ConferenceMixer::play(std::unique_ptr<FileSource> file)
{
    m_file = std::move(file);
}

bool ConferenceMixer::stopPlay()
{
    const bool was = m_file != nullptr;
    m_file.reset();
    return was;
}

bool ConferenceMixer::playStatus(std::string *text) const
{
    if (!m_file) {
        *text = "not playing";
        return false;
    }
    *text = m_file->path() + " " + std::to_string(m_file->positionMs()) + "/" + std::to_string(m_file->durationMs());
    return true;
}

float ConferenceMixer::fileGain(int level)
{
    if (level <= -13) {
        return 0.0f;
    }
    return static_cast<float>(std::pow(10.0, 3.0 * std::min(level, 13) / 20.0));
}

void ConferenceMixer::setFileLevel(int level)
{
    m_fileLevel = level;
    m_fileGain = fileGain(level);
}

void ConferenceMixer::startPage(std::unique_ptr<PageSender> page)
{
    m_page = std::move(page);
}

void ConferenceMixer::stopPage()
{
    m_page.reset();
}

ConferenceMixer::SharedFrame *ConferenceMixer::sharedFrame(const MediaLeg *leg)
{
    const MediaCodec &c = leg->codec();
    // The payload bytes do not depend on the payload type number.
    const std::string key = c.name + "/" + std::to_string(c.clockRate) + "/" + std::to_string(c.channels);
    for (SharedFrame &f : m_sharedFrames) {
        if (f.key == key) {
            return &f;
        }
    }
    auto encoder = std::make_unique<FrameEncoder>();
    if (!encoder->init(c)) {
        return nullptr;
    }
    m_sharedFrames.push_back(SharedFrame{key, std::move(encoder), -1, {}});
    return &m_sharedFrames.back();
}

void ConferenceMixer::tick()
{
    int32_t sum[kFrame] = {0};
    m_members.resize(m_legs.size());
    for (size_t i = 0; i < m_legs.size(); ++i) {
        Member &m = m_members[i];
        m.leg = m_legs[i];
        m.frame.resize(kFrame);
        m.spoke = m.leg->takeFrame(m.frame.data());
        if (m.spoke) {
            for (int s = 0; s < kFrame; ++s) {
                sum[s] += m.frame[s];
            }
        }
    }
    if (m_file) {
        int16_t file[kFrame];
        m_file->read(file, kFrame);
        if (m_fileGain > 0.0f) {
            for (int s = 0; s < kFrame; ++s) {
                sum[s] += static_cast<int32_t>(std::lrintf(file[s] * m_fileGain));
            }
        }
        if (m_file->atEnd()) {
            m_file.reset();
        }
    }
    int16_t whole[kFrame];
    for (int s = 0; s < kFrame; ++s) {
        whole[s] = clip(sum[s]);
    }
    // Everyone who added nothing hears the whole mix: one encoding per
    // codec serves them all.
    for (SharedFrame &f : m_sharedFrames) {
        f.length = -1;
    }
    int16_t own[kFrame];
    for (Member &m : m_members) {
        if (m.spoke) {
            for (int s = 0; s < kFrame; ++s) {
                own[s] = clip(sum[s] - m.frame[s]);
            }
            m.leg->sendFrame(own);
            continue;
        }
        if (!m.leg->isMuted()) {
            // A speaking member with nothing to add this frame keeps its own
            // encoder, so its stream stays continuous.
            m.leg->sendFrame(whole);
            continue;
        }
        SharedFrame *shared = sharedFrame(m.leg);
        if (!shared) {
            continue;
        }
        if (shared->length < 0) {
            shared->length = shared->encoder->encode(whole, shared->payload, sizeof(shared->payload));
        }
        m.leg->sendPayload(shared->payload, shared->length);
    }
    if (m_page) {
        m_page->send(whole);
    }
}
