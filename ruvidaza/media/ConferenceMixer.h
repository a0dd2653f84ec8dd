#pragma once

#include "FileSource.h"
#include "FrameEncoder.h"
#include "PageSender.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MediaLeg;

// One conference's mix, made every 20 ms by the media thread: each member
// hears the sum of the speaking members but itself, plus the playing file
// at the file level. Members that do not speak all hear the same sum, so
// that sum is encoded once per codec and shared among them.
class ConferenceMixer
{
public:
    explicit ConferenceMixer(const std::string &name);
    ~ConferenceMixer();
    ConferenceMixer(const ConferenceMixer &) = delete;
    ConferenceMixer &operator=(const ConferenceMixer &) = delete;

    const std::string &name() const { return m_name; }
    void addLeg(MediaLeg *leg);
    void removeLeg(MediaLeg *leg);
    bool hasLegs() const { return !m_legs.empty(); }
    // Nothing left to do: no member, no file, no paging.
    bool isIdle() const { return m_legs.empty() && !m_file && !m_page; }

    // Replaces what plays by `file`.
    void play(std::unique_ptr<FileSource> file);
    // True when a file was playing.
    bool stopPlay();
    // "<path> <played ms>/<length ms>" while a file plays.
    bool playStatus(std::string *text) const;
    // -13 (silence) .. 13, three decibels a step.
    void setFileLevel(int level);
    int fileLevel() const { return m_fileLevel; }
    void startPage(std::unique_ptr<PageSender> page);
    void stopPage();

    // Mixes and sends one frame.
    void tick();

    // The amplitude factor of a file level.
    static float fileGain(int level);

private:
    struct Member
    {
        MediaLeg *leg;
        bool spoke = false;
        std::vector<int16_t> frame;
    };
    // The whole mix encoded once per codec for the members that hear it.
    struct SharedFrame
    {
        std::string key; // codec name, rate, channels
        std::unique_ptr<FrameEncoder> encoder;
        int length;      // this frame's payload; -1 before it is encoded
        uint8_t payload[FrameEncoder::kMaxPayload];
    };
    SharedFrame *sharedFrame(const MediaLeg *leg);

    std::string m_name;
    std::vector<Member> m_members;
    std::vector<MediaLeg *> m_legs;
    std::unique_ptr<FileSource> m_file;
    std::unique_ptr<PageSender> m_page;
    int m_fileLevel = 0;
    float m_fileGain = 1.0f;
    std::vector<SharedFrame> m_sharedFrames;
};
