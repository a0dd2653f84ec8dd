#include "PictureSink.h"

#include "RDThread.h"
#include "RDYUV420P.h"

#include <algorithm>
#include <chrono>

PictureSink::~PictureSink() = default;

void PictureSink::updateYUV420Async(RDYUV420P *picture)
{
    const double now = monotonicSeconds();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_pictures.emplace_back(picture);
    m_arrivedAt.push_back(now);
    m_changed.notify_all();
}

bool PictureSink::waitFor(const std::function<bool(const RDYUV420P &)> &match, double seconds)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    return m_changed.wait_for(guard, std::chrono::duration<double>(seconds), [&] {
        return std::any_of(m_pictures.begin(), m_pictures.end(), [&](const auto &p) { return match(*p); });
    });
}

int PictureSink::count() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return int(m_pictures.size());
}

std::vector<double> PictureSink::times() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<double> result;
    for (const auto &p : m_pictures)
        result.push_back(p->time());
    return result;
}

std::vector<PictureSink::Arrival> PictureSink::arrivals() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<Arrival> result;
    for (size_t i = 0; i < m_pictures.size(); ++i)
        result.push_back({m_pictures[i]->time(), m_arrivedAt[i]});
    return result;
}

bool PictureSink::withLast(const std::function<void(const RDYUV420P &)> &visit) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_pictures.empty())
        return false;
    visit(*m_pictures.back());
    return true;
}
