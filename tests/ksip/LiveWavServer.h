#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A live 16-bit mono WAV source on 127.0.0.1: each connection gets an HTTP
// answer with an open-ended WAV header and `burstMs` of silence at once (as
// a radio server starts a listener off), then one 20 ms chunk every 20 ms,
// silence until startTone() and a 1 kHz tone after it, until the client
// goes or the server is destroyed. toneSentAt() is when the first tone chunk
// went out (the epoch before).
class LiveWavServer
{
public:
    explicit LiveWavServer(int rate, int burstMs = 0);
    ~LiveWavServer();
    LiveWavServer(const LiveWavServer &) = delete;
    LiveWavServer &operator=(const LiveWavServer &) = delete;

    QString url() const;
    void startTone() { m_tone.store(true); }
    std::chrono::steady_clock::time_point toneSentAt() const { return m_toneAt.load(); }

private:
    void serve();
    void sendLive(int client);

    const int m_rate;
    const int m_burstMs;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_tone{false};
    std::atomic<std::chrono::steady_clock::time_point> m_toneAt{};
    std::mutex m_lock;
    std::condition_variable m_stopped;
    bool m_stop = false;
    std::thread m_thread;
};
